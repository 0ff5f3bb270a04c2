// How the program's frames are driven, and what the page a browser build
// runs in may ask of the game.
//
// Contract, for every back end:
//  - RunFrameLoop calls `frame` again and again until it returns false, then
//    `done`, whose result is the program's exit code.
//  - PublishStatus registers a function describing the run at this moment
//    (one JSON line); it is called only between frames.
// On the desktop (and headless) the loop is a plain loop on the caller's
// stack: `frame` paces itself (System::WaitEvents), RunFrameLoop returns
// `done`'s code, and PublishStatus keeps nothing.
// In the browser the page's display refresh calls `frame`, once per refresh,
// handing control back to the browser in between. RunFrameLoop then never
// returns: the caller's stack is left as it is, so what the caller owns
// stays alive for the frames. `done`'s code goes to the page
// (window.poromeko.exited), and the page reads the status through
// window.poromeko.state() and the loop's own figures (frames called, time
// spent in them) through window.poromeko.stats().
#pragma once

#include <functional>
#include <string>

namespace platform {

int RunFrameLoop(std::function<bool()> frame, std::function<int()> done);
// True where the display's refresh calls the frames (the browser), so a
// frame may come late and the game must catch up on the ticks it missed.
bool FrameLoopFollowsDisplay();
void PublishStatus(std::function<std::string()> describe);

}  // namespace platform
