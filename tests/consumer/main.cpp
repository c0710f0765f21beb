// Rolls through the installed public header alone and checks what comes back;
// exits 1 on any difference.
#include <cstdio>
#include <string>

#include <pipwerk/pipwerk.hpp>

namespace {

int failures = 0;

void expect(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "consumer: %s\n", what.c_str());
    ++failures;
}

}  // namespace

int main() {
    const auto rolled = pipwerk::roll("3#4d6k3 + 1 and more", {.seed = 42, .show_detail = true});
    expect(rolled.has_value(), "3#4d6k3 + 1 failed");
    if (rolled) {
        expect(rolled->consumed == "3#4d6k3 + 1" && rolled->tail == "and more", "split: " + rolled->consumed);
        expect(rolled->is_set && rolled->values.size() == 3, "not a set of three: " + rolled->summary);
        expect(rolled->full == rolled->detail + " = " + rolled->summary, "full: " + rolled->full);
    }
    const auto failed = pipwerk::roll("60d6", {});
    expect(!failed && failed.error().message() == "dice count exceeds maximum (60), max is 50", "60d6 did not fail");
    std::printf("%s\n", rolled ? rolled->full.c_str() : "");
    return failures == 0 ? 0 : 1;
}
