// cmake --install puts both programs, the man page, the desktop entry and the icons where
// Debian's desktops and man look for them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

// Width and height from a PNG's IHDR chunk.
std::pair<int, int> pngSize(const fs::path& file) {
    const auto bytes = readFileBytes(file.string());
    if (bytes.size() < 24) return {0, 0};
    const auto be32 = [&](std::size_t at) {
        int v = 0;
        for (std::size_t i = 0; i < 4; ++i) v = v * 256 + static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

std::string entryValue(const fs::path& desktopFile, const std::string& key) {
    std::ifstream in(desktopFile);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

TEST(Install, PutsProgramsManPageDesktopEntryAndIconsInPlace) {
    const fs::path build = KX4_BINARY_DIR;
    if (!fs::exists(build / "bin/kx4tabletool")) GTEST_SKIP() << "the window program is not built";
    TempDir prefix;
    std::string out;
    ASSERT_EQ(runCommand("cmake --install " + build.string() + " --prefix " +
                             prefix.path().string() + " 2>&1",
                         out),
              0)
        << out;
    const fs::path& root = prefix.path();
    for (const char* program : {"bin/kx4tabletool", "bin/kx4table"}) {
        EXPECT_TRUE(fs::exists(root / program)) << program;
        EXPECT_NE(fs::status(root / program).permissions() & fs::perms::owner_exec, fs::perms::none)
            << program;
    }
    EXPECT_TRUE(fs::exists(root / "share/man/man1/kx4table.1"));

    const fs::path desktop = root / "share/applications/kx4tabletool.desktop";
    ASSERT_TRUE(fs::exists(desktop));
    if (runCommand("command -v desktop-file-validate >/dev/null", out) == 0) {
        EXPECT_EQ(runCommand("desktop-file-validate " + desktop.string() + " 2>&1", out), 0) << out;
        EXPECT_EQ(out, "");
    }
    EXPECT_TRUE(fs::exists(root / "bin" / entryValue(desktop, "Exec")));
    const std::string icon = entryValue(desktop, "Icon");
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string dir = std::to_string(size) + "x" + std::to_string(size);
        const fs::path png = root / "share/icons/hicolor" / dir / "apps" / (icon + ".png");
        ASSERT_TRUE(fs::exists(png)) << png;
        EXPECT_EQ(pngSize(png), std::make_pair(size, size)) << png;
    }
}

}  // namespace
}  // namespace kx4::test
