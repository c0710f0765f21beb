#pragma once

// A plain evaluator written straight from the language's rules, one string
// per set element, recursion over the tree. It is slow and obviously
// correct; the tests and the fuzzer check the product's evaluator against it.

#include <string>
#include <vector>

#include "pipwerk/error.hpp"
#include "number.hpp"
#include "parser/ast.hpp"
#include "rng.hpp"

namespace pipwerk::reference {

struct Element {
    Number value;
    std::string detail;
};

// A scalar is one element; a set any number of them.
struct Value {
    bool is_set = false;
    std::vector<Element> elements;

    [[nodiscard]] std::string detail() const;
    [[nodiscard]] std::string summary() const;
    [[nodiscard]] std::string full() const;
};

[[nodiscard]] Result<Value> evaluate(const Ast& ast, ExprId root, Rng& rng);

}  // namespace pipwerk::reference
