#pragma once

// Ground truth for the odds engine: the real evaluator run once for every
// sequence of draws, each sequence weighted by the product of 1/faces.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipwerk/eval.hpp"
#include "pipwerk/parser/parser.hpp"
#include "pipwerk/rng.hpp"
#include "pipwerk/small_vector.hpp"
#include "pipwerk/text_buffer.hpp"

namespace pipwerk_test {

// Walks every sequence of draws like an odometer: each run replays the
// current prefix and takes the lowest face for any draw past it; next()
// turns the last wheel that can still turn and drops the ones after it.
// Sequences differ in length (bonus dice), so the wheels are only those a
// run actually used.
class OdometerRng final : public pipwerk::Rng {
public:
    std::int32_t rand_range(std::int32_t lo, std::int32_t hi) noexcept override {
        if (lo >= hi) return lo;
        if (used_ == wheels_.size()) wheels_.push_back(Wheel{lo, lo, hi});
        return wheels_[used_++].value;
    }

    // The weight of the sequence just run.
    [[nodiscard]] double weight() const {
        double w = 1.0;
        for (std::size_t i = 0; i < used_; ++i) w /= static_cast<double>(wheels_[i].hi - wheels_[i].lo + 1);
        return w;
    }

    // Moves to the next sequence; false when every sequence has been run.
    bool next() {
        wheels_.resize(used_);
        used_ = 0;
        while (!wheels_.empty()) {
            Wheel& last = wheels_.back();
            if (last.value < last.hi) {
                ++last.value;
                return true;
            }
            wheels_.pop_back();
        }
        return false;
    }

private:
    struct Wheel {
        std::int32_t value;
        std::int32_t lo;
        std::int32_t hi;
    };
    std::vector<Wheel> wheels_;
    std::size_t used_ = 0;
};

// The exact law of what roll returns, summed in long double.
struct BruteOdds {
    bool is_set = false;
    // Per element: value (0.0 for -0.0; NaN kept apart) to probability.
    std::vector<std::map<double, long double>> elements;
    std::vector<long double> nan_chance;
    std::map<std::string, long double> errors;
    std::size_t sequences = 0;
};

// Runs the evaluator on every draw sequence; nothing when more than
// max_sequences would be needed, or when nothing parses.
inline std::optional<BruteOdds> brute_force(std::string_view expression, std::size_t max_sequences = 400000) {
    const pipwerk::ParseOutcome parsed = pipwerk::Parser::parse(expression);
    if (!parsed.expression) return std::nullopt;
    BruteOdds out;
    OdometerRng rng;
    do {
        if (++out.sequences > max_sequences) return std::nullopt;
        pipwerk::TextBuffer detail;
        pipwerk::SmallVector<pipwerk::Number, 8> numbers;
        const pipwerk::Result<bool> is_set = pipwerk::evaluate_into(parsed.ast, *parsed.expression, rng, detail, numbers);
        const long double w = rng.weight();
        if (!is_set) {
            out.errors[is_set.error().message()] += w;
            continue;
        }
        out.is_set = *is_set;
        if (out.elements.size() < numbers.size()) {
            out.elements.resize(numbers.size());
            out.nan_chance.resize(numbers.size());
        }
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            double v = numbers[i].to_double();
            if (std::isnan(v)) {
                out.nan_chance[i] += w;
                continue;
            }
            if (v == 0.0) v = 0.0;
            out.elements[i][v] += w;
        }
    } while (rng.next());
    return out;
}

}  // namespace pipwerk_test
