// Differential fuzzer for the body converter: the same bytes, cut into blocks
// of sizes drawn from the input, must come out exactly as the whole-buffer
// reading and writing rules give them.
#include "reference.h"
#include "text.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

namespace {

// The converted bytes of one block: a count of bytes written into `out`, or
// a span of its own that may point into the input when nothing had to change.
template <class Converted>
std::string_view converted_bytes(const Converted& result, const char* out) {
    if constexpr (std::is_integral_v<Converted>)
        return {out, result};
    else
        return {result.data, result.size};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    BlockPlan plan = plan_from(data);
    std::string_view body(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string expected = encode_text(decode_text(body));

    BodyState state{false, false};
    std::string got;
    std::size_t pos = 0;
    // A few blocks past the end: once the text has ended, nothing more comes.
    for (int blocks_after_end = 0; blocks_after_end < 3;) {
        std::size_t n = std::min(plan.next(), body.size() - pos);
        // Exactly the room the converter may use, so that ASan sees any overrun.
        std::vector<char> in(body.begin() + pos, body.begin() + pos + n);
        std::vector<char> out(2 * n);
        // An empty block still comes with valid pointers, as it does in the tool.
        char spare[1];
        std::string_view written = converted_bytes(
            convert_body(state, n ? in.data() : body.data() + pos, n, n ? out.data() : spare),
            out.data());
        check(written.size() <= out.size(), "output within twice the input");
        got += written;
        pos += n;
        if (pos == body.size()) ++blocks_after_end;
    }
    check(got == expected, "block-wise conversion equals the whole-buffer rules");
    return 0;
}
