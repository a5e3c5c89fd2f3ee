#pragma once

#include <functional>

// When its connection to the display server breaks, Qt ends the process at once (its Wayland
// plugin with _exit(1), its X11 one with exit(1)), right after a warning that says so, on whichever
// of its threads found the loss. This turns that warning into a call of the program's own, made
// once, in place of that end, on the program's own thread, with nothing left to draw on. The call
// may end the process itself; when it returns, the process ends as Qt meant it to (status 1).
namespace display_loss {

// What to do instead; replaces the call set before. Qt's messages still reach the handler that
// printed them before, the warning of the loss first.
void onLoss(std::function<void()> call);

}  // namespace display_loss
