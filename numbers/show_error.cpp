#include "show_error.h"

#include <cstdio>
#include <string>
#include <utility>

namespace kovar {
namespace {

void writeToStderr(std::string_view message) {
    std::string line(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

ErrorHandler& handler() {
    static ErrorHandler current = writeToStderr;
    return current;
}

} // namespace

void ShowError(std::string_view message) {
    // Copy first: the handler may install another one while it runs.
    ErrorHandler h = handler();
    h(message);
}

ErrorHandler SetErrorHandler(ErrorHandler next) {
    if (!next)
        next = writeToStderr;
    return std::exchange(handler(), std::move(next));
}

} // namespace kovar
