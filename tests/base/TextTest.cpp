// The text helpers every part shares: the UTF-8 decoder and the escaping of text for a terminal.
#include "base/Printable.h"
#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <string>

using namespace veltrane::text;

TEST(Utf8, SequencesAreCheckedAsTheStandardDefinesThem) {
    EXPECT_EQ(Utf8SequenceLength("A", 0), 1u);
    EXPECT_EQ(Utf8SequenceLength("\xC3\xA4", 0), 2u);
    EXPECT_EQ(Utf8SequenceLength("\xE2\x82\xAC", 0), 3u);
    EXPECT_EQ(Utf8SequenceLength("\xF4\x8F\xBF\xBF", 0), 4u);
    EXPECT_EQ(Utf8SequenceLength("\xC0\xAF", 0), 0u);          // overlong "/"
    EXPECT_EQ(Utf8SequenceLength("\xE0\x80\xAF", 0), 0u);      // overlong
    EXPECT_EQ(Utf8SequenceLength("\xED\xA0\x80", 0), 0u);      // surrogate
    EXPECT_EQ(Utf8SequenceLength("\xF4\x90\x80\x80", 0), 0u);  // past U+10FFFF
    EXPECT_EQ(Utf8SequenceLength("\x80", 0), 0u);
    EXPECT_EQ(Utf8SequenceLength("\xE2\x82", 0), 0u);  // cut short
    EXPECT_EQ(Utf8CodePoint("\xF0\x9F\x8E\xB5", 0, 4), char32_t(0x1F3B5));
}

TEST(PrintableText, EscapesControlsAndInvalidBytesAndKeepsTheRest) {
    EXPECT_EQ(Printable("a\x1B[0m\x7F\tb"), "a\\x1B[0m\\x7F\\x09b");
    EXPECT_EQ(Printable("a\nb\tc", true), "a\nb\tc");
    // Valid UTF-8 stays; stray, overlong and cut-short bytes are escaped; so is C1's CSI.
    EXPECT_EQ(Printable("\xC3\xA4\xE2\x82\xAC\x80\xC0\xAF\xC2\x9B\xE2\x82"),
              "\xC3\xA4\xE2\x82\xAC\\x80\\xC0\\xAF\\xC2\\x9B\\xE2\\x82");
    // Kept invalid bytes pass through untouched; controls are still escaped.
    EXPECT_EQ(Printable("\xFF\x1B", false, InvalidBytes::Keep), "\xFF\\x1B");
}

TEST(Utf8, NextCodePointStepsOverWhatIsNotUtf8OneByteAtATime) {
    const std::string text = "a\xC3\xA9\xF0\x9F\x8E\xB5\xE0\x80\xAF\xED\xA0\x80\xE2\x82";
    std::size_t at = 0;
    std::u32string seen;
    while (at < text.size()) seen += NextCodePoint(text, at);
    EXPECT_EQ(at, text.size());
    // The overlong form, the surrogate and the cut-short sequence give one kNotUtf8 per byte.
    EXPECT_EQ(seen, (std::u32string{U'a', 0xE9, 0x1F3B5, kNotUtf8, kNotUtf8, kNotUtf8, kNotUtf8, kNotUtf8, kNotUtf8,
                                    kNotUtf8, kNotUtf8}));
}

TEST(Utf8, EveryCodePointRoundTripsThroughItsEncoding) {
    for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x1000 ? 1 : 97)) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string encoded;
        AppendUtf8(encoded, c);
        std::size_t at = 0;
        ASSERT_EQ(NextCodePoint(encoded, at), c) << std::hex << unsigned(c);
        ASSERT_EQ(at, encoded.size());
        ASSERT_TRUE(IsUtf8(encoded));
    }
    EXPECT_FALSE(IsUtf8("ok\xC0\xAF"));
    EXPECT_TRUE(IsUtf8(""));
}
