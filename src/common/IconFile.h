// Icon files (ICO) built in memory: a set is opened, images are added as PNG-compressed entries
// of 16, 24, 32, 48, 64, 128 or 256 pixels, and the set is built into one file, which ends it.
#pragma once

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace IconFile {

// Opens a set under iId, or under the lowest free id from 1 upward when iId is -1. A set
// already open under that id starts afresh. Returns the set's id, -1 when none can be made.
int Begin(int iId, const std::string& sText, int iFormat);

// Adds the image as one entry: a non-square image is centred on a transparent square first;
// iSize other than -1 scales it to iSize x iSize. false when the set does not exist, the image
// is empty, the size is not one of the accepted ones or the image cannot be encoded.
bool AddImage(int iId, const QImage& image, int iSize);

// The ICO file of the set; the set is removed in every case. Empty when the set does not
// exist or holds no entry.
std::vector<std::uint8_t> Build(int iId);

} // namespace IconFile
