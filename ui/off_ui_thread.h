#pragma once
// Runs a blocking exchange with a module on a thread of its own while the
// user-interface thread goes on repainting and running its timers (timer 1,
// the BOOTP indicator), so that a module that stops answering does not
// freeze the window for the Modbus client's bound. User input waits until
// the exchange is done, so no command can start meanwhile.
#include <QString>
#include <functional>

class QWidget;

namespace plinth {

void RunOffUiThread(const std::function<void()>& work);

// As RunOffUiThread, and the user sees it: a busy cursor at once and, when
// the work is not done after kProgressDelayMs, a progress window titled
// title (over parent) whose Cancel, Escape or closing calls cancel, which
// must end the work soon; the window then waits for it without input.
// False when it was cancelled.
inline constexpr int kProgressDelayMs = 400;
bool RunOffUiThreadShown(const std::function<void()>& work, const std::function<void()>& cancel,
                         const QString& title, QWidget* parent);

}  // namespace plinth
