#pragma once
// The host database protects its tables with four fixed passwords. Every operation that opens its
// tables holds a TablePasswords for exactly as long as it works with them: the passwords go into
// the session in their fixed order, and leaving the scope - also by an exception - removes all
// passwords from the session again, so none stays there between two user actions.
#include <array>
#include <string_view>

#include "engine/Session.h"

namespace kx4 {

inline constexpr std::array<std::string_view, 4> kTablePasswords = {"86Gm2yB3E7", "Rq58Tn204K",
                                                                    "362VN4Qc81", "hW714kP9j3"};

class TablePasswords {
  public:
    explicit TablePasswords(TSession& session = Session());
    ~TablePasswords();
    TablePasswords(const TablePasswords&) = delete;
    TablePasswords& operator=(const TablePasswords&) = delete;

  private:
    TSession& session_;
};

}  // namespace kx4
