#pragma once
// Whole numbers typed by the user. A text counts when it is optional leading blanks, an optional
// sign, then decimal digits or a hexadecimal number introduced by "$", "x", "X", "0x" or "0X",
// with nothing after it, and its value fits a signed 32-bit integer.
#include <QString>
#include <optional>

namespace kx4 {

std::optional<int> TryStrToInt(const QString& text);

// As TryStrToInt; anything else raises EConvertError "'TEXT' ist kein gültiger Integerwert".
int StrToInt(const QString& text);

}  // namespace kx4
