#include "ui/Convert.h"

#include <cstdint>

#include "engine/core/Errors.h"

namespace kx4 {

namespace {

int digitValue(QChar c, int base) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (base == 16 && u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (base == 16 && u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

}  // namespace

std::optional<int> TryStrToInt(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';

    int base = 10;
    if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' &&
               (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;

    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i], base);
        if (digit < 0) return std::nullopt;
        value = value * base + digit;
        if (value > std::int64_t(INT32_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int>(value);
}

int StrToInt(const QString& text) {
    if (auto value = TryStrToInt(text)) return *value;
    throw EConvertError(
        QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text).toStdString());
}

}  // namespace kx4
