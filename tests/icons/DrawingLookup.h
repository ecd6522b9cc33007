// The drawings of the catalogue by name, painted onto a real image or a recording canvas.
#pragma once

#include "RecordingCanvas.h"
#include "icons/VectorIcon.h"

// The catalogue entry of that name; a test failure (and the first entry) when there is none.
const VectorIcon::uDrawing& Find(const char* sName);
// The drawing's operations on a recording canvas.
RecordingCanvas Record(const char* sName);
