// kx4table: scripted maintenance of Paradox, dBase and text tables with the tool's own engine.
#include <iostream>

#include "Commands.h"
#include "Errors.h"

namespace {

constexpr char kUsage[] =
    "usage: kx4table COMMAND FILE [--password P]... [--index NAME]\n"
    "  describe FILE     one line per field (name, type, size), then one per index\n"
    "  dump FILE         the live records as CSV; with --index NAME in the order of that\n"
    "                    index (an empty NAME: the primary index)\n"
    "  check FILE        verify the table with its companion files\n"
    "  pack FILE         give back the space of deleted records, rebuild every index\n"
    "  reindex FILE      rebuild every index of the table\n"
    "  create-demo DIR   write the demo database's tables into DIR\n"
    "FILE is the path of the table's data file (.DB, .DBF, .TXT).\n";

bool parse(int argc, char** argv, kx4::tool::Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password") {
            if (++i >= argc) return false;
            options.passwords.push_back(argv[i]);
        } else if (arg.rfind("--password=", 0) == 0) {
            options.passwords.push_back(arg.substr(11));
        } else if (arg == "--index") {
            if (++i >= argc) return false;
            options.index = argv[i];
        } else if (arg.rfind("--index=", 0) == 0) {
            options.index = arg.substr(8);
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
