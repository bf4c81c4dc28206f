// The reading decoder: the module's grammar, token by token, and the stream
// as a TCP link delivers it: split, merged, unpadded.
#include "link/reading_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {
std::optional<int> Decode(const std::string& text) {
    return DecodeReading(text.data(), text.size());
}

// Every reading of `text` fed in pieces of the given sizes (repeating).
std::vector<int> FeedInPieces(const std::string& text, const std::vector<size_t>& sizes) {
    ReadingStream stream;
    std::vector<int> out;
    size_t at = 0;
    for (size_t k = 0; at < text.size(); ++k) {
        size_t n = std::min(sizes[k % sizes.size()], text.size() - at);
        stream.Feed(text.data() + at, n, out);
        at += n;
    }
    return out;
}
} // namespace

TEST(ReadingDecoder, PlainReadingGivesItsPressure) {
    EXPECT_EQ(Decode("+ 12 0\r\n"), 12);
    EXPECT_EQ(Decode("            + 12 0\r\n"), 12);
    EXPECT_EQ(Decode("- 3 3\r\n"), -3);
}

TEST(ReadingDecoder, AReadingIsCompleteOnlyAtALineEndOrAFurtherToken) {
    EXPECT_EQ(Decode("+ 12 0"), std::nullopt);
    EXPECT_EQ(Decode("+ 12 0 "), std::nullopt);
    EXPECT_EQ(Decode("+ 12"), std::nullopt);
    EXPECT_EQ(Decode(""), std::nullopt);
    EXPECT_EQ(Decode("+ 12 0\r"), 12);
    EXPECT_EQ(Decode("+ 7 3\n"), 7);
    EXPECT_EQ(Decode("+ 12 0 x"), 12);
    // Line ends inside a reading only separate its tokens.
    EXPECT_EQ(Decode("+\r12\n0\r\n"), 12);
}

TEST(ReadingDecoder, StatusFiveRejectsReadingAndNextIsUsed) {
    EXPECT_EQ(Decode("+ 40 5\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 40 5\r\n + 41 0\r\n"), 41);
    // Fault mended: the sign right after a line feed was lost with it.
    EXPECT_EQ(Decode("+ 40 5\r\n+ 41 0\r\n"), 41);
    EXPECT_EQ(Decode("+ 40 5 - 2 3 x"), -2);
}

TEST(ReadingDecoder, StatusWithoutDigitsCountsAsZero) {
    EXPECT_EQ(Decode("+ 9 ok\r\n"), 9);
}

TEST(ReadingDecoder, SignJoinedToDigitsIsNotASign) {
    EXPECT_EQ(Decode("+12 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+12 0\r\n + 13 0\r\n"), 13);
}

TEST(ReadingStream, EveryReadingIsDecodedInOrderHoweverTheBytesArrive) {
    // Fault mended: only the first reading of a batch of 20 bytes was used,
    // and a reading split between two batches was lost.
    std::string unpadded, padded, mixed;
    std::vector<int> sent;
    for (int bar = -3; bar < 300; bar += 7) {
        sent.push_back(bar);
        std::string r = std::string(bar < 0 ? "- " : "+ ") + std::to_string(std::abs(bar)) + " 0";
        unpadded += r + "\r\n";
        padded += std::string(20 - r.size() - 2, ' ') + r + "\r\n";
        mixed += r + (bar % 2 ? "\n" : "\r") + (bar % 3 ? "" : "junk ");
    }
    for (const std::string* text : {&unpadded, &padded, &mixed}) {
        EXPECT_EQ(FeedInPieces(*text, {text->size()}), sent);
        EXPECT_EQ(FeedInPieces(*text, {1}), sent);  // byte by byte
        EXPECT_EQ(FeedInPieces(*text, {40}), sent); // two padded replies merged
        EXPECT_EQ(FeedInPieces(*text, {3, 17, 1, 64}), sent);
    }
    std::mt19937 random(7);
    for (int k = 0; k < 50; ++k) {
        std::vector<size_t> sizes;
        for (int i = 0; i < 20; ++i)
            sizes.push_back(1 + random() % 30);
        EXPECT_EQ(FeedInPieces(mixed, sizes), sent);
    }
}

TEST(ReadingStream, APartialReadingNeverBecomesOne) {
    ReadingStream stream;
    std::vector<int> out;
    stream.Feed("+ 12", 4, out);
    stream.Feed("3", 1, out);
    EXPECT_TRUE(out.empty());
    stream.Feed(" 0", 2, out);
    EXPECT_TRUE(out.empty());
    stream.Feed("\r\n", 2, out);
    EXPECT_EQ(out, std::vector<int>{123});
    // A new connection starts afresh.
    stream.Feed("+ 9 ", 4, out);
    stream.Reset();
    stream.Feed("0\r\n", 3, out);
    EXPECT_EQ(out, std::vector<int>{123});
}

TEST(ReadingDecoder, GarbageIsIgnored) {
    std::string junk = "\x01\xff\x80garbage\t\t%%%";
    EXPECT_EQ(Decode(junk), std::nullopt);
    EXPECT_EQ(Decode(junk + " + 5 0\r\n"), 5);
}

TEST(ReadingDecoder, ZeroByteDropsTheReadingBegun) {
    std::string text("+ 5\0 0\r\n+ 6 0\r\n", 16);
    EXPECT_EQ(DecodeReading(text.data(), text.size()), 6);
}

TEST(ReadingDecoder, ValuesBeyondAnIntAreNoReading) {
    // Fault mended: these became 2 147 483 647 bar and set the curve's peak.
    EXPECT_EQ(Decode("+ 99999999999999999999999 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 4294967296 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 2147483648 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("- -2222200800 0\r\n"), std::nullopt);
    EXPECT_EQ(Decode("+ 2147483647 0\r\n"), 2147483647);
    EXPECT_EQ(Decode("- 2147483648 0\r\n"), -2147483647 - 1);
    // The reading after an impossible one is still read.
    EXPECT_EQ(Decode("+ 4294967296 0\r\n+ 8 0\r\n"), 8);
    std::string longToken(100, '7');
    EXPECT_EQ(Decode("+ " + longToken + " 0\r\n+ 9 0\r\n"), 9);
}
