// Both programs follow the usual command-line conventions: --help and --version on standard
// output with status 0, usage errors on standard error with status 2.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

struct Invocation {
    const char* label;
    const char* program;
    const char* arguments;
    int status;
    const char* out;  // expected in standard output ("" = standard output stays empty)
    const char* err;  // expected in standard error ("" = standard error stays empty)
};

std::ostream& operator<<(std::ostream& os, const Invocation& i) { return os << i.label; }

class CommandLine : public ::testing::TestWithParam<Invocation> {};

TEST_P(CommandLine, AnswersOnTheRightStreamWithTheRightStatus) {
    const Invocation& call = GetParam();
    const std::string program = std::string(KX4_BINARY_DIR) + "/bin/" + call.program;
    if (!std::filesystem::exists(program)) GTEST_SKIP() << program << " is not built";
    TempDir dir;
    std::string out;
    const int status = runCommand(
        "QT_QPA_PLATFORM=offscreen " + program + " " + call.arguments + " 2>" + dir.file("err"),
        out);
    std::string err;
    runCommand("cat " + dir.file("err"), err);

    EXPECT_EQ(status, call.status) << out << err;
    if (*call.out)
        EXPECT_NE(out.find(call.out), std::string::npos) << out;
    else
        EXPECT_EQ(out, "");
    if (*call.err)
        EXPECT_NE(err.find(call.err), std::string::npos) << err;
    else
        EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CommandLine,
    ::testing::Values(
        Invocation{"tool_help", "kx4table", "--help", 0, "usage: kx4table COMMAND FILE", ""},
        Invocation{"tool_short_help", "kx4table", "-h", 0, "create-demo DIR", ""},
        Invocation{"tool_help_after_command", "kx4table", "dump X.DB --help", 0, "usage:", ""},
        Invocation{"tool_version", "kx4table", "--version", 0, "kx4table " KX4_VERSION "\n", ""},
        Invocation{"tool_no_arguments", "kx4table", "", 2, "", "usage: kx4table"},
        Invocation{"tool_no_file", "kx4table", "dump", 2, "", "usage: kx4table"},
        Invocation{"tool_unknown_command", "kx4table", "frobnicate X.DB", 2, "",
                   "unknown command frobnicate"},
        Invocation{"tool_unknown_option", "kx4table", "describe X.DB --frobnicate", 2, "",
                   "unknown option --frobnicate"},
        Invocation{"tool_extra_argument", "kx4table", "describe X.DB Y.DB", 2, "", "usage:"},
        Invocation{"tool_missing_table", "kx4table", "describe /nonexistent/X.DB", 1, "",
                   "kx4table: "},
        Invocation{"program_help", "kx4tabletool", "--help", 0, "usage: kx4tabletool", ""},
        Invocation{"program_version", "kx4tabletool", "--version", 0,
                   "kx4tabletool " KX4_VERSION "\n", ""},
        Invocation{"program_unknown_argument", "kx4tabletool", "--frobnicate", 2, "",
                   "unknown argument --frobnicate"},
        Invocation{"program_stray_file", "kx4tabletool", "-platform offscreen X.DB", 2, "",
                   "unknown argument X.DB"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test
