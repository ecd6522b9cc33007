// What the capture windows and their viewers send each other. Every record travels as a value
// that the event owns; nothing travels by address.
#pragma once

#include <QImage>

#include <cstdint>

// EventViewerSync, data: the sender's window and its scale setting; a screenshot window also
// sends its image count (fCount set).
struct uViewerSync {
    std::int64_t iPartner = 0;
    std::int64_t fScale = 0;
    std::int64_t fCount = 0;
    std::int64_t iCount = 0;
};

// EventNewScreenshot, data: a copy of the screenshot window's image and its scale setting; the
// event's type is the screenshot window's size-changed flag.
struct uNewScreenshot {
    QImage image;
    std::int64_t fScale = 0;
    // A new picture (not one shown again): the viewer counts it; a shot of an automatic reading
    // comes with the window's count of that reading ("Screenshots: "), which the viewer takes.
    bool fNew = false;
    std::int64_t iCount = 0;
};
