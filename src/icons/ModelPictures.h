// Instrument pictures of the model families, iWidth x iHeight pixels (a 128 x 96 design
// stretched to fit), ARGB32 on a transparent background; a null image when a side is not
// positive or no image could be made. For now plain drawings of the instrument's kind.
#pragma once

#include <QImage>

namespace VectorIcon {

QImage PictureDsa800(int iWidth, int iHeight);       // spectrum analyser
QImage PictureDg4000(int iWidth, int iHeight);       // function generator
QImage PictureDp800(int iWidth, int iHeight);        // power supply
QImage PictureM3500A(int iWidth, int iHeight);       // multimeter

} // namespace VectorIcon
