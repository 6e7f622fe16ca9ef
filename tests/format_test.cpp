#include "format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DataFileName, IsZeroPaddedToThreeDigits) {
    char name[NAME_BUFFER_SIZE];
    data_file_name(0, name);
    EXPECT_STREQ(name, "vuro000.vrx");
    data_file_name(7, name);
    EXPECT_STREQ(name, "vuro007.vrx");
    data_file_name(FILE_COUNT - 1, name);
    EXPECT_STREQ(name, "vuro224.vrx");
}

struct LeadingCase {
    std::string line;
    bool fits;
    std::int32_t value;
};

TEST(LeadingInteger, ReadsLikeTheLayoutTables) {
    const LeadingCase cases[] = {
        {"200\n", true, 200},
        {" \t200\n", true, 200},
        {"+200\n", true, 200},
        {"0200\n", true, 200},
        {"200abc\n", true, 200},
        {"200 more text\n", true, 200},
        {"VER200\n", true, 0},
        {"- 200\n", true, 0},
        {"+-200\n", true, 0},
        {"\n", true, 0},
        {"", true, 0},
        {"-3\n", true, -3},
        {"007x\n", true, 7},
        {"abc\n", true, 0},
        {"\v\f\r200", true, 200},
        {"\xA0"
         "200",
         true, 0}, // bytes from 0x80 up are not white space
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999999", false, 0},
        {"0000000000000000000042", true, 42},
    };
    for (const LeadingCase& c : cases) {
        std::int32_t value = -99;
        EXPECT_EQ(read_leading_integer(c.line, &value), c.fits) << c.line;
        if (c.fits) {
            EXPECT_EQ(value, c.value) << c.line;
        }
    }
}

struct TwoCase {
    std::string line;
    bool found;
    std::int32_t first, second;
};

TEST(TwoIntegers, NeedDigitsInBoth) {
    const TwoCase cases[] = {
        {"210 42 99\n", true, 210, 42},
        {"210 -3 1\n", true, 210, -3},
        {"210\t5\n", true, 210, 5},
        {"+210 +8 1\n", true, 210, 8},
        {"  210\n\n 7", true, 210, 7},
        {"210-5", true, 210, -5}, // the second may follow without white space
        {"210\n", false, 0, 0},
        {"210abc\n", false, 0, 0},
        {"210,5\n", false, 0, 0},
        {"210 + 5\n", false, 0, 0},
        {"", false, 0, 0},
        {"210 2147483648 1", false, 0, 0},
        {"21000000000000 5", false, 0, 0},
    };
    for (const TwoCase& c : cases) {
        std::int32_t first = 0, second = 0;
        EXPECT_EQ(read_two_integers(c.line, &first, &second), c.found) << c.line;
        if (c.found) {
            EXPECT_EQ(first, c.first) << c.line;
            EXPECT_EQ(second, c.second) << c.line;
        }
    }
}

bool accepts_ver200(const std::string& line1, const std::string& line2, std::int32_t* value) {
    return VER200_LAYOUT.read_line(0, line1, value) && VER200_LAYOUT.read_line(1, line2, value);
}

TEST(Ver200Layout, FirstLineMustBe200AndSecondGivesTheValue) {
    std::int32_t value = -1;
    EXPECT_TRUE(accepts_ver200("200\n", "42\n", &value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(accepts_ver200("200\n", "abc\n", &value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(accepts_ver200("210\n", "42\n", &value));
    EXPECT_FALSE(accepts_ver200("\n", "42\n", &value));
    EXPECT_FALSE(accepts_ver200("200\n", "4294967296\n", &value));
    EXPECT_FALSE(accepts_ver200("4294967496\n", "42\n", &value)); // not 200 after wrapping
}

TEST(Ver210Layout, FirstIntegerMustBe210) {
    std::int32_t value = -1;
    EXPECT_TRUE(VER210_LAYOUT.read_line(0, "210 42 99\n", &value));
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(VER210_LAYOUT.read_line(0, "200 42\n", &value));
    EXPECT_FALSE(VER210_LAYOUT.read_line(0, "210\n", &value));
}

TEST(HeaderWriting, UsesPlainDecimal) {
    char text[HEADER_TEXT_SIZE];
    std::size_t size = VER210_LAYOUT.write(-3, 12, text);
    EXPECT_EQ(std::string(text, size), "210 -3 12\n");
    size = VER210_LAYOUT.write(-2147483647 - 1, 224, text);
    EXPECT_EQ(std::string(text, size), "210 -2147483648 224\n");
    size = VER200_LAYOUT.write(42, 5, text);
    EXPECT_EQ(std::string(text, size), "200\n42\n");
}

} // namespace
