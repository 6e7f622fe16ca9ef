#include "format.h"

#include <cstdio>

namespace {

constexpr std::int32_t VER200 = 200;
constexpr std::int32_t VER210 = 210;

// Exactly the six C-locale white space bytes; nothing from 0x80 up.
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

enum class Scan { number, no_digits, overflow };

// Reads one integer from `*pos`: white space, an optional sign that must be
// followed directly by a digit, then digits. Advances `*pos` past the digits.
Scan scan_integer(std::string_view line, std::size_t* pos, std::int32_t* value) {
    std::size_t i = *pos;
    while (i < line.size() && is_space(line[i]))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
    if (i == line.size() || !is_digit(line[i])) return Scan::no_digits;
    // One past INT32_MAX, so that the most negative value still fits.
    constexpr std::int64_t limit = std::int64_t{INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    bool overflow = false;
    for (; i < line.size() && is_digit(line[i]); ++i) {
        magnitude = magnitude * 10 + (line[i] - '0');
        if (magnitude > limit) {
            overflow = true;
            magnitude = limit + 1; // keep consuming digits without growing
        }
    }
    *pos = i;
    if (overflow || (!negative && magnitude == limit)) return Scan::overflow;
    *value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return Scan::number;
}

bool read_ver200_line(int index, std::string_view line, std::int32_t* value) {
    std::int32_t number = 0;
    if (!read_leading_integer(line, &number)) return false;
    if (index == 0) return number == VER200;
    *value = number;
    return true;
}

bool read_ver210_line(int, std::string_view line, std::int32_t* value) {
    std::int32_t version = 0;
    return read_two_integers(line, &version, value) && version == VER210;
}

std::size_t write_ver200(std::int32_t value, int, char* text) {
    return static_cast<std::size_t>(
        std::snprintf(text, HEADER_TEXT_SIZE, "%d\n%d\n", VER200, value));
}

std::size_t write_ver210(std::int32_t value, int number, char* text) {
    return static_cast<std::size_t>(
        std::snprintf(text, HEADER_TEXT_SIZE, "%d %d %d\n", VER210, value, number));
}

} // namespace

const HeaderLayout VER200_LAYOUT = {2, read_ver200_line, write_ver200};
const HeaderLayout VER210_LAYOUT = {1, read_ver210_line, write_ver210};

void data_file_name(int number, char (&name)[NAME_BUFFER_SIZE]) {
    std::snprintf(name, sizeof name, NAME_PATTERN, number);
}

bool read_leading_integer(std::string_view line, std::int32_t* value) {
    std::size_t pos = 0;
    *value = 0;
    return scan_integer(line, &pos, value) != Scan::overflow;
}

bool read_two_integers(std::string_view line, std::int32_t* first, std::int32_t* second) {
    std::size_t pos = 0;
    return scan_integer(line, &pos, first) == Scan::number &&
           scan_integer(line, &pos, second) == Scan::number;
}
