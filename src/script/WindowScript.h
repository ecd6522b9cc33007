// The script window.
#pragma once

namespace WindowScript {

// Opens a new script window; returns its window number, 0 when none opened.
int Open();
void Close(int iWindow);
// Enters the script window into the frame's window-kind registry (start-up).
void RegisterKind();

} // namespace WindowScript
