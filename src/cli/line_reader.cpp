// The prompt's line reader. libedit is loaded at run time (dlopen) with the
// few functions of its readline interface declared here, so building needs no
// headers of it and the program runs where it is missing.
#include "line_reader.hpp"

#include <dlfcn.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace pipwerk::cli {
namespace {

// Set by Ctrl-C; the read that it interrupts gives up its line.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void on_interrupt(int /*signal*/) { interrupted = 1; }

struct sigaction previous_action{};

void catch_interrupts() {
    struct sigaction action{};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the blocked read returns, so the line can be dropped
    sigaction(SIGINT, &action, &previous_action);
}

bool line_editing_refused() {
    const char* value = std::getenv("PIPWERK_NO_LINE_EDITING");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

}  // namespace

struct LineReader::Editline {
    void* library = nullptr;
    char* (*readline)(const char*) = nullptr;
    int (*add_history)(const char*) = nullptr;
    void (*using_history)() = nullptr;
};

LineReader::LineReader() {
    catch_interrupts();
    if (line_editing_refused()) {
        plain_reason_ = "line editing is off (PIPWERK_NO_LINE_EDITING is set)";
        return;
    }
    void* library = dlopen("libedit.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        plain_reason_ = "no line editing: the system's libedit (libedit.so.2) is not installed";
        return;
    }
    auto editline = std::make_unique<Editline>();
    editline->library = library;
    editline->readline = reinterpret_cast<char* (*)(const char*)>(dlsym(library, "readline"));
    editline->add_history = reinterpret_cast<int (*)(const char*)>(dlsym(library, "add_history"));
    editline->using_history = reinterpret_cast<void (*)()>(dlsym(library, "using_history"));
    if (editline->readline == nullptr || editline->add_history == nullptr || editline->using_history == nullptr) {
        dlclose(library);
        plain_reason_ = "no line editing: libedit.so.2 lacks its readline functions";
        return;
    }
    // Multibyte characters are edited as characters only in the user's locale.
    std::setlocale(LC_CTYPE, "");
    editline->using_history();
    editline_ = editline.release();
}

LineReader::~LineReader() {
    sigaction(SIGINT, &previous_action, nullptr);
    // The library stays loaded: it may have registered handlers to run at exit.
    delete editline_;
}

LineReader::Read LineReader::read(const char* prompt) {
    interrupted = 0;
    if (editline_ == nullptr) return read_plain(prompt);
    const std::unique_ptr<char, decltype(&std::free)> line(editline_->readline(prompt), &std::free);
    if (interrupted != 0) return {Got::Cancelled, {}};
    if (!line) return {Got::End, {}};
    return {Got::Line, std::string(line.get())};
}

LineReader::Read LineReader::read_plain(const char* prompt) {
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    std::string line;
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && interrupted != 0) {
        std::clearerr(stdin);  // the read was interrupted, not ended
        return {Got::Cancelled, {}};
    }
    if (c == EOF && line.empty()) return {Got::End, {}};
    return {Got::Line, std::move(line)};
}

void LineReader::remember(std::string_view line) {
    if (editline_ == nullptr || last_remembered_ == line) return;
    last_remembered_.emplace(line);
    editline_->add_history(last_remembered_->c_str());
}

}  // namespace pipwerk::cli
