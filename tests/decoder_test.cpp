// The reading decoder: the module's grammar, token by token.
#include "recorder/decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::optional<int> Decode(const std::string& text) {
    return DecodeReading(text.data(), text.size());
}
} // namespace

TEST(ReadingDecoder, PlainReadingGivesItsPressure) {
    EXPECT_EQ(Decode("+ 12 0\r\n"), 12);
    EXPECT_EQ(Decode("            + 12 0\r\n"), 12);
    EXPECT_EQ(Decode("- 3 3\r\n"), -3);
}

TEST(ReadingDecoder, NothingAfterStatusGivesNothing) {
    EXPECT_EQ(Decode("+ 12 0"), std::nullopt);
    EXPECT_EQ(Decode("+ 12 0\r"), std::nullopt);
    EXPECT_EQ(Decode("+ 12"), std::nullopt);
    EXPECT_EQ(Decode(""), std::nullopt);
}

TEST(ReadingDecoder, LineFeedAloneSticksToStatus) {
    // "3\n" still reads as status 3, but a further token must follow.
    EXPECT_EQ(Decode("+ 7 3\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 7 3\n+ 8 0\r\n"), 7);
}

TEST(ReadingDecoder, StatusFiveRejectsReadingAndNextIsUsed) {
    EXPECT_EQ(Decode("+ 40 5\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 40 5\r\n + 41 0\r\n"), 41);
    // The line feed joins the next token, so a sign right after it is no sign.
    EXPECT_EQ(Decode("+ 40 5\r\n+ 41 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 40 5 - 2 3 x"), -2);
}

TEST(ReadingDecoder, StatusWithoutDigitsCountsAsZero) {
    EXPECT_EQ(Decode("+ 9 ok\r\n"), 9);
}

TEST(ReadingDecoder, SignJoinedToDigitsIsNotASign) {
    EXPECT_EQ(Decode("+12 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+12 0\r\n + 13 0\r\n"), 13);
}

TEST(ReadingDecoder, FirstCompleteReadingOfABatchWins) {
    EXPECT_EQ(Decode("+ 1 0\r\n+ 2 0\r\n+ 3 0\r\n"), 1);
}

TEST(ReadingDecoder, ReadingSplitAcrossBatchesIsLost) {
    EXPECT_EQ(Decode("                    + 1"), std::nullopt);
    EXPECT_EQ(Decode("23 0\r\n              "), std::nullopt);
}

TEST(ReadingDecoder, GarbageIsIgnored) {
    std::string junk = "\x01\xff\x80garbage\t\t%%%";
    EXPECT_EQ(Decode(junk), std::nullopt);
    EXPECT_EQ(Decode(junk + " + 5 0\r\n"), 5);
}

TEST(ReadingDecoder, ZeroByteEndsTheText) {
    std::string text("+ 5\0 0\r\n", 8);
    EXPECT_EQ(DecodeReading(text.data(), text.size()), std::nullopt);
}

TEST(ReadingDecoder, HugeValuesDoNotOverflow) {
    auto v = Decode("- 99999999999999999999 0\r\n");
    ASSERT_TRUE(v.has_value());
    EXPECT_LT(*v, 0);
    // Found by the fuzzer: the smallest int negated.
    EXPECT_EQ(Decode("- -2222200800 1\r\n+ 1 0 x"), std::nullopt);
    EXPECT_EQ(Decode("- -2222200800 0\r\n"), 2147483647);
}
