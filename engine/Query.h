#pragma once
// The query object: runs one local-SQL statement against a database (alias).
#include <string>
#include <vector>

namespace kx4 {

class TSession;
TSession& Session();

class TQuery {
  public:
    explicit TQuery(TSession& session = Session()) : session_(session) {}

    std::string DatabaseName;
    std::vector<std::string> SQL;  // lines, joined with a blank before parsing

    // Runs the statement; raises EDBEngineError (DBIERR_QRYSYNTAX with the position) for text
    // that is not a supported statement.
    void ExecSQL();
    // What the last statement left for the user to know (not failures).
    std::vector<std::string> Notes;

  private:
    TSession& session_;
};

}  // namespace kx4
