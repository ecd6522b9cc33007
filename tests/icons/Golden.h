// Golden images of the drawings: a drawing compared with its stored image within a tolerance.
#pragma once

#include <QImage>

#include <string>

// Compares the image with tests/icons/data/<sName>.png: at most one pixel in 200 may differ by
// more than 3 in a channel; the differences are marked in <sName>-diff.png in the working
// folder on failure. With ORVANTO_UPDATE_GOLDENS set, the stored image is written first.
void ExpectGolden(const QImage& image, const std::string& sName);
