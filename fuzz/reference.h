// The text rules written the plain way, over a whole buffer at once, for the
// fuzzers to hold the block-wise code against. Slow and obvious on purpose.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Ends the run with a message, so that libFuzzer keeps the input that did it.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

// One character of text and where it ends in the raw bytes.
struct TextChar {
    char c;
    std::size_t raw_end;
};

// Reading: CR LF gives LF, a lone LF is LF, any other CR is a character, and
// Ctrl-Z ends the text; every other byte is itself.
inline std::vector<TextChar> decode_text(std::string_view raw) {
    std::vector<TextChar> text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == 0x1A) break;
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        text.push_back({raw[i], i + 1});
    }
    return text;
}

// Writing: every LF becomes CR LF.
inline std::string encode_text(const std::vector<TextChar>& text, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i].c == '\n') out += '\r';
        out += text[i].c;
    }
    return out;
}

// Block sizes drawn from a seed: each block is at most `largest` bytes, and
// may be empty. Deterministic, so that a saved input replays the same way.
struct BlockPlan {
    unsigned state;
    std::size_t largest;

    std::size_t next() {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % (largest + 1);
    }
};

inline constexpr std::size_t BLOCK_LIMITS[] = {1, 2, 3, 7, 16, 17, 64, 1000, 4096, 65536};

// Takes the first two bytes of a fuzz input as the block plan.
inline BlockPlan plan_from(const unsigned char* data) {
    std::size_t count = sizeof BLOCK_LIMITS / sizeof BLOCK_LIMITS[0];
    return BlockPlan{data[1] * 2654435761u + data[0], BLOCK_LIMITS[data[0] % count]};
}
