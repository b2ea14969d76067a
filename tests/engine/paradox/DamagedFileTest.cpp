// Damaged and hostile files give an engine error naming the file, never a crash or a hang.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "engine/core/Errors.h"
#include "engine/core/FileSystem.h"
#include "tests/engine/paradox/ParadoxTestSupport.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

void patch(const std::string& path, std::uint64_t offset, std::vector<std::uint8_t> bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void truncateTo(const std::string& path, std::uint64_t size) {
    std::filesystem::resize_file(path, size);
}

// Opens and reads everything; returns the engine's message, or "" when the file was accepted.
std::string readFully(const std::string& path) {
    try {
        ScriptedPasswords passwords({"rparadox", "123"});
        auto table = openParadox(path, false, &passwords);
        readAll(*table);
        table->check();
        for (const auto& ix : table->schema().indexes)
            if (!ix.options.has(IndexOption::ixPrimary)) readAll(*table), table->scanIndex(ix.name);
        return "";
    } catch (const EDBEngineError& e) {
        return e.what();
    }
}

struct Damage {
    const char* label;
    const char* table;
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
    const char* expected;  // part of the message
};

class DamagedHeader : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedHeader, IsReportedPrecisely) {
    KX4_SKIP_WITHOUT_CORPUS();
    const auto& d = GetParam();
    TempDir dir;
    const std::string path = copyCorpusTable(d.table, dir.path());
    patch(path, d.offset, d.bytes);
    const std::string message = readFully(path);
    EXPECT_NE(message.find(d.expected), std::string::npos) << message;
    EXPECT_NE(message.find(stemOf(fileNameOf(path)) + "."), std::string::npos) << message;
}

// CUSTOMER.DB: 2 KiB blocks, header 0x800, 4 data blocks of 394-byte records.
const char* kCustomer = "paradox/paradoxdriver/db/CUSTOMER.DB";

INSTANTIATE_TEST_SUITE_P(
    Paradox, DamagedHeader,
    ::testing::Values(
        Damage{"header_size_past_end", kCustomer, 0x02, {0xFF, 0xFF}, "exceeds the file size"},
        Damage{"header_too_small", kCustomer, 0x02, {0x10, 0x00}, "header size"},
        Damage{"block_size_zero", kCustomer, 0x05, {0}, "block size"},
        Damage{"record_size_wrong", kCustomer, 0x00, {0x00, 0x01}, "record size"},
        Damage{"no_fields", kCustomer, 0x21, {0, 0}, "field count"},
        Damage{"absurd_fields", kCustomer, 0x21, {0xFF, 0x7F}, "field count"},
        Damage{"unknown_type", kCustomer, 0x78, {0x42}, "unknown type"},
        Damage{"unknown_level", kCustomer, 0x39, {0x2A}, "table level"},
        Damage{"first_block_outside", kCustomer, 0x0E, {0x00, 0x40}, "beyond the end"},
        Damage{"chain_loops", kCustomer, 0x800, {0x01, 0x00}, "loops"},
        Damage{"chain_outside", kCustomer, 0x800, {0x99, 0x00}, "beyond the end"},
        Damage{"record_count", kCustomer, 0x804, {0x00, 0x70}, "record count"},
        Damage{"blob_offset",
               "paradox/paradoxdriver/fields/memo.db",
               0x800 + 6 + 4 + 240,
               {0x00, 0x50, 0x00, 0x00},
               "memo.mb"},
        Damage{"blob_length",
               "paradox/paradoxdriver/fields/memo.db",
               0x800 + 6 + 4 + 244,
               {0x00, 0x00, 0x00, 0x7F},
               "memo.mb"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TruncatedFile, EveryCutGivesAnErrorOrTheRecordsBeforeIt) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const std::string source = copyCorpusTable(kCustomer, dir.path());
    const auto bytes = readFileBytes(source);
    for (std::uint64_t size : {0ul, 10ul, 0x57ul, 0x100ul, 0x7FFul, 0x806ul, 0x1000ul, 0x2000ul}) {
        const std::string path = dir.file("CUT.DB");
        std::filesystem::copy_file(source, path, std::filesystem::copy_options::overwrite_existing);
        truncateTo(path, size);
        const std::string message = readFully(path);
        EXPECT_NE(message.find("CUT.DB"), std::string::npos)
            << "cut at " << size << ": " << message;
    }
}

class RandomDamage : public ::testing::TestWithParam<std::string> {};

// Random byte flips anywhere in the data file and its companions: the engine may accept a
// changed value, but must fail only with its own error.
TEST_P(RandomDamage, NeverCrashes) {
    KX4_SKIP_WITHOUT_CORPUS();
    TempDir dir;
    const std::string original = copyCorpusTable(GetParam(), dir.path());
    const auto bytes = readFileBytes(original);
    std::mt19937 random(1234);
    for (int round = 0; round < 150; ++round) {
        auto damaged = bytes;
        for (int k = 0; k < 4; ++k) {
            const std::size_t at =
                random() %
                std::min<std::size_t>(damaged.size(), round < 75 ? 0x900 : damaged.size());
            damaged[at] = static_cast<char>(random());
        }
        {
            std::ofstream out(original, std::ios::binary | std::ios::trunc);
            out.write(damaged.data(), static_cast<std::streamsize>(damaged.size()));
        }
        readFully(original);
    }
}

INSTANTIATE_TEST_SUITE_P(Paradox, RandomDamage,
                         ::testing::Values("paradox/paradoxdriver/db/CUSTOMER.DB",
                                           "paradox/rparadox/TypSammlung_encrypted.DB",
                                           "paradox/paradoxdriver/fields/graphic.db",
                                           "paradox/paradoxdriver/areas/AREACODE.DB",
                                           "paradox/lazarus-paradox/CARIKRT.DB"));

}  // namespace
}  // namespace kx4::test
