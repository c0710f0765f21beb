// libFuzzer target: arbitrary bytes through pipwerk::odds with a small work
// budget, so every input is quick. A violation traps, so libFuzzer keeps the
// input as a crash.
//
//  - odds parses as roll does: the same consumed text and tail.
//  - Every distribution lists distinct values in ascending order (a NaN
//    last, no -0.0), each with a probability in (0, 1]; with the errors each
//    element's outcomes add up to 1.
//  - Errors have distinct messages, most likely first; a certain error or a
//    refusal carries a message, and a refusal says what is too large.
//  - When every draw sequence of the input is few enough to walk, the real
//    evaluator run on each of them gives the same law.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "odds_brute_force.hpp"
#include "pipwerk/odds.hpp"
#include "parser/parser.hpp"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

bool close(double got, long double want, long double tolerance) {
    return std::fabs(static_cast<long double>(got) - want) <= tolerance * want + 1e-300L;
}

void check_against_brute_force(std::string_view text, const pipwerk::OddsResult<pipwerk::Odds>& got) {
    const auto truth = pipwerk_test::brute_force(text, 3000);
    if (!truth) return;
    if (!got) {
        if (got.error().kind == pipwerk::OddsError::Kind::TooLarge) return;
        check(truth->elements.empty() && truth->errors.size() == 1);
        check(truth->errors.begin()->first == got.error().message);
        return;
    }
    check(got->errors.size() == truth->errors.size());
    for (const auto& e : got->errors) {
        const auto it = truth->errors.find(e.message);
        check(it != truth->errors.end() && close(e.probability, it->second, 1e-10L));
    }
    if (truth->elements.empty()) return;
    check(got->is_set == truth->is_set && got->elements.size() == truth->elements.size());
    for (std::size_t i = 0; i < truth->elements.size(); ++i) {
        const auto& d = got->elements[i];
        const bool has_nan = truth->nan_chance[i] > 0;
        check(d.size() == truth->elements[i].size() + (has_nan ? 1 : 0));
        std::size_t k = 0;
        for (const auto& [v, p] : truth->elements[i]) {
            check(d[k].value == v && close(d[k].probability, p, 1e-10L));
            ++k;
        }
        if (has_nan) check(std::isnan(d[k].value) && close(d[k].probability, truth->nan_chance[i], 1e-10L));
    }
}

}  // namespace

// A contest between the two halves of the input (cut at its first ';', or
// the whole input against itself): the five chances add up to 1, and the
// two sides swapped swap greater and less.
void check_compare(std::string_view text) {
    const std::size_t cut = text.find(';');
    const std::string_view a = text.substr(0, cut);
    const std::string_view b = cut == std::string_view::npos ? text : text.substr(cut + 1);
    const pipwerk::OddsOptions options{.work_budget = 2'000'000};
    const auto got = pipwerk::compare(a, b, options);
    const auto swapped = pipwerk::compare(b, a, options);
    check(got.has_value() == swapped.has_value());
    if (!got) {
        check(got.error().kind != pipwerk::OddsError::Kind::Certain && !got.error().message.empty());
        return;
    }
    for (const double p : {got->greater, got->equal, got->less, got->failure, got->unordered}) check(p >= 0 && p <= 1);
    check(std::fabs(got->greater + got->equal + got->less + got->failure + got->unordered - 1.0) <= 1e-9);
    check(got->greater == swapped->less && got->less == swapped->greater);
    check(std::fabs(got->equal - swapped->equal) <= 1e-12);
    if (a == b) check(std::fabs(got->greater - got->less) <= 1e-12);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const pipwerk::OddsResult<pipwerk::Odds> got = pipwerk::odds(text, pipwerk::OddsOptions{.work_budget = 2'000'000});
    const pipwerk::ParseOutcome parsed = pipwerk::Parser::parse(text);
    if (!got) {
        check(parsed.success() && !got.error().message.empty());
        if (got.error().kind == pipwerk::OddsError::Kind::TooLarge) {
            check(got.error().message.starts_with("too large for exact odds: "));
        }
    } else {
        check(got->tail == parsed.tail && got->parsed == parsed.success());
        check(got->consumed == (parsed.success() ? parsed.consumed : std::string_view()));
        long double error_total = 0;
        for (std::size_t i = 0; i < got->errors.size(); ++i) {
            const auto& e = got->errors[i];
            check(!e.message.empty() && e.probability > 0 && e.probability <= 1);
            if (i > 0) check(got->errors[i - 1].probability >= e.probability && got->errors[i - 1].message != e.message);
            error_total += e.probability;
        }
        for (const pipwerk::Distribution& d : got->elements) {
            long double total = error_total;
            for (std::size_t k = 0; k < d.size(); ++k) {
                check(d[k].probability > 0 && d[k].probability <= 1);
                check(!(d[k].value == 0.0 && std::signbit(d[k].value)));
                if (k > 0) check(std::isnan(d[k].value) ? !std::isnan(d[k - 1].value) : d[k - 1].value < d[k].value);
                total += d[k].probability;
            }
            if (!d.empty()) check(std::fabs(static_cast<double>(total) - 1.0) <= 1e-9);
        }
    }
    if (size <= 64) check_against_brute_force(text, got);
    check_compare(text);
    return 0;
}
