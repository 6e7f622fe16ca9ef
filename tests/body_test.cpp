// The block-wise body converter against the text-mode rules applied plainly,
// one character at a time, to the whole body at once.
#include "text.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace {

// Reading: CR LF and a lone LF are line ends, any other CR is a character,
// Ctrl-Z ends the text. Writing: every line end becomes CR LF.
std::string reference_body(const std::string& raw) {
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == CTRL_Z) break;
        if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            c = '\n';
            ++i;
        }
        text += c;
    }
    std::string written;
    for (char c : text) {
        if (c == '\n') written += '\r';
        written += c;
    }
    return written;
}

// Converts `raw` in blocks of the given sizes, each in a buffer of exactly its
// own size (so that the sanitizer build catches any read past a block), and
// checks what the converter promises about where its output lies.
std::string convert_in_blocks(const std::string& raw, const std::vector<std::size_t>& sizes) {
    constexpr char UNTOUCHED = '#';
    BodyState state{false, false};
    std::string result;
    std::size_t pos = 0;
    for (std::size_t size : sizes) {
        std::vector<char> in(raw.begin() + pos, raw.begin() + pos + size);
        std::vector<char> out(2 * size, UNTOUCHED);
        pos += size;
        BodyChunk chunk = convert_body(state, in.data(), size, out.data());
        if (chunk.data == in.data()) {
            EXPECT_LE(chunk.size, size);
            EXPECT_EQ(std::string(out.begin(), out.end()), std::string(out.size(), UNTOUCHED))
                << "output buffer written although the input was returned";
        } else {
            EXPECT_EQ(chunk.data, out.data());
            EXPECT_LE(chunk.size, out.size());
        }
        result.append(chunk.data, chunk.size);
    }
    EXPECT_EQ(pos, raw.size());
    return result;
}

std::string convert_whole(const std::string& raw) {
    return convert_in_blocks(raw, {raw.size()});
}

std::string repeat(char c, std::size_t n) {
    return std::string(n, c);
}

TEST(BodyConverter, AppliesTheLineRulesInOneBlock) {
    struct Case {
        std::string raw;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"\n", "\r\n"},
        {"\n\n\r\n", "\r\n\r\n\r\n"},
        {"a\rb", "a\rb"},
        {"a\r", "a\r"},
        {"\r\r\n", "\r\r\n"},
        {"\r\r\r", "\r\r\r"},
        {"a\n\rb\r", "a\r\n\rb\r"},
        {std::string("a\0b\n", 4), std::string("a\0b\r\n", 5)},
        {"\xff\x80\n\xfe", "\xff\x80\r\n\xfe"},
        {"\x1a", ""},
        {"a\r\n\x1a\nrest", "a\r\n"},
        {"a\r\x1a\n", "a\r"},
        {"a\n\x1a", "a\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(convert_whole(c.raw), c.expected) << "input " << testing::PrintToString(c.raw);
}

// A special byte at every offset of a block, so that each lane of the wide
// compares and each boundary between them sees one, with or without a CR
// just before it.
TEST(BodyConverter, FindsSpecialBytesAtEveryOffset) {
    constexpr std::size_t LENGTH = 150;
    for (std::size_t k = 0; k < LENGTH; ++k) {
        for (const char* insert : {"\n", "\r\n", "\x1a", "\r", "\r\r\n", "\n\n"}) {
            std::string raw = repeat('a', k) + insert + repeat('b', LENGTH - k);
            EXPECT_EQ(convert_whole(raw), reference_body(raw))
                << "offset " << k << ", input " << testing::PrintToString(raw);
        }
    }
}

TEST(BodyConverter, CarriesACrAcrossBlockBoundaries) {
    // CR at the end of one block, LF at the start of the next: one line end.
    EXPECT_EQ(convert_in_blocks("a\r\nb", {2, 2}), "a\r\nb");
    EXPECT_EQ(convert_in_blocks("a\r\n", {2, 1}), "a\r\n");
    // The CR only counts when it is the very last byte of the block before.
    EXPECT_EQ(convert_in_blocks("\r\n\nb", {2, 2}), "\r\n\r\nb");
    EXPECT_EQ(convert_in_blocks("\r\r\n", {1, 1, 1}), "\r\r\n");
    // An empty block in between changes nothing.
    EXPECT_EQ(convert_in_blocks("a\r\nb", {2, 0, 2}), "a\r\nb");
    // A bare LF at the start of the first block.
    EXPECT_EQ(convert_in_blocks("\nab", {1, 2}), "\r\nab");
    EXPECT_EQ(convert_in_blocks("a\n", {1, 1}), "a\r\n");
}

TEST(BodyConverter, CtrlZEndsTheTextForGood) {
    // At the start, in the middle and at the end of a block, and in the block
    // after a CR; nothing of later blocks is written.
    EXPECT_EQ(convert_in_blocks("ab\x1a"
                                "cd\nef",
                                {3, 3, 2}),
              "ab");
    EXPECT_EQ(convert_in_blocks("ab\x1a"
                                "cd\nef",
                                {2, 3, 3}),
              "ab");
    EXPECT_EQ(convert_in_blocks("a\nb\x1a\n", {2, 3}), "a\r\nb");
    EXPECT_EQ(convert_in_blocks("a\r\x1a\n", {2, 2}), "a\r");
    EXPECT_EQ(convert_in_blocks("a\n\n\x1a\n", {4, 1}), "a\r\n\r\n");
}

TEST(BodyConverter, ReturnsCleanTextInPlace) {
    const std::string raw = repeat('a', 100) + "\r\n\rb\r\n" + repeat('c', 100) + "\r";
    std::vector<char> out(2 * raw.size());
    BodyState state{false, false};
    BodyChunk chunk = convert_body(state, raw.data(), raw.size(), out.data());
    EXPECT_EQ(chunk.data, raw.data());
    EXPECT_EQ(chunk.size, raw.size());
    EXPECT_TRUE(state.after_cr);
    EXPECT_FALSE(state.ended);
}

// Bytes drawn from `alphabet` (repeats weight a byte), in random blocks.
void check_random_inputs(unsigned seed, const std::string& alphabet, std::size_t max_length,
                         std::size_t max_block, int rounds) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < rounds; ++round) {
        std::size_t length = std::uniform_int_distribution<std::size_t>(0, max_length)(random);
        std::string raw;
        for (std::size_t i = 0; i < length; ++i)
            raw += alphabet[pick(random)];
        std::vector<std::size_t> sizes;
        for (std::size_t left = length; left > 0;) {
            std::size_t size =
                std::min(left, std::uniform_int_distribution<std::size_t>(0, max_block)(random));
            sizes.push_back(size);
            left -= size;
        }
        ASSERT_EQ(convert_in_blocks(raw, sizes), reference_body(raw))
            << "seed " << seed << ", round " << round << ", input " << testing::PrintToString(raw);
    }
}

const std::string SPECIAL_HEAVY = std::string("\r\n\x1a"
                                              "a\0\xff",
                                              6);
// Line-end bytes only, so that the text never ends early.
const std::string LINE_ENDS_ONLY = std::string("\r\n\r\na\0\xff", 7);
// Mostly ordinary text, so that whole wide blocks pass without a find.
const std::string SPARSE = repeat('a', 60) + std::string("\r\r\n\n\0\xff", 6);

TEST(BodyConverter, MatchesTheRulesOnRandomInputs) {
    check_random_inputs(1, SPECIAL_HEAVY, 80, 20, 20000);
    check_random_inputs(2, LINE_ENDS_ONLY, 400, 70, 5000);
    check_random_inputs(3, SPARSE, 3000, 300, 2000);
    check_random_inputs(4, SPARSE + "\x1a", 3000, 1000, 2000);
}

} // namespace
