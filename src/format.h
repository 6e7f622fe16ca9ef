// The data file format: which files form a set, their names, how header
// numbers are read and written, and the two header layouts. Pure code: no
// file is touched here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr int FILE_COUNT = 225;
inline constexpr char NAME_PATTERN[] = "vuro%03d.vrx";
inline constexpr char TEMP_FILE_NAME[] = "temp.vrx";
inline constexpr std::size_t LINE_BUFFER_SIZE = 1024;
inline constexpr std::size_t NAME_BUFFER_SIZE = 12;

// A header, written as text with LF line ends, never needs more than this.
inline constexpr std::size_t HEADER_TEXT_SIZE = 48;

// Builds the name of data file `number` (0 to FILE_COUNT - 1).
void data_file_name(int number, char (&name)[NAME_BUFFER_SIZE]);

// The leading integer of a line: white space, an optional sign directly
// followed by digits, anything after them ignored; 0 when there is no digit.
// False when the number does not fit in 32 bits.
bool read_leading_integer(std::string_view line, std::int32_t* value);

// Two integers at the start of a line, each with optional white space and
// sign and at least one digit. False when either is missing or too large.
bool read_two_integers(std::string_view line, std::int32_t* first, std::int32_t* second);

// One header layout: how its lines are tested and how it is written.
struct HeaderLayout {
    int line_count;
    // Tests header line `index`; the line that carries the header value stores
    // it. False when the file is not in this layout.
    bool (*read_line)(int index, std::string_view line, std::int32_t* value);
    // Writes the whole header for `value` and file `number` as LF-ended text
    // into `text` (HEADER_TEXT_SIZE bytes) and returns its length.
    std::size_t (*write)(std::int32_t value, int number, char* text);
};

extern const HeaderLayout VER200_LAYOUT;
extern const HeaderLayout VER210_LAYOUT;
