#include "command-line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Splits a whole line with room for every argument.
std::vector<std::string> split(const std::string& line) {
    std::vector<char> text(line.size() + 1, '\x7f');
    std::vector<const char*> args(line.size() + 2);
    std::size_t count = split_command_line(line.c_str(), text.data(), args.data(), args.size());
    EXPECT_LE(count, args.size());
    std::vector<std::string> result;
    for (std::size_t i = 0; i < count; ++i)
        result.emplace_back(args[i]);
    return result;
}

struct SplitCase {
    const char* line;
    std::vector<std::string> args; // after the program's name
};

// The program's name is "p" in every case, so that each case shows the rules
// for the arguments alone.
const SplitCase SPLIT_CASES[] = {
    {"p", {}},
    {"p ", {}},
    {"p \t ", {}},
    {"p -r", {"-r"}},
    {"p\t-r", {"-r"}},
    {"p   -r  extra  ", {"-r", "extra"}},
    {"p -r\t\textra", {"-r", "extra"}},
    {"p a b c", {"a", "b", "c"}},
    // Quotes are dropped wherever they stand: a quoted -r is the option.
    {"p \"-r\"", {"-r"}},
    {"p -\"r\"", {"-r"}},
    {"p \"-\"r", {"-r"}},
    {"p \"-r \"", {"-r "}},
    {"p \"a b\" c", {"a b", "c"}},
    {"p \"a\tb\"", {"a\tb"}},
    {"p a\" \"b", {"a b"}},
    {"p \"a\"\"b\"", {"a\"b"}},
    // Empty arguments.
    {"p \"\"", {""}},
    {"p \"\" -r", {"", "-r"}},
    {"p -r \"\"", {"-r", ""}},
    {"p \"\"\"\"", {"\""}},
    // An unclosed quote runs to the end of the line.
    {"p \"a b", {"a b"}},
    {"p \"", {""}},
    // Two double quotes inside a quoted stretch: one literal quote, and the
    // stretch goes on.
    {"p \"a\"\"b c\"", {"a\"b c"}},
    {"p \"\"\"a b\"\"\"", {"\"a b\""}},
    // Outside a quoted stretch two double quotes open and close one.
    {"p a\"\"b", {"ab"}},
    {"p a\"\" b", {"a", "b"}},
    // Backslashes before a double quote: 2n give n and a delimiting quote,
    // 2n + 1 give n and a literal quote.
    {"p \\\"a", {"\"a"}},
    {"p \\\\\"a b\"", {"\\a b"}},
    {"p \\\\\\\"a", {"\\\"a"}},
    {"p \\\\\\\\\"a b\"", {"\\\\a b"}},
    {"p \"a\\\"b\"", {"a\"b"}},
    {"p \"a\\\\\" b", {"a\\", "b"}},
    {"p \"a\\\\\"\"b\"", {"a\\\"b"}},
    // Other backslashes stay.
    {"p a\\b", {"a\\b"}},
    {"p a\\\\b", {"a\\\\b"}},
    {"p C:\\dir\\", {"C:\\dir\\"}},
    {"p \"C:\\dir\\\\\" -r", {"C:\\dir\\", "-r"}},
    {"p \\", {"\\"}},
    // Bytes from 0x80 up (UTF-8) are plain characters.
    {"p \xc3\xa9-r \"\xe2\x82\xac x\"", {"\xc3\xa9-r", "\xe2\x82\xac x"}},
};

TEST(SplitCommandLine, ArgumentsFollowTheQuotingAndBackslashRules) {
    for (const SplitCase& c : SPLIT_CASES) {
        std::vector<std::string> expected{"p"};
        expected.insert(expected.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(split(c.line), expected) << "line: " << c.line;
    }
}

struct NameCase {
    const char* line;
    std::vector<std::string> args; // the program's name first
};

// The program's name is a path: quotes toggle a stretch, but backslashes are
// never escapes.
const NameCase NAME_CASES[] = {
    {"vrxport.exe -r", {"vrxport.exe", "-r"}},
    {"C:\\tools\\vrxport.exe", {"C:\\tools\\vrxport.exe"}},
    {"\"C:\\Program Files\\vrxport.exe\" -r", {"C:\\Program Files\\vrxport.exe", "-r"}},
    {"\"C:\\Program Files\\\"vrxport.exe -r", {"C:\\Program Files\\vrxport.exe", "-r"}},
    {"C:\\a\\\"b c\" -r", {"C:\\a\\b c", "-r"}},
    {"\"C:\\dir\\\\\" -r", {"C:\\dir\\\\", "-r"}},
    {"\"vrxport.exe\"\"-r\"", {"vrxport.exe-r"}},
    {"\"vrx port.exe", {"vrx port.exe"}},
    {"", {""}},
    {" -r", {"", "-r"}},
};

TEST(SplitCommandLine, ProgramNameKeepsItsBackslashes) {
    for (const NameCase& c : NAME_CASES)
        EXPECT_EQ(split(c.line), c.args) << "line: " << c.line;
}

// Only the first arguments are stored, but all are counted, and the text
// written never goes past strlen(line) + 1 bytes, however the line is quoted.
TEST(SplitCommandLine, StoresAtMostMaxArgsAndStaysInsideTheText) {
    const char* lines[] = {"p a b c", "\"p\" \"\" \"\" \"\"", "p \"\"\"\" x\"\"\"\"y",
                           "p\t\t\"a\"  b", "\"a b\" \\\\\\\"c"};
    for (const char* line : lines) {
        std::size_t size = std::strlen(line) + 1;
        std::vector<char> text(size + 8, '#');
        const char* args[2] = {nullptr, nullptr};
        std::size_t count = split_command_line(line, text.data(), args, 2);
        EXPECT_EQ(count, split(line).size()) << line;
        EXPECT_EQ(std::string(text.data() + size, 8), std::string(8, '#')) << line;
        EXPECT_EQ(args[0], text.data()) << line;
    }
    const char* args[2] = {nullptr, nullptr};
    char text[16];
    EXPECT_EQ(split_command_line("p -r x y z", text, args, 2), 5u);
    EXPECT_STREQ(args[0], "p");
    EXPECT_STREQ(args[1], "-r");
}

} // namespace
