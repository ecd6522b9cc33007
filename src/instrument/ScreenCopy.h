// The screen copy of the screen-copy task: the instrument's display read over the instance's
// connection and turned into an image.
#pragma once

#include "instrument/TaskRecords.h"

#include <QImage>

#include <string>

namespace InstrumentDefault {

struct uInstance;

// Reads the screen of the connected instrument into image; transfer events go to iWindow.
bool GetScreencopy(uInstance& instance, int iWindow, const uTaskScreencopy& task, QImage& image, std::string& sError);

} // namespace InstrumentDefault
