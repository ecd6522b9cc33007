// A real X server for a test process: Xvfb on a free display number with openbox as its window
// manager, both ended with the object (or with the test process). Call it inside the process's
// private network (Sim::EnterPrivateNetwork), before the QApplication, which then runs on it:
//
//   std::string sWhy;
//   static Sim::XDisplay display;
//   if (!display.Start(sWhy)) GTEST_SKIP() << sWhy;
//
// Input reaches the windows through the X server as a user's does: Click and Key run xdotool.
#pragma once

#include <string>
#include <sys/types.h>

namespace Sim {

class XDisplay {
  public:
    XDisplay() = default;
    ~XDisplay() { Stop(); }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // Starts both, waits until the window manager runs, and points DISPLAY and
    // QT_QPA_PLATFORM ("xcb") of this process at the server; false with the reason otherwise.
    bool Start(std::string& sWhyNot);
    void Stop();

    // A click of the mouse button (1 left, 3 right) at the screen position.
    static bool Click(int x, int y, int iButton = 1);
    // Keys as xdotool names them ("Escape", "alt+Down").
    static bool Key(const std::string& sKeys);

  private:
    pid_t iServer = -1;
    pid_t iManager = -1;
};

} // namespace Sim
