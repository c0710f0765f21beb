// Many seeded rolls' values for JavaScript, filled a stretch at a time into a
// buffer the package copies out, so a large sample never doubles in wasm memory.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "exchange.hpp"
#include "pipwerk/sample.hpp"

using namespace pipwerk;
using namespace pipwerk::wasm;

namespace {

std::string expression;  // the sampler reads it for its whole life
std::optional<Sampler> sampler;
std::vector<double> rows;

}  // namespace

// Parses the first `length` bytes of the input for the rows to come; kParsed
// in the flags when something parsed.
PIPWERK_EXPORT("pw_sample_start") std::int32_t pw_sample_start(std::uint32_t length) {
    sampler.reset();
    expression.assign(input(length));
    const Sampler& parsed = sampler.emplace(expression);
    exchange().words[kFlags] = parsed.parsed() ? kParsed : 0u;
    return kOk;
}

// The values of the row seeded `seed`: their count is every row's width.
PIPWERK_EXPORT("pw_sample_row") std::int32_t pw_sample_row(std::uint32_t seed_low, std::uint32_t seed_high) {
    const Result<void> done = sampler->roll_row(seed_of(seed_low, seed_high), rows);
    if (!done) return fail(kEngineError, done.error().message());
    set_doubles(rows.data(), rows.size());
    return kOk;
}

// `count` rows of `width` values seeded first, first + 1, ... (mod 2^64).
PIPWERK_EXPORT("pw_sample_fill") std::int32_t pw_sample_fill(std::uint32_t first_low, std::uint32_t first_high,
                                                             std::uint32_t width, std::uint32_t count) {
    rows.resize(std::size_t{width} * count);
    const Result<void> done = sampler->fill(seed_of(first_low, first_high), width, rows);
    if (!done) return fail(kEngineError, done.error().message());
    set_doubles(rows.data(), rows.size());
    return kOk;
}

// The most values one sample holds.
PIPWERK_EXPORT("pw_max_sample_values") double pw_max_sample_values() { return static_cast<double>(Sampler::max_values); }
