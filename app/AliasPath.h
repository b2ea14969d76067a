#pragma once
// The directory of an alias (or the server name of a non-file database), and the conversion of
// names between the window's text and the engine's character set.
#include <QString>
#include <string>

namespace kx4 {

// The engine's character set is UTF-8 on this platform, so both directions are lossless.
std::string AnsiToOem(const QString& text);
QString OemToAnsi(const std::string& text);

// Directory of a "STANDARD" alias, else the alias's "SERVER NAME" parameter (empty if absent).
// Raises the engine's error for an alias it does not know.
QString GetAliasPath(const QString& alias);

}  // namespace kx4
