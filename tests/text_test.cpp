#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A source over memory that hands out at most `chunk` bytes per read and can
// fail once it has given `fail_at` bytes.
struct MemorySource {
    std::string bytes;
    std::size_t chunk;
    std::size_t fail_at = std::string::npos;
    std::size_t pos = 0;
};

long read_memory(void* context, char* buffer, std::size_t size) {
    auto* source = static_cast<MemorySource*>(context);
    if (source->pos >= source->fail_at) return -1;
    std::size_t n = std::min(
        {size, source->chunk, source->bytes.size() - source->pos, source->fail_at - source->pos});
    source->bytes.copy(buffer, n, source->pos);
    source->pos += n;
    return static_cast<long>(n);
}

struct Lines {
    std::vector<std::string> lines;
    ReadStatus last;
    std::string rest; // what the reader leaves for the body, buffered or not
};

Lines read_lines(MemorySource source, std::size_t capacity = 64, int count = 8) {
    std::vector<char> buffer(capacity);
    TextReader reader = make_reader({read_memory, &source}, buffer.data(), capacity);
    Lines result;
    char line[LINE_BUFFER_SIZE];
    std::size_t length = 0;
    for (int i = 0; i < count; ++i) {
        result.last = read_header_line(reader, line, &length);
        if (result.last != ReadStatus::line) break;
        result.lines.emplace_back(line, length);
    }
    result.rest.assign(reader.buffer + reader.pos, reader.len - reader.pos);
    result.rest += source.bytes.substr(std::min(source.pos, source.bytes.size()));
    return result;
}

struct LineCase {
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(ReadHeaderLine, AppliesTheLineEndAndCtrlZRules) {
    const LineCase cases[] = {
        {"200\r\n42\r\n", {"200\n", "42\n"}},
        {"200\n42\n", {"200\n", "42\n"}},
        {"a\rb\r\r\nc", {"a\rb\r\n", "c"}},
        {"ab\r", {"ab\r"}},
        {"\r\r\n\n", {"\r\n", "\n"}},
        {"20\x1a"
         "0\r\n",
         {"20"}},
        {"\x1a"
         "200\r\n",
         {}},
        {"a\r\x1a\n", {"a\r"}},
        {std::string("a\0b\r\n", 5), {std::string("a\0b\n", 4)}},
        {"\x80\xff\r\n", {"\x80\xff\n"}},
        {"", {}},
    };
    for (const LineCase& c : cases) {
        for (std::size_t chunk : {1, 2, 3, 64}) {
            Lines got = read_lines({c.bytes, chunk}, 64);
            EXPECT_EQ(got.lines, c.lines) << "chunk " << chunk << ": " << c.bytes;
            EXPECT_EQ(got.last, ReadStatus::end);
        }
    }
}

TEST(ReadHeaderLine, KeepsTheFirstPieceOfALongLineAndConsumesTheRest) {
    const std::string piece(LINE_BUFFER_SIZE - 1, 'x');
    for (std::size_t extra : {0, 1, 1023, 3000}) {
        std::string long_line = piece + std::string(extra, 'y');
        for (std::string end : {"\r\n", "\n"}) {
            Lines got = read_lines({long_line + end + "42\r\nbody", 7}, 4096, 2);
            ASSERT_EQ(got.lines.size(), 2u) << extra;
            EXPECT_EQ(got.lines[0], piece);
            EXPECT_EQ(got.lines[1], "42\n");
            EXPECT_EQ(got.rest, "body");
        }
    }
    // One short of a full piece still has room for its line end.
    std::string fits(LINE_BUFFER_SIZE - 2, 'x');
    EXPECT_EQ(read_lines({fits + "\r\nnext\n", 5}, 4096).lines,
              (std::vector<std::string>{fits + "\n", "next\n"}));
}

TEST(ReadHeaderLine, LeavesTheBodyBytesUnread) {
    Lines got = read_lines({"200\r\n42\r\nbody\r\nmore", 4096}, 4096, 2);
    EXPECT_EQ(got.rest, "body\r\nmore");
}

TEST(ReadHeaderLine, ReportsAFailedReadAsAnError) {
    // Failing before the line end, and while looking past a CR for its LF.
    for (std::size_t fail_at : {2, 4}) {
        MemorySource source{"200\r\n42\r\n", 1, fail_at};
        Lines got = read_lines(source, 64);
        EXPECT_EQ(got.last, ReadStatus::error) << fail_at;
        EXPECT_TRUE(got.lines.empty());
    }
}

TEST(EncodeText, WritesEveryLfAsCrLf) {
    char out[32];
    const std::string text = "210 5 1\n\r\n";
    std::size_t size = encode_text(text.data(), text.size(), out);
    EXPECT_EQ(std::string(out, size), "210 5 1\r\n\r\r\n");
}

std::string convert_in_blocks(const std::string& in, std::size_t block) {
    BodyState state{false, false};
    std::string out;
    std::vector<char> buffer(2 * block);
    for (std::size_t pos = 0; pos < in.size(); pos += block) {
        std::size_t n = std::min(block, in.size() - pos);
        BodyChunk chunk = convert_body(state, in.data() + pos, n, buffer.data());
        out.append(chunk.data, chunk.size);
    }
    return out;
}

TEST(ConvertBody, GivesTheSameBytesForEveryBlockSize) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"\n\n", "\r\n\r\n"},
        {"a\rb\r", "a\rb\r"},
        {"\r\r\n", "\r\r\n"},
        {"\r\n\n\r", "\r\n\r\n\r"},
        {"ab\x1a"
         "cd\n",
         "ab"},
        {"ab\r\x1a\n", "ab\r"},
        {std::string("\0\n\0", 3), std::string("\0\r\n\0", 4)},
        {"\xff\n\x80", "\xff\r\n\x80"},
        {"", ""},
    };
    for (const auto& [in, expected] : cases)
        for (std::size_t block : {1, 2, 3, 5, 64})
            EXPECT_EQ(convert_in_blocks(in, block), expected) << "block " << block << ": " << in;
}

} // namespace
