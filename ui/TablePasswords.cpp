#include "ui/TablePasswords.h"

#include <string>

namespace kx4 {

TablePasswords::TablePasswords(TSession& session) : session_(session) {
    try {
        for (std::string_view password : kTablePasswords)
            session_.AddPassword(std::string(password));
    } catch (...) {
        session_.RemoveAllPasswords();
        throw;
    }
}

TablePasswords::~TablePasswords() {
    try {
        session_.RemoveAllPasswords();
    } catch (...) {
        // Clearing an in-memory list; nothing sensible to report from a destructor.
    }
}

}  // namespace kx4
