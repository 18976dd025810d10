#pragma once

#include <QString>
#include <functional>
#include <utility>

/// Where an error that no handler caught ends: the application's error hook.
///
/// Qt calls our slots from its own frames, and it builds those without exception cleanup: an
/// exception that unwound through them would skip their destructors, leaking the events and
/// guards on their stack and leaving their state half changed. So a slot whose handler may throw
/// is connected through guarded(), which stops the exception at the slot and hands its message
/// to the hook; the application's event dispatch does the same for event handlers.
namespace uncaught {

using Hook = std::function<void(const QString& message)>;

/// Replaces the hook; an empty one, as at the start, logs the message as a warning instead.
void setHook(Hook hook);

/// Hands a message to the hook as if an uncaught error had carried it.
void report(const QString& message);

/// Runs handler; the message of an AppError or std::exception it throws goes to report().
void run(const std::function<void()>& handler);

/// handler as a slot that never throws into Qt:
/// connect(button, &QPushButton::clicked, this, uncaught::guarded([this] { SendClick(); })).
template <class F>
auto guarded(F handler) {
    return [handler = std::move(handler)] {
        run(handler);
    };
}

} // namespace uncaught
