#pragma once
// The subcommands of the command-line companion. Each returns the process exit status.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kx4 {
class ProgressSink;
}

namespace kx4::tool {

struct Options {
    std::string command;
    std::string file;  // path of the table's data file (or a directory for create-demo)
    std::vector<std::string> passwords;
    int codePage = 0;      // for tables that name none; 0: the alias's CODEPAGE or the default
    bool salvage = false;  // dump: memos that cannot be read are written empty and reported
    std::optional<std::string> index;        // dump: the order of this index ("": the primary one)
    std::vector<std::string> passwordFiles;  // one password a line
    std::vector<std::string> moreFiles;      // export-sqlite: the tables after the database
};

int describe(const Options& options, std::ostream& out);
// With `options.salvage`, each memo left out is reported on `problems` (file, record, field),
// and the status is 1 when any was.
int dump(const Options& options, std::ostream& out, std::ostream& problems);
int check(const Options& options, std::ostream& out);
// Both report to `progress`, when given, and raise EOperationCancelled, the table unchanged,
// when it asks to stop.
int pack(const Options& options, std::ostream& out, ProgressSink* progress = nullptr);
int reindex(const Options& options, std::ostream& out, ProgressSink* progress = nullptr);
// Writes the tables `options.moreFiles` into the SQLite database `options.file`, each reporting
// to `progress` when given; a stop leaves the table being written as it was.
int exportSqlite(const Options& options, std::ostream& out, std::ostream& problems,
                 ProgressSink* progress = nullptr);
int createDemo(const Options& options, std::ostream& out);

}  // namespace kx4::tool
