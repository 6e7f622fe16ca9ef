// The tool end to end: command line, listing, both conversions, file set.
#include "harness.h"

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// Lines joined with CR LF line ends, as the tool writes them.
std::string crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

using CommandLineTest = ToolTest;

TEST_F(CommandLineTest, EmptyDirectoryPrintsOnlyTheBanner) {
    ToolRun result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, BANNER_LINE);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(run({"-r"}).out, BANNER_LINE);
}

TEST_F(CommandLineTest, AnyOtherFirstArgumentPrintsTheUsageAndTouchesNothing) {
    const std::string ver200 = crlf({"200", "42"});
    const std::string ver210 = crlf({"210 42 1"});
    put("vuro000.vrx", ver200);
    put("vuro001.vrx", ver210);
    // Quotes and backslashes inside an argument must come through whole: the
    // Windows build splits its command line itself.
    for (std::string arg :
         {"-x", "", "-R", "-r2", "/r", "r", "--", " -r", "\"-r\"", "-r\\", "-r\""}) {
        ToolRun result = run({arg, "-r"});
        EXPECT_EQ(result.status, 1) << arg;
        EXPECT_EQ(result.out, std::string(BANNER_LINE) + USAGE_LINES) << arg;
        EXPECT_EQ(result.err, "") << arg;
    }
    EXPECT_EQ(get("vuro000.vrx"), ver200);
    EXPECT_EQ(get("vuro001.vrx"), ver210);
    EXPECT_FALSE(exists("temp.vrx"));
}

TEST_F(CommandLineTest, ArgumentsAfterTheFirstAreIgnored) {
    put("vuro005.vrx", crlf({"210 42 99", "a"}));
    ToolRun result = run({"-r", "extra", "-x"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(get("vuro005.vrx"), crlf({"200", "42", "a"}));
}

struct Conversion {
    const char* what;
    int number;
    std::string before;
    std::string after; // empty: the file is left as it was
};

class ConversionTest : public ToolTest {
  protected:
    // Converts each case alone and checks listing, status and bytes.
    void check(const std::vector<Conversion>& cases, const std::vector<std::string>& args) {
        for (const Conversion& c : cases) {
            char name[16];
            std::snprintf(name, sizeof name, "vuro%03d.vrx", c.number);
            put(name, c.before);
            ToolRun result = run(args);
            EXPECT_EQ(result.status, 0) << c.what;
            EXPECT_EQ(result.out, listing({name})) << c.what;
            EXPECT_EQ(result.err, "") << c.what;
            EXPECT_EQ(get(name), c.after.empty() ? c.before : c.after) << c.what;
            EXPECT_EQ(list(), std::vector<std::string>{name}) << c.what;
            std::remove(path(name).c_str());
        }
    }
};

TEST_F(ConversionTest, UpgradeRewritesVer200Headers) {
    const std::string long_line(3 * 1023, 'L');
    check(
        {
            {"lines 200, 42, a, b", 5, crlf({"200", "42", "a", "b"}), crlf({"210 42 5", "a", "b"})},
            {"negative value", 12, crlf({"200", "-3", "x"}), crlf({"210 -3 12", "x"})},
            {"header only", 1, crlf({"200", "42"}), crlf({"210 42 1"})},
            {"no final line end", 2, "200\r\n42", crlf({"210 42 2"})},
            {"bare LF ends", 3, "200\n42\na\nb\n", crlf({"210 42 3", "a", "b"})},
            {"long body line", 4, crlf({"200", "7", long_line, "z"}),
             crlf({"210 7 4", long_line, "z"})},
            {"Ctrl-Z ends the text", 6,
             "200\r\n1\r\nab\x1a"
             "cd\r\n",
             "210 1 6\r\nab"},
            {"NUL bytes survive", 7, "200\r\n1\r\na\0b\r\n\0\0\r\n"s,
             "210 1 7\r\na\0b\r\n\0\0\r\n"s},
            {"lone CRs stay", 8, "200\r\n1\r\na\rb\r\r\n\r", "210 1 8\r\na\rb\r\r\n\r"},
            {"sign, zeros and text", 9, crlf({" \t+0200 text", "007x", "b"}),
             crlf({"210 7 9", "b"})},
            {"value without digits", 10, crlf({"200abc", "abc"}), crlf({"210 0 10"})},
            {"empty second line", 11, crlf({"200", "", "b"}), crlf({"210 0 11", "b"})},
            {"high file number", 224, crlf({"200", "2147483647"}), crlf({"210 2147483647 224"})},
            {"long first line", 13,
             crlf({std::string("200") + std::string(2000, ' ') + "x", "5", "b"}),
             crlf({"210 5 13", "b"})},
            {"long second line", 14, crlf({"200", std::string("6") + std::string(1500, 'y'), "b"}),
             crlf({"210 6 14", "b"})},
            {"bytes from 0x80 up", 15, crlf({"200", "9", "\x80\xff\xfe"}),
             crlf({"210 9 15", "\x80\xff\xfe"})},
        },
        {});
}

TEST_F(ConversionTest, UpgradeLeavesOtherFilesAlone) {
    check(
        {
            {"only the first line", 1, crlf({"200"}), ""},
            {"empty file", 2, "", ""},
            {"VER200 spelled out", 3, crlf({"VER200", "42"}), ""},
            {"sign apart from digits", 4, crlf({"- 200", "42"}), ""},
            {"empty first line", 5, crlf({"", "200", "42"}), ""},
            {"already VER210", 6, crlf({"210 42 6"}), ""},
            {"Ctrl-Z before line 2", 7,
             "200\r\n\x1a"
             "42\r\n",
             ""},
            {"value out of range", 8, crlf({"200", "2147483648"}), ""},
            {"version out of range", 9, crlf({"4294967496", "42"}), ""},
        },
        {});
}

TEST_F(ConversionTest, DowngradeRewritesVer210Headers) {
    check(
        {
            {"lines 210 42 99, a", 5, crlf({"210 42 99", "a"}), crlf({"200", "42", "a"})},
            {"negative value", 1, crlf({"210 -3 1"}), crlf({"200", "-3"})},
            {"tab separated", 2, crlf({"210\t5"}), crlf({"200", "5"})},
            {"signs", 3, crlf({"+210 +8 1", "b"}), crlf({"200", "8", "b"})},
            {"bare LF ends", 4, "210 1 4\nb\n", crlf({"200", "1", "b"})},
            {"long first line", 6, crlf({std::string("210 4 ") + std::string(3000, '9'), "b"}),
             crlf({"200", "4", "b"})},
        },
        {"-r"});
}

TEST_F(ConversionTest, DowngradeLeavesOtherFilesAlone) {
    check(
        {
            {"210 alone", 1, crlf({"210", "5"}), ""},
            {"210abc", 2, crlf({"210abc"}), ""},
            {"210,5", 3, crlf({"210,5"}), ""},
            {"first integer not 210", 4, crlf({"200 42"}), ""},
            {"VER200 file", 5, crlf({"200", "42"}), ""},
            {"empty file", 6, "", ""},
            {"value out of range", 7, crlf({"210 2147483648 7"}), ""},
        },
        {"-r"});
}

TEST_F(ConversionTest, FilesAreListedInOrderAndOnlyTheSourceVersionChanges) {
    put("vuro010.vrx", crlf({"210 1 10"}));
    put("vuro003.vrx", crlf({"200", "42", "body"}));
    put("vuro225.vrx", crlf({"200", "1"}));
    put("vuro7.vrx", crlf({"200", "1"}));
    put("temp.vrx", "left over from an earlier run");
    ToolRun first = run();
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, listing({"vuro003.vrx", "vuro010.vrx"}));
    EXPECT_EQ(get("vuro003.vrx"), crlf({"210 42 3", "body"}));
    EXPECT_EQ(get("vuro010.vrx"), crlf({"210 1 10"}));
    EXPECT_EQ(get("vuro225.vrx"), crlf({"200", "1"}));
    EXPECT_EQ(get("vuro7.vrx"), crlf({"200", "1"}));
    EXPECT_FALSE(exists("temp.vrx"));

    ToolRun second = run();
    EXPECT_EQ(second.out, first.out);
    EXPECT_EQ(get("vuro003.vrx"), crlf({"210 42 3", "body"}));
}

TEST_F(ConversionTest, DowngradeTakesEachValueFromItsOwnFile) {
    put("vuro001.vrx", crlf({"210 5 1"}));
    put("vuro002.vrx", crlf({"210"}));
    ToolRun result = run({"-r"});
    EXPECT_EQ(result.out, listing({"vuro001.vrx", "vuro002.vrx"}));
    EXPECT_EQ(get("vuro001.vrx"), crlf({"200", "5"}));
    EXPECT_EQ(get("vuro002.vrx"), crlf({"210"}));
}

TEST_F(ConversionTest, AFullSetGoesUpAndBackDownByteForByte) {
    std::vector<std::string> names;
    std::vector<std::string> originals;
    for (int n = 0; n < 225; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "vuro%03d.vrx", n);
        names.push_back(name);
        originals.push_back(
            crlf({"200", std::to_string(n * 7919 - 500000), std::string("line ") + names.back(),
                  std::string(n * 37, 'a' + n % 26)}));
        put(name, originals.back());
    }
    ToolRun up = run();
    EXPECT_EQ(up.status, 0);
    EXPECT_EQ(up.out, listing(names));
    EXPECT_EQ(get("vuro123.vrx").substr(0, 18), "210 474037 123\r\nli");
    ToolRun down = run({"-r"});
    EXPECT_EQ(down.status, 0);
    EXPECT_EQ(down.out, listing(names));
    for (int n = 0; n < 225; ++n)
        EXPECT_EQ(get(names[n]), originals[n]) << names[n];
    EXPECT_EQ(list(), names);
}

} // namespace
