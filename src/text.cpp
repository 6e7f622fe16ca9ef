#include "text.h"

#include <cstring>

namespace {

constexpr int TEXT_END = -1;
constexpr int READ_ERROR = -2;

bool refill(TextReader& reader) {
    if (reader.text_ended || reader.failed) return false;
    long got = reader.source.read(reader.source.context, reader.buffer, reader.capacity);
    reader.pos = 0;
    reader.len = got > 0 ? static_cast<std::size_t>(got) : 0;
    reader.failed = got < 0;
    reader.text_ended = got == 0;
    return got > 0;
}

int peek_raw(TextReader& reader) {
    if (reader.pos == reader.len && !refill(reader)) return reader.failed ? READ_ERROR : TEXT_END;
    return static_cast<unsigned char>(reader.buffer[reader.pos]);
}

// The next character of text after the line-end and Ctrl-Z rules.
int next_char(TextReader& reader) {
    if (reader.text_ended) return TEXT_END;
    int c = peek_raw(reader);
    if (c < 0) return c;
    ++reader.pos;
    if (c == CTRL_Z) {
        reader.text_ended = true;
        return TEXT_END;
    }
    if (c == '\r') {
        int next = peek_raw(reader);
        if (next == READ_ERROR) return READ_ERROR;
        if (next == '\n') {
            ++reader.pos;
            return '\n';
        }
    }
    return c;
}

} // namespace

TextReader make_reader(ByteSource source, char* buffer, std::size_t capacity) {
    return TextReader{source, buffer, capacity, 0, 0, false, false};
}

ReadStatus read_header_line(TextReader& reader, char (&line)[LINE_BUFFER_SIZE],
                            std::size_t* length) {
    std::size_t n = 0;
    int c = 0;
    while (n < LINE_BUFFER_SIZE - 1 && c != '\n') {
        c = next_char(reader);
        if (c < 0) break;
        line[n++] = static_cast<char>(c);
    }
    while (c >= 0 && c != '\n')
        c = next_char(reader);
    *length = n;
    if (c == READ_ERROR) return ReadStatus::error;
    return n > 0 ? ReadStatus::line : ReadStatus::end;
}

std::size_t encode_text(const char* text, std::size_t size, char* out) {
    char* o = out;
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '\n') *o++ = '\r';
        *o++ = text[i];
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t convert_body(BodyState& state, const char* in, std::size_t size, char* out) {
    if (state.ended || size == 0) return 0;
    if (const void* stop = std::memchr(in, CTRL_Z, size)) {
        size = static_cast<std::size_t>(static_cast<const char*>(stop) - in);
        state.ended = true;
    }
    const char* p = in;
    const char* end = in + size;
    char* o = out;
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* run_end = lf ? lf : end;
        std::memcpy(o, p, run_end - p);
        o += run_end - p;
        if (!lf) break;
        bool cr_before = lf > in ? lf[-1] == '\r' : state.after_cr;
        if (!cr_before) *o++ = '\r';
        *o++ = '\n';
        p = lf + 1;
    }
    if (size > 0) state.after_cr = in[size - 1] == '\r';
    return static_cast<std::size_t>(o - out);
}
