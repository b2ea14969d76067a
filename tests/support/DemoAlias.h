#pragma once
// A temporary alias "DEMO" holding the demo tables, installed in the default session for the
// lifetime of the object.
#include <string>

#include "tests/support/TestSupport.h"

namespace kx4::test {

class DemoAlias {
  public:
    DemoAlias();
    ~DemoAlias();
    const TempDir& dir() const { return dir_; }
    std::string tables() const { return dir_.file("tables"); }
    std::string table(const std::string& name) const { return dir_.file("tables/" + name); }

  private:
    TempDir dir_;
};

// The table's live records as CSV, as the command-line companion prints them.
std::string dumpTable(const std::string& alias, const std::string& table);

}  // namespace kx4::test
