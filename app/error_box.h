#pragma once

#include <QString>
#include <exception>
#include <string>
#include <utility>

namespace korvista {

// The text the error box shows for a message: a full stop is added when the message is not empty and
// its last character comes after "." in the character order.
QString ErrorBoxText(const std::string& message);

// Shows the error in the error box (stop icon, one OK, the application title as caption);
// korvista::Abort is silent.
void ShowErrorBox(std::exception_ptr error);

// Number of guarded handlers running right now, the error box included; idle updates wait for zero.
int HandlerDepth();

class HandlerScope {
public:
    HandlerScope();
    ~HandlerScope();
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
};

// Runs a handler that Qt calls into; whatever escapes it goes to the error box and the loop goes on.
template <class F> void Guarded(F&& handler) {
    HandlerScope scope;
    try {
        std::forward<F>(handler)();
    } catch (...) {
        ShowErrorBox(std::current_exception());
    }
}

} // namespace korvista
