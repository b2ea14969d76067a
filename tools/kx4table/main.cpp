// kx4table: scripted maintenance of Paradox, dBase and text tables with the tool's own engine.
#include <iostream>

#include "Commands.h"
#include "Errors.h"

namespace {

constexpr char kUsage[] =
    "usage: kx4table COMMAND FILE [--password P]... [--password-file F]...\n"
    "  describe FILE     one line per field (name, type, size), then one per index\n"
    "  dump FILE         the live records as CSV\n"
    "  check FILE        verify the table with its companion files\n"
    "  pack FILE         give back the space of deleted records, rebuild every index\n"
    "  reindex FILE      rebuild every index of the table\n"
    "  create-demo DIR   write the demo database's tables into DIR\n"
    "FILE is the path of the table's data file (.DB, .DBF, .TXT).\n"
    "Passwords of protected tables: --password-file F (one a line), the environment variable\n"
    "KX4_PASSWORDS (separated by ':'), --password P (seen by every user in the process list);\n"
    "when none fits and standard input is a terminal, kx4table asks for one.\n";

bool parse(int argc, char** argv, kx4::tool::Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password") {
            if (++i >= argc) return false;
            options.passwords.push_back(argv[i]);
        } else if (arg.rfind("--password=", 0) == 0) {
            options.passwords.push_back(arg.substr(11));
        } else if (arg == "--password-file") {
            if (++i >= argc) return false;
            options.passwordFiles.push_back(argv[i]);
        } else if (arg.rfind("--password-file=", 0) == 0) {
            options.passwordFiles.push_back(arg.substr(16));
        } else if (options.command.empty()) {
            options.command = arg;
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            return false;
        }
    }
    return !options.command.empty() && !options.file.empty();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kx4::tool;
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        if (options.command == "describe") return describe(options, std::cout);
        if (options.command == "dump") return dump(options, std::cout);
        if (options.command == "check") return check(options, std::cout);
        if (options.command == "pack") return pack(options, std::cout);
        if (options.command == "reindex") return reindex(options, std::cout);
        if (options.command == "create-demo") return createDemo(options, std::cout);
        std::cerr << "kx4table: unknown command " << options.command << "\n" << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "kx4table: " << e.what() << "\n";
        return 1;
    }
}
