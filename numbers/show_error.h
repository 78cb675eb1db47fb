// ShowError: the one way the system reports a malformed input or a run
// report to the user. The program installs the handler that shows it (a
// modal dialog in the windows, standard error in the runner, a recorder in
// tests); callers never know which.
#pragma once

#include <functional>
#include <string_view>

namespace kovar {

using ErrorHandler = std::function<void(std::string_view message)>;

// Shows the message and returns once the user has acknowledged it.
void ShowError(std::string_view message);

// Installs a handler and returns the one it replaces. An empty handler
// restores the default, which writes the message to standard error.
ErrorHandler SetErrorHandler(ErrorHandler handler);

} // namespace kovar
