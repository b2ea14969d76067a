#include <gtest/gtest.h>

#include "engine/core/Errors.h"
#include "engine/core/TextCodec.h"

namespace kx4 {
namespace {

class CodePages : public ::testing::TestWithParam<int> {};

TEST_P(CodePages, UmlautsRoundTrip) {
    TextCodec codec(GetParam());
    const std::string text = "Grüße aus Köln: ÄÖÜ äöü ß";
    const std::string bytes = codec.fromUtf8(text);
    EXPECT_EQ(bytes.size(), 25u);  // one byte a character
    EXPECT_EQ(codec.toUtf8(bytes), text);
}

INSTANTIATE_TEST_SUITE_P(Western, CodePages, ::testing::Values(437, 850, 1252));

TEST(TextCodec, KnownBytesOfEachCodePage) {
    EXPECT_EQ(TextCodec(437).fromUtf8("ä"), "\x84");
    EXPECT_EQ(TextCodec(850).fromUtf8("ß"), "\xE1");
    EXPECT_EQ(TextCodec(1252).fromUtf8("€"), "\x80");
    EXPECT_EQ(TextCodec(0).codePage(), 1252);
}

TEST(TextCodec, RefusesACharacterTheCodePageLacks) {
    TextCodec codec(437);
    EXPECT_FALSE(codec.canEncode("€"));
    try {
        codec.fromUtf8("Preis 5 €");
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_EQ(e.errorCode(), DBIERR_INVALIDFLDXFORM);
        EXPECT_NE(std::string(e.what()).find("437"), std::string::npos);
    }
}

}  // namespace
}  // namespace kx4
