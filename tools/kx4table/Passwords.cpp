#include "tools/kx4table/Passwords.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace kx4::tool {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, separator);) {
        if (!item.empty() && item.back() == '\r') item.pop_back();
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

// Turns the terminal's echo off for its lifetime.
class EchoOff {
  public:
    EchoOff() : active_(::tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (!active_) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        // TCSANOW, not TCSAFLUSH: an answer typed ahead must not be thrown away.
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    ~EchoOff() {
        if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    termios saved_{};
    bool active_;
};

}  // namespace

std::vector<std::string> passwordsFromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the password file " + path + ": " +
                                 std::strerror(errno));
    std::stringstream text;
    text << in.rdbuf();
    return split(text.str(), '\n');
}

std::vector<std::string> passwordsFromEnvironment() {
    const char* value = std::getenv("KX4_PASSWORDS");
    return value ? split(value, kPasswordSeparator) : std::vector<std::string>{};
}

std::optional<std::string> askOnTerminal(const std::string& tableFile, bool previousWasWrong) {
    if (!::isatty(STDIN_FILENO)) return std::nullopt;
    std::string answer;
    {
        const EchoOff quiet;  // before the prompt, so that no answer is echoed
        if (previousWasWrong) std::cerr << "That password does not fit.\n";
        std::cerr << "Password for " << tableFile << ": " << std::flush;
        std::getline(std::cin, answer);
    }
    std::cerr << '\n';
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    if (answer.empty()) return std::nullopt;
    return answer;
}

}  // namespace kx4::tool
