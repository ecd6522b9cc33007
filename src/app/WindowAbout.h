// The About box: the program's name, version and build date and the libraries it links, over
// the window that asked for it. The process has at most one.
#pragma once

#include <string>

namespace WindowAbout {

// Menu items of the box's two keyboard shortcuts.
inline constexpr int MenuEscape = 0;
inline constexpr int MenuReturn = 1;

// Opens the box owned by and centred over the calling window (any window of the program, by its
// window number); when a box is open already, returns it and does nothing else. 0 on failure.
int Open(int iCallingWindow);
void Close();
// The open box's window number, 0 when none is open.
int Window();
// The box's text, lines separated by LF.
std::string Text();
// "YYYY-MM-DD" from a compiler date "Mmm dd yyyy"; "" when it is not one.
std::string BuildDate(const char* sCompilerDate);

} // namespace WindowAbout
