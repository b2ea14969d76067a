// The external sort on real scratch files: entries come back in key order, and the runs of a
// protected table never hold its keys readably.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/core/ExternalSort.h"
#include "engine/core/FileSystem.h"
#include "tests/support/TestSupport.h"

namespace kx4::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMarker = "GEHEIM";

// What the scratch files beside `base` hold, all run bytes together.
std::string scratchBytes(const fs::path& dir) {
    std::string all;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".kx4tmp") {
            const auto bytes = readFileBytes(entry.path().string());
            all.append(bytes.begin(), bytes.end());
        }
    return all;
}

class ScratchRuns : public ::testing::TestWithParam<bool> {};

TEST_P(ScratchRuns, SortAndShowTheKeysOnlyWhenNotSecret) {
    const bool secret = GetParam();
    TempDir dir;
    // A small budget: many runs, merged in several passes.
    ExternalSorter sorter(defaultFileSystem(), dir.file("T.DB"), 64 * 1024, secret);
    std::mt19937 rng(7);
    std::vector<std::pair<std::string, std::string>> added;
    for (int i = 0; i < 40000; ++i) {
        const std::string key = std::string(kMarker) + std::to_string(rng() % 100000);
        added.emplace_back(key, std::to_string(i));
        sorter.add(key, added.back().second);
    }
    sorter.finishAdding();
    const std::string spilled = scratchBytes(dir.path());
    ASSERT_GT(spilled.size(), 40000u * kMarker.size());
    EXPECT_EQ(spilled.find(kMarker) != std::string::npos, !secret);

    std::stable_sort(added.begin(), added.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string key, payload;
    for (const auto& [k, p] : added) {
        ASSERT_TRUE(sorter.next(key, payload));
        ASSERT_EQ(key, k);
        ASSERT_EQ(payload, p);
    }
    EXPECT_FALSE(sorter.next(key, payload));
}

INSTANTIATE_TEST_SUITE_P(Runs, ScratchRuns, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Secret" : "Plain"; });

}  // namespace
}  // namespace kx4::test
