// The log: numbered, timed lines shown in the log window.
#pragma once

#include <string>

namespace WindowLog {

void Create();
void AddLine(const std::string& sText);
void AddError(const std::string& sText);
// Any thread: the line reaches the log once the GUI thread handles the event.
void PostError(const std::string& sText);
void AddSeparatorLine();
void Clear(int fNotice);
void Show(int iCallerWindow);
void Hide();
int Close(int fDestroy);

} // namespace WindowLog
