#pragma once
// Table names typed by the user name a table in the alias's own directory: the engine joins them
// to that directory, so a directory part or a blank at either end would make a table elsewhere or
// under a name nobody sees in the browser.
#include <QString>

namespace kx4 {

// True when `name` holds no directory part ("/" or "\"), is not "." or "..", and has no blank at
// either end.
bool staysInsideAlias(const QString& name);

// Shows the refusal of such a name (error box, OK).
void refuseTableName(const QString& name);

}  // namespace kx4
