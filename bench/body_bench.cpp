// Throughput of the body converter on the kinds of text data files hold,
// converted in blocks of the size the passes read. Bytes per second count
// input bytes.
#include "convert.h"
#include "text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// About a megabyte: more than the caches closest to the core, as a file's
// blocks are when they arrive, but small enough to stay in the last level.
constexpr std::size_t TEXT_SIZE = 1 << 20;

constexpr char WORDS[] = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do ";

// Lines of `line_length` bytes including the line end `line_end`; when
// `lone_cr` is set, each line also holds a CR in its middle.
std::string make_text(std::size_t line_length, const std::string& line_end, bool lone_cr) {
    std::string text;
    std::size_t word = 0;
    while (text.size() < TEXT_SIZE) {
        std::size_t chars = line_length - line_end.size();
        for (std::size_t i = 0; i < chars; ++i)
            text += WORDS[word++ % (sizeof WORDS - 1)];
        if (lone_cr && chars > 0) text[text.size() - chars / 2] = '\r';
        text += line_end;
    }
    text.resize(TEXT_SIZE);
    return text;
}

void convert_text(benchmark::State& state, std::size_t line_length, const std::string& line_end,
                  bool lone_cr) {
    const std::string text = make_text(line_length, line_end, lone_cr);
    std::vector<char> out(2 * READ_BLOCK_SIZE);
    for (auto _ : state) {
        BodyState body{false, false};
        for (std::size_t pos = 0; pos < text.size(); pos += READ_BLOCK_SIZE) {
            std::size_t size = std::min(READ_BLOCK_SIZE, text.size() - pos);
            BodyChunk chunk = convert_body(body, text.data() + pos, size, out.data());
            benchmark::DoNotOptimize(chunk);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// For scale: copying the same blocks, which a converter that had to copy
// every block could not beat.
void copy_text(benchmark::State& state) {
    const std::string text = make_text(64, "\r\n", false);
    std::vector<char> out(2 * READ_BLOCK_SIZE);
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < text.size(); pos += READ_BLOCK_SIZE) {
            std::size_t size = std::min(READ_BLOCK_SIZE, text.size() - pos);
            std::memcpy(out.data(), text.data() + pos, size);
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

const std::string CRLF = "\r\n";
const std::string LF = "\n";
// Alternating line ends: every block has to be rebuilt.
const std::string MIXED = "\r\n" + std::string(62, 'x') + "\n";

} // namespace

BENCHMARK_CAPTURE(convert_text, crlf_clean_64, 64, CRLF, false);
BENCHMARK_CAPTURE(convert_text, bare_lf_64, 64, LF, false);
BENCHMARK_CAPTURE(convert_text, mixed_64, 128, MIXED, false);
BENCHMARK_CAPTURE(convert_text, lone_cr_crlf_64, 64, CRLF, true);
BENCHMARK_CAPTURE(convert_text, lone_cr_bare_lf_64, 64, LF, true);
BENCHMARK_CAPTURE(convert_text, long_lines_crlf_16k, 16384, CRLF, false);
BENCHMARK_CAPTURE(convert_text, long_lines_bare_lf_16k, 16384, LF, false);
BENCHMARK_CAPTURE(convert_text, empty_lines_bare_lf, 1, LF, false);

BENCHMARK(copy_text);

BENCHMARK_MAIN();
