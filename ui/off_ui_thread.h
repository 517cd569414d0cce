#pragma once
// Runs a blocking exchange with a module on a thread of its own while the
// user-interface thread goes on repainting and running its timers (timer 1,
// the BOOTP indicator), so that a module that stops answering does not
// freeze the window for the Modbus client's bound. User input waits until
// the exchange is done, so no command can start meanwhile.
#include <functional>

namespace plinth {

void RunOffUiThread(const std::function<void()>& work);

}  // namespace plinth
