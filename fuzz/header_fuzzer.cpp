// Fuzzer for the header readers: header lines read from a source that hands
// out blocks of sizes drawn from the input, through reader buffers of every
// size, must be the lines of the whole-buffer rules; the number readers and
// both layouts must agree with the C library's strtoll; headers written must
// read back to the same value.
#include "format.h"
#include "reference.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// A source over memory that hands out blocks as the plan says, and may fail
// for good once it has handed out `fail_at` bytes.
struct PlannedSource {
    std::string_view bytes;
    BlockPlan plan;
    std::size_t fail_at;
    std::size_t pos;
};

long read_planned(void* context, char* buffer, std::size_t size) {
    auto* source = static_cast<PlannedSource*>(context);
    if (source->pos >= source->fail_at) return -1;
    std::size_t n = std::min({size, source->plan.next(), source->bytes.size() - source->pos,
                              source->fail_at - source->pos});
    if (n == 0 && source->pos < source->bytes.size()) n = 1; // 0 would mean the end
    source->bytes.copy(buffer, n, source->pos);
    source->pos += n;
    return static_cast<long>(n);
}

// The leading integer as strtoll reads it: 0 without digits, false when it
// does not fit in 32 bits. `end` is where the digits stop.
bool reference_integer(const char* start, const char** end, std::int64_t* value) {
    char* stop = nullptr;
    errno = 0;
    long long number = std::strtoll(start, &stop, 10);
    *end = stop;
    *value = stop == start ? 0 : number;
    return errno != ERANGE && number >= INT32_MIN && number <= INT32_MAX;
}

void check_number_readers(std::string_view line) {
    const std::string text(line); // strtoll stops at a NUL, and so do the readers
    const char* end = nullptr;
    std::int64_t expected = 0;
    bool fits = reference_integer(text.c_str(), &end, &expected);
    std::int32_t value = -1;
    check(read_leading_integer(line, &value) == fits, "leading integer: accepted as strtoll");
    if (fits) check(value == expected, "leading integer: value as strtoll");

    const char* second_end = nullptr;
    std::int64_t second = 0;
    bool first_ok = fits && end != text.c_str();
    bool second_fits = first_ok && reference_integer(end, &second_end, &second);
    bool two = second_fits && second_end != end;
    std::int32_t a = -1, b = -1;
    check(read_two_integers(line, &a, &b) == two, "two integers: accepted as strtoll");
    if (two) check(a == expected && b == second, "two integers: values as strtoll");

    // The layouts' line tests are these readings and nothing else.
    std::int32_t layout_value = -7;
    check(VER200_LAYOUT.read_line(0, line, &layout_value) == (fits && expected == 200),
          "VER200 line 1");
    check(layout_value == -7, "VER200 line 1 stores no value");
    check(VER200_LAYOUT.read_line(1, line, &layout_value) == fits, "VER200 line 2");
    if (fits) check(layout_value == expected, "VER200 line 2 value");
    check(VER210_LAYOUT.read_line(0, line, &layout_value) == (two && expected == 210),
          "VER210 line");
    if (two && expected == 210) check(layout_value == second, "VER210 value");
}

// A written header reads back as the value it was written with.
void check_written_headers(std::int32_t value, int number) {
    char text[HEADER_TEXT_SIZE];
    std::size_t size = VER210_LAYOUT.write(value, number, text);
    check(size < HEADER_TEXT_SIZE && text[size - 1] == '\n', "VER210 header fits, LF-ended");
    std::int32_t read = 0;
    check(VER210_LAYOUT.read_line(0, {text, size}, &read) && read == value, "VER210 read back");

    size = VER200_LAYOUT.write(value, number, text);
    check(size < HEADER_TEXT_SIZE && text[size - 1] == '\n', "VER200 header fits, LF-ended");
    std::string_view written(text, size);
    std::size_t first_end = written.find('\n') + 1;
    check(VER200_LAYOUT.read_line(0, written.substr(0, first_end), &read), "VER200 line 1 back");
    check(VER200_LAYOUT.read_line(1, written.substr(first_end), &read) && read == value,
          "VER200 line 2 back");
}

constexpr std::size_t CAPACITIES[] = {1, 2, 3, 5, 16, 64, 1024, 4096, 65536};
constexpr int LINES_READ = 3;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t capacity = CAPACITIES[data[2] % (sizeof CAPACITIES / sizeof CAPACITIES[0])];
    // Half the inputs read from a source that fails part-way.
    const std::size_t fail_at = data[3] & 0x80 ? (data[3] & 0x7F) * 7u : SIZE_MAX;
    std::string_view raw(reinterpret_cast<const char*>(data) + 4, size - 4);
    const std::vector<TextChar> text = decode_text(raw);

    PlannedSource source{raw, plan_from(data), fail_at, 0};
    std::vector<char> buffer(capacity);
    TextReader reader = make_reader({read_planned, &source}, buffer.data(), capacity);
    std::size_t next = 0; // the next character of the text to be read
    for (int index = 0; index < LINES_READ; ++index) {
        char line[LINE_BUFFER_SIZE];
        std::size_t length = 0;
        ReadStatus status = read_header_line(reader, line, &length);
        if (status == ReadStatus::error) {
            check(fail_at != SIZE_MAX, "an error only where the source failed");
            return 0;
        }
        // The reference line: up to its LF or the end of the text, of which
        // the first LINE_BUFFER_SIZE - 1 characters are kept.
        std::size_t line_end = next;
        while (line_end < text.size() && text[line_end].c != '\n')
            ++line_end;
        if (line_end < text.size()) ++line_end;
        std::string expected;
        for (std::size_t i = next; i < line_end && expected.size() < LINE_BUFFER_SIZE - 1; ++i)
            expected += text[i].c;
        check(status == (expected.empty() ? ReadStatus::end : ReadStatus::line),
              "line or end as the whole-buffer rules say");
        check(std::string_view(line, length) == expected, "line as the whole-buffer rules say");
        if (status == ReadStatus::end) break;
        next = line_end;
        check_number_readers({line, length});
    }

    // What is left for the body is the raw bytes after the last line read.
    if (!reader.text_ended) {
        std::size_t raw_next = next == 0 ? 0 : text[next - 1].raw_end;
        std::string rest(reader.buffer + reader.pos, reader.len - reader.pos);
        rest += raw.substr(source.pos);
        check(rest == raw.substr(raw_next), "the body starts right after the header");
    }

    std::int32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    check_written_headers(value, data[2] % FILE_COUNT);
    return 0;
}
