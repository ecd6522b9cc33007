// The script window.
#pragma once

namespace WindowScript {

// Opens a new script window; returns its window number, 0 when none opened.
int Open();
void Close(int iWindow);

} // namespace WindowScript
