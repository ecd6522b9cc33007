#include "DrawingLookup.h"

#include <gtest/gtest.h>

#include <cstring>

const VectorIcon::uDrawing& Find(const char* sName) {
    for (const auto& d : VectorIcon::Drawings())
        if (std::strcmp(d.sName, sName) == 0) return d;
    ADD_FAILURE() << sName << " is not in the catalogue";
    return VectorIcon::Drawings().front();
}

RecordingCanvas Record(const char* sName) {
    RecordingCanvas canvas;
    Find(sName).pPaint(canvas);
    return canvas;
}
