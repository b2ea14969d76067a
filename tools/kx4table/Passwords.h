#pragma once
// Where the command-line companion takes table passwords from besides --password, which every
// user can read in the process list: a file, the environment and the terminal.
#include <optional>
#include <string>
#include <vector>

namespace kx4::tool {

// KX4_PASSWORDS holds several passwords separated by this character.
inline constexpr char kPasswordSeparator = ':';

// One password per line of `path` (a final line break and carriage returns dropped, empty lines
// skipped). Raises std::runtime_error naming the file when it cannot be read.
std::vector<std::string> passwordsFromFile(const std::string& path);
// The passwords of KX4_PASSWORDS, empty when it is not set.
std::vector<std::string> passwordsFromEnvironment();
// Asks for the password of `tableFile` on the terminal without echoing it; nullopt when
// standard input is no terminal or the answer is empty.
std::optional<std::string> askOnTerminal(const std::string& tableFile, bool previousWasWrong);

}  // namespace kx4::tool
