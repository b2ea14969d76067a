// Key collation: comparing two keys in place agrees with comparing the sort keys built from
// them, in binary, case-insensitive and dictionary orders, for text that fills its field or
// ends early (with stray bytes after its end), with accents, and for keys of several fields.
#include <gtest/gtest.h>

#include <random>

#include "engine/core/TextCodec.h"
#include "engine/paradox/FieldTypes.h"
#include "engine/paradox/SortOrder.h"

namespace kx4::test {
namespace {

using namespace paradox;

struct OrderCase {
    const char* label;
    SortOrder order;
    bool caseInsensitive;
};

int sign(int v) { return (v > 0) - (v < 0); }

class DirectCompare : public ::testing::TestWithParam<OrderCase> {};

TEST_P(DirectCompare, AgreesWithTheBuiltKeys) {
    const TextCodec codec(1252);
    // Alpha 6, a long integer, alpha 3: text of 0 to 6 characters drawn from a few letters
    // in both cases and with accents, so that many keys tie on their first characters.
    const std::vector<FieldInfo> fields{{pxAlpha, 6}, {pxLong, 4}, {pxAlpha, 3}};
    const KeyCollator collator(fields, GetParam().order, codec, GetParam().caseInsensitive);
    ASSERT_TRUE(collator.comparesDirectly());
    const std::string letters = "aAbB\xE4\xC4\xE9 ";
    std::mt19937 rng(7);
    auto key = [&] {
        std::vector<std::uint8_t> k(13, 0);
        for (int f : {0, 10}) {
            const int size = f == 0 ? 6 : 3;
            const int length = static_cast<int>(rng() % (size + 1));
            for (int i = 0; i < length; ++i)
                k[f + i] = static_cast<std::uint8_t>(letters[rng() % letters.size()]);
            // Bytes after the end of the text count only between otherwise equal keys.
            if (length + 1 < size && rng() % 4 == 0) k[f + length + 1] = 'x';
        }
        k[6 + rng() % 4] = static_cast<std::uint8_t>(rng() % 2);
        return k;
    };
    for (int n = 0; n < 20000; ++n) {
        const auto a = key(), b = key();
        EXPECT_EQ(sign(collator.compareSort(a.data(), b.data())),
                  sign(collator.sortKey(a.data()).compare(collator.sortKey(b.data()))));
        EXPECT_EQ(sign(collator.compareOrder(a.data(), b.data())),
                  sign(collator.orderKey(a.data()).compare(collator.orderKey(b.data()))));
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Paradox, DirectCompare,
                         ::testing::Values(OrderCase{"Binary", {0x4C, "DBWINUS0"}, false},
                                           OrderCase{"CaseInsensitive", {0x4C, "DBWINUS0"}, true},
                                           OrderCase{"Dictionary", {0x62, "ANSIINTL"}, false}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kx4::test
