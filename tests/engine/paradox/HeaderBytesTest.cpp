// Header bytes of real index files that a rebuild has no reason to change stay as the original
// engine wrote them: block size and counter (0x49) of .PX and .Ynn/.YGn files; 0x2B, 0x55 and
// 0x49 of X files come out as the original sets them.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/core/FileTransaction.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

struct KeptBytes {
    const char* table;  // corpus path
    const char* file;   // extension of the index file, as in the corpus
};

class RebuiltIndexFile : public ::testing::TestWithParam<KeptBytes> {};

TEST_P(RebuiltIndexFile, KeepsTheOriginalsHeaderBytes) {
    KX4_SKIP_WITHOUT_CORPUS(GetParam().table);
    TempDir dir;
    const std::string path = copyCorpusTable(GetParam().table, dir.path());
    const std::string indexFile = fs::path(path).replace_extension(GetParam().file).string();
    const auto before = readFileBytes(indexFile);
    {
        auto table = openParadox(path, true);
        FileTransaction tx(defaultFileSystem(), path);
        paradoxFormat().rebuildIndexes(*table, tx);
        tx.commit();
    }
    const auto after = readFileBytes(indexFile);
    for (std::size_t at : {0x05, 0x2B, 0x49, 0x4A, 0x4B, 0x4C, 0x55})
        EXPECT_EQ(after[at], before[at]) << "header byte 0x" << std::hex << at;
    auto table = openParadox(path);
    for (const auto& problem : table->check()) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Paradox, RebuiltIndexFile,
    ::testing::Values(KeptBytes{"paradox/paradoxdriver/mtdemo/RENTAL.DB", ".PX"},  // 1 KiB
                      KeptBytes{"paradox/paradoxdriver/fields/long.db", ".px"},    // 4 KiB
                      KeptBytes{"paradox/lazarus-paradox/CARIKRT.DB", ".PX"},      // 0x49 10
                      KeptBytes{"paradox/lazarus-paradox/CARIKRT.DB", ".YG1"},     // 0x49 3
                      KeptBytes{"paradox/lazarus-paradox/CARIKRT.DB", ".XG1"},     // 0x55 1
                      KeptBytes{"paradox/paradoxdriver/db/CUSTOMER.DB", ".Y06"},   // 0x49 2
                      KeptBytes{"paradox/paradoxdriver/db/CUSTOMER.DB", ".X06"},   // 0x55 0
                      KeptBytes{"paradox/paradoxdriver/joins/C.DB", ".Y03"}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.table; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name + std::string("_") + (info.param.file + 1);
    });

}  // namespace
}  // namespace kx4::test
