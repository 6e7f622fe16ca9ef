#include "console.h"

#include "platform.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char LINE_END[] = "\r\n";

char output_block[CONSOLE_BLOCK_SIZE];
std::size_t output_used = 0;

void append_output(const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t n = std::min(size, CONSOLE_BLOCK_SIZE - output_used);
        std::memcpy(output_block + output_used, data, n);
        output_used += n;
        data += n;
        size -= n;
        if (output_used == CONSOLE_BLOCK_SIZE) flush_output();
    }
}

} // namespace

void print_line(const char* text) {
    append_output(text, std::strlen(text));
    append_output(LINE_END, 2);
    static const bool terminal = is_terminal(Stream::output);
    if (terminal) flush_output();
}

void print_error_line(const char* name, const char* text) {
    char line[256];
    std::size_t used = 0;
    for (const char* part : {name, ": ", text, LINE_END}) {
        std::size_t n = std::min(std::strlen(part), sizeof line - used);
        std::memcpy(line + used, part, n);
        used += n;
    }
    write_stream(Stream::error, line, used);
}

void flush_output() {
    write_stream(Stream::output, output_block, output_used);
    output_used = 0;
}
