#pragma once

#include <Python.h>

namespace pipwerk::python {

// Lets other threads run while the engine works on data no Python code can
// reach; the lock is taken back at scope exit, also when an exception leaves
// the scope, so the exception boundary always runs with the lock held.
class GilRelease {
public:
    GilRelease() noexcept : state_(PyEval_SaveThread()) {}
    ~GilRelease() { PyEval_RestoreThread(state_); }
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;

private:
    PyThreadState* state_;
};

// What compute() returns, computed with the lock released: the result is
// made before the lock is taken back, so it must hold no Python object.
template <class Compute>
[[nodiscard]] auto without_gil(Compute&& compute) {
    GilRelease unlocked;
    return compute();
}

}  // namespace pipwerk::python
