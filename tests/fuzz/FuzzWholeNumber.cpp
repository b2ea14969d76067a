// Applies the whole-number rule of the size entries to the input.
#include <QString>

#include "ui/Convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto value = kx4::TryStrToInt(text);
    if (value && kx4::TryStrToInt(QString::number(*value)) != value) __builtin_trap();
    return 0;
}
