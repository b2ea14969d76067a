#pragma once
// The subcommands of the command-line companion. Each returns the process exit status.
#include <ostream>
#include <string>
#include <vector>

namespace kx4::tool {

struct Options {
    std::string command;
    std::string file;  // path of the table's data file (or a directory for create-demo)
    std::vector<std::string> passwords;
    std::vector<std::string> passwordFiles;  // one password a line
};

int describe(const Options& options, std::ostream& out);
int dump(const Options& options, std::ostream& out);
int check(const Options& options, std::ostream& out);
int pack(const Options& options, std::ostream& out);
int reindex(const Options& options, std::ostream& out);
int createDemo(const Options& options, std::ostream& out);

}  // namespace kx4::tool
