#include "ui/AliasPath.h"

#include "engine/Dbi.h"
#include "engine/Session.h"
#include "engine/core/Errors.h"
#include "engine/core/Utf8.h"

namespace kx4 {

namespace {

constexpr int kAliasNameLimit = 31;
constexpr std::size_t kPathLimit = 260;

// Code units that stand for one undecodable byte each: U+DC80 + (byte - 0x80).
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;
constexpr char32_t kReplacement = 0xFFFD;

// Length of the valid UTF-8 sequence at text[i] and its code point; 0 when it is not valid
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
std::size_t decodeUtf8(const std::string& text, std::size_t i, char32_t& c) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string AnsiToOem(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= kEscapeFirst && unit <= kEscapeLast) {
            out += static_cast<char>(unit - kEscapeBase);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() &&
                   text[i + 1].isLowSurrogate()) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
            ++i;
        } else {
            appendUtf8(out, QChar::isSurrogate(unit) ? kReplacement : char32_t(unit));
        }
    }
    return out;
}

QString OemToAnsi(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = decodeUtf8(text, i, c);
        if (length == 0) {
            out += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(text[i])));
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        i += length;
    }
    return out;
}

QString GetAliasPath(const QString& alias, TSession& session) {
    // The engine's name field holds 31 characters; an alias whose whole, longer name the
    // configuration holds is looked up by that name rather than by a cut one.
    const std::string whole = AnsiToOem(alias);
    const std::string name =
        session.hasAlias(whole) ? whole : AnsiToOem(alias.left(kAliasNameLimit));
    DBDesc desc;
    Check(DbiGetDatabaseDesc(name.c_str(), &desc, session));
    if (QString::fromLatin1(desc.szDbType).compare("STANDARD", Qt::CaseInsensitive) == 0) {
        // The description holds 260 characters; a longer path would come back cut short and
        // name another directory.
        if (session.alias(name).param("PATH").size() > kPathLimit)
            throwEngineError(DBIERR_INVALIDPARAM,
                             "The directory of alias " + name + " is longer than 260 characters");
        return OemToAnsi(desc.szPhyName);
    }
    session.Open();
    return OemToAnsi(session.alias(name).param("SERVER NAME"));
}

}  // namespace kx4
