#pragma once
// The directory of an alias (or the server name of a non-file database), and the conversion of
// names between the window's text and the engine's character set.
#include <QString>
#include <string>

#include "engine/Session.h"

namespace kx4 {

// The engine takes names as the file system's bytes, which are UTF-8 as a rule. Bytes that are
// not valid UTF-8 (a directory named in an old 8-bit code page, say) become the code units
// U+DC80..U+DCFF on the way into a QString and the same bytes again on the way back, so every
// name survives OemToAnsi followed by AnsiToOem unchanged.
std::string AnsiToOem(const QString& text);
QString OemToAnsi(const std::string& text);

// Directory of a "STANDARD" alias, else the alias's "SERVER NAME" parameter (empty if absent).
// Raises the engine's error for an alias it does not know. Convert the result with AnsiToOem
// before handing it to the engine or the file system.
QString GetAliasPath(const QString& alias, TSession& session = Session());

}  // namespace kx4
