#include "text.h"

#include <bit>
#include <cstring>

// SSE2 is part of every x86-64 processor; other targets scan byte by byte.
#if defined(__SSE2__) || defined(_M_X64)
#define VRXPORT_SSE2 1
#include <emmintrin.h>
#endif

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

// A byte the body converter must act on: a LF not preceded by a CR, which
// gains one, or a Ctrl-Z, which ends the text.
bool is_special(char c, char before) {
    return c == CTRL_Z || (c == '\n' && before != '\r');
}

#ifdef VRXPORT_SSE2
// 0xFF in every lane of the 16 bytes at `p` that is special; p[-1] must be
// readable, as the byte before the first.
__m128i special_lanes(const char* p) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
    const __m128i lf = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'));
    const __m128i cr_before = _mm_cmpeq_epi8(before, _mm_set1_epi8('\r'));
    const __m128i ctrl_z = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(CTRL_Z));
    return _mm_or_si128(_mm_andnot_si128(cr_before, lf), ctrl_z);
}

unsigned special_bits(const char* p) {
    return static_cast<unsigned>(_mm_movemask_epi8(special_lanes(p)));
}
#endif

// The offset of the first special byte in `in`, or `size` when there is none.
std::size_t find_special(const char* in, std::size_t size, bool after_cr) {
    if (size == 0) return 0;
    if (is_special(in[0], after_cr ? '\r' : '\0')) return 0;
    std::size_t i = 1;
#ifdef VRXPORT_SSE2
    // Clean text is the common case: test 64 bytes at a time, then find the
    // exact place 16 bytes at a time.
    while (size - i >= 64) {
        const __m128i any =
            _mm_or_si128(_mm_or_si128(special_lanes(in + i), special_lanes(in + i + 16)),
                         _mm_or_si128(special_lanes(in + i + 32), special_lanes(in + i + 48)));
        if (_mm_movemask_epi8(any) != 0) break;
        i += 64;
    }
    while (size - i >= 16) {
        if (unsigned bits = special_bits(in + i)) return i + std::countr_zero(bits);
        i += 16;
    }
#endif
    for (; i < size; ++i)
        if (is_special(in[i], in[i - 1])) return i;
    return size;
}

// Copies the bytes from in[done] up to the next special byte or the end to
// `o` and advances it; returns the offset where the copy stopped. in[done - 1]
// is a LF that has been dealt with. Writes at most 2 * (size - done) bytes.
std::size_t copy_run(const char* in, std::size_t done, std::size_t size, char*& o) {
#ifdef VRXPORT_SSE2
    // Short lines are the rule here: 16 bytes are stored at a time and only
    // those before a special byte are kept, the rest being overwritten next.
    // Every input byte makes at most two output bytes, so storing 16 stays
    // within the output while 16 bytes of input are left.
    while (size - done >= 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done)));
        if (unsigned bits = special_bits(in + done)) {
            o += std::countr_zero(bits);
            return done + std::countr_zero(bits);
        }
        o += 16;
        done += 16;
    }
#endif
    std::size_t special = done + find_special(in + done, size - done, in[done - 1] == '\r');
    std::memcpy(o, in + done, special - done);
    o += special - done;
    return special;
}

// Records where a block left the text: ended at a Ctrl-Z at `done`, or
// converted whole, in which case its last byte matters for the next block.
void note_block_end(BodyState& state, const char* in, std::size_t done, std::size_t size) {
    if (done < size)
        state.ended = true;
    else
        state.after_cr = in[size - 1] == '\r';
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

BodyChunk convert_body(BodyState& state, const char* in, std::size_t size, char* out) {
    if (state.ended || size == 0) return {in, 0};
    std::size_t done = find_special(in, size, state.after_cr);
    if (done == size || in[done] == CTRL_Z) {
        note_block_end(state, in, done, size);
        return {in, done};
    }
    // A bare LF: from here on the output differs from the input, so it is
    // built in `out`.
    std::memcpy(out, in, done);
    char* o = out + done;
    while (done < size && in[done] != CTRL_Z) {
        *o++ = '\r';
        *o++ = '\n';
        ++done;
        // A run of empty lines needs no search for where each ends.
        if (done < size && in[done] != '\n') done = copy_run(in, done, size, o);
    }
    note_block_end(state, in, done, size);
    return {out, static_cast<std::size_t>(o - out)};
}
