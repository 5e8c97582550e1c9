#pragma once

#include <exception>
#include <functional>

// The one place where an exception that escaped an event handler ends: its message is shown in
// an error box and the program goes on. Handlers reached from Qt's event dispatch run through
// Guarded, so that no exception ever crosses Qt's own frames.
void ReportEscapedException(std::exception_ptr e);

template <typename F>
void Guarded(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        ReportEscapedException(std::current_exception());
    }
}
