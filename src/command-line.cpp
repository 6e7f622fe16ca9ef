#include "command-line.h"

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Copies the program's name from `*line` to `*out`: quotes toggle a quoted
// stretch and are dropped, nothing else is special.
void read_program_name(const char** line, char** out) {
    const char* in = *line;
    bool quoted = false;
    for (; *in != '\0' && (quoted || !is_blank(*in)); ++in) {
        if (*in == '"')
            quoted = !quoted;
        else
            *(*out)++ = *in;
    }
    *line = in;
}

void put_backslashes(std::size_t count, char** out) {
    for (; count > 0; --count)
        *(*out)++ = '\\';
}

// Copies one argument from `*line` to `*out` by the quoting and backslash
// rules, and leaves `*line` at the blank or NUL that ends it.
void read_argument(const char** line, char** out) {
    const char* in = *line;
    bool quoted = false;
    for (;;) {
        std::size_t backslashes = 0;
        for (; *in == '\\'; ++in)
            ++backslashes;
        if (*in == '"') {
            put_backslashes(backslashes / 2, out);
            if (backslashes % 2 == 1) {
                *(*out)++ = '"';
            } else if (quoted && in[1] == '"') {
                *(*out)++ = '"';
                ++in;
            } else {
                quoted = !quoted;
            }
            ++in;
            continue;
        }
        put_backslashes(backslashes, out);
        if (*in == '\0' || (!quoted && is_blank(*in))) break;
        *(*out)++ = *in++;
    }
    *line = in;
}

} // namespace

std::size_t split_command_line(const char* line, char* text, const char** args,
                               std::size_t max_args) {
    std::size_t count = 0;
    char* out = text;
    for (;;) {
        if (count < max_args) args[count] = out;
        if (count == 0)
            read_program_name(&line, &out);
        else
            read_argument(&line, &out);
        *out++ = '\0';
        ++count;
        while (is_blank(*line))
            ++line;
        if (*line == '\0') return count;
    }
}
