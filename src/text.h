// The text-mode rules of the data files, over raw bytes, the same on every
// platform. Reading: CR LF and a lone LF are line ends, any other CR is an
// ordinary character, and Ctrl-Z ends the text for good. Writing: every LF
// becomes CR LF. Pure code: the bytes come from a source the caller supplies.
#pragma once

#include "format.h"

#include <cstddef>

inline constexpr char CTRL_Z = 0x1A;

// Where raw bytes come from: `read` fills up to `size` bytes and returns how
// many, 0 at the end of the file, or -1 when reading failed.
struct ByteSource {
    long (*read)(void* context, char* buffer, std::size_t size);
    void* context;
};

// Reads text from a source through a caller-owned buffer. After the header
// has been read, the unread bytes are buffer[pos, len).
struct TextReader {
    ByteSource source;
    char* buffer;
    std::size_t capacity;
    std::size_t pos;
    std::size_t len;
    bool text_ended; // Ctrl-Z or the end of the file was reached
    bool failed;     // the source reported an error
};

TextReader make_reader(ByteSource source, char* buffer, std::size_t capacity);

enum class ReadStatus { line, end, error };

// Reads one header line. A line is delivered in pieces of at most
// LINE_BUFFER_SIZE - 1 characters; of a longer line only the first piece is
// kept and the rest is consumed, so that it is neither taken for the next line
// nor left for the body. `line` keeps its LF where it had a line end.
ReadStatus read_header_line(TextReader& reader, char (&line)[LINE_BUFFER_SIZE],
                            std::size_t* length);

// Writes LF-ended text with CR LF line ends into `out` (2 * size bytes at most).
std::size_t encode_text(const char* text, std::size_t size, char* out);

// Converting a body reads and writes in one step: bytes are copied unchanged
// up to the first Ctrl-Z, and a LF that does not follow a CR gains one.
struct BodyState {
    bool after_cr; // the last byte seen was a CR
    bool ended;    // a Ctrl-Z has ended the text
};

// Converted bytes, ready to be written: either a prefix of the input itself,
// when nothing in it needed changing, or the start of the output buffer.
struct BodyChunk {
    const char* data;
    std::size_t size;
};

// Converts the next `size` raw bytes of a body. `out` must hold 2 * size bytes;
// it is left untouched when the input can be written as it stands (CR LF line
// ends throughout), which is the common case. Block boundaries never change
// the result.
BodyChunk convert_body(BodyState& state, const char* in, std::size_t size, char* out);
