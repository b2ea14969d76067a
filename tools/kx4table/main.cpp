// kx4table: scripted maintenance of Paradox, dBase and text tables with the tool's own engine.
#include <iostream>
#include <optional>
#include <string_view>

#include "engine/core/Errors.h"
#include "engine/core/TextCodec.h"
#include "tools/kx4table/Commands.h"
#include "tools/kx4table/TerminalProgress.h"

namespace {

constexpr char kUsage[] =
    "usage: kx4table COMMAND FILE... [--password P]... [--password-file F]... [--codepage N]\n"
    "                [--index NAME]\n"
    "       kx4table --help | --version\n"
    "  describe FILE     one line per field (name, type, size), then one per index\n"
    "  dump FILE         the live records as CSV; with --index NAME in the order of that\n"
    "                    index (an empty NAME: the primary index)\n"
    "  dump --salvage FILE  the same, with memos that cannot be read left empty and each\n"
    "                    reported on standard error; exit status 1 when any memo was\n"
    "                    left out\n"
    "  check FILE        verify the table with its companion files\n"
    "  pack FILE         give back the space of deleted records, rebuild every index\n"
    "  reindex FILE      rebuild every index of the table\n"
    "  export-sqlite OUT FILE...  write each table into the SQLite database OUT, as a\n"
    "                    table named after its file (replacing one of that name), with\n"
    "                    typed columns and its indexes\n"
    "  create-demo DIR   write the demo database's tables into DIR\n"
    "FILE is the path of the table's data file (.DB, .DBF, .TXT).\n"
    "Passwords of protected tables: --password-file F (one a line), the environment variable\n"
    "KX4_PASSWORDS (separated by ':'), --password P (seen by every user in the process list);\n"
    "when none fits and standard input is a terminal, kx4table asks for one.\n"
    "--codepage N reads a table whose header names no code page in N (437, 850, 866, 1250,\n"
    "1252, ..., UTF-8) instead of the alias's CODEPAGE or 1252; writes keep the table's bytes.\n"
    "pack, reindex and export-sqlite show their progress on standard error when it is a\n"
    "terminal; Ctrl-C stops them and leaves the table (the database) as it was.\n"
    "Exit status: 0 done, 1 the table has problems or an operation failed, 2 usage error,\n"
    "130 stopped by Ctrl-C.\n";

// Exit status of a command stopped by Ctrl-C, as the shell reports one ended by SIGINT.
constexpr int kInterrupted = 130;

// --help and --version answer on standard output wherever they stand; anything else is left
// to the command.
std::optional<int> answerHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "kx4table " << KX4_VERSION << '\n';
            return 0;
        }
    }
    return std::nullopt;
}

bool parse(int argc, char** argv, kx4::tool::Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--password") {
            if (++i >= argc) return false;
            options.passwords.push_back(argv[i]);
        } else if (arg == "--salvage") {
            options.salvage = true;
        } else if (arg.rfind("--password=", 0) == 0) {
            options.passwords.push_back(arg.substr(11));
        } else if (arg == "--codepage" || arg.rfind("--codepage=", 0) == 0) {
            if (arg == "--codepage" && ++i >= argc) return false;
            const std::string value = arg == "--codepage" ? argv[i] : arg.substr(11);
            options.codePage = kx4::TextCodec::codePageOfSetting(value);
            if (options.codePage == 0) {
                std::cerr << "kx4table: " << value << " is not a code page this system reads\n";
                return false;
            }
        } else if (arg == "--index") {
            if (++i >= argc) return false;
            options.index = argv[i];
        } else if (arg.rfind("--index=", 0) == 0) {
            options.index = arg.substr(8);
        } else if (arg == "--password-file") {
            if (++i >= argc) return false;
            options.passwordFiles.push_back(argv[i]);
        } else if (arg.rfind("--password-file=", 0) == 0) {
            options.passwordFiles.push_back(arg.substr(16));
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::cerr << "kx4table: unknown option " << arg << '\n';
            return false;
        } else if (options.command.empty()) {
            options.command = arg;
        } else if (options.file.empty()) {
            options.file = arg;
        } else if (options.command == "export-sqlite") {
            options.moreFiles.push_back(arg);
        } else {
            return false;
        }
    }
    if (options.salvage && options.command != "dump") return false;
    if (options.command == "export-sqlite" && options.moreFiles.empty()) return false;
    return !options.command.empty() && !options.file.empty();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kx4::tool;
    if (const auto status = answerHelpOrVersion(argc, argv)) return *status;
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        if (options.command == "describe") return describe(options, std::cout);
        if (options.command == "dump") return dump(options, std::cout, std::cerr);
        if (options.command == "check") return check(options, std::cout);
        if (options.command == "pack" || options.command == "reindex") {
            TerminalProgress progress(TerminalProgress::standardErrorIfTerminal());
            return options.command == "pack" ? pack(options, std::cout, &progress)
                                             : reindex(options, std::cout, &progress);
        }
        if (options.command == "export-sqlite") {
            TerminalProgress progress(TerminalProgress::standardErrorIfTerminal());
            return exportSqlite(options, std::cout, std::cerr, &progress);
        }
        if (options.command == "create-demo") return createDemo(options, std::cout);
        std::cerr << "kx4table: unknown command " << options.command << "\n" << kUsage;
        return 2;
    } catch (const kx4::EOperationCancelled&) {
        std::cerr << "kx4table: stopped; " << options.file << " was not changed\n";
        return kInterrupted;
    } catch (const std::exception& e) {
        std::cerr << "kx4table: " << e.what() << "\n";
        return 1;
    }
}
