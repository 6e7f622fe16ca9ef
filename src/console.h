// Console output. Every line ends in CR LF. Standard output is written
// through on a terminal and in blocks of CONSOLE_BLOCK_SIZE bytes otherwise;
// the error line is written at once, in one piece.
#pragma once

#include <cstddef>

inline constexpr std::size_t CONSOLE_BLOCK_SIZE = 4096;

void print_line(const char* text);
void print_error_line(const char* name, const char* text);

// Writes out whatever standard output still holds.
void flush_output();
