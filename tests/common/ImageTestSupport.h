// Shared by the image tests: small image builders.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

namespace ImageTestSupport {

// A w x h ARGB32 image whose pixel (x, y) has a colour made from x and y and full alpha.
inline QImage Pattern(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgba((x * 37) & 0xFF, (y * 53) & 0xFF, (x ^ y) & 0xFF, 255));
    }
    return image;
}

inline std::vector<std::uint8_t> Bytes(const QByteArray& a) {
    return {reinterpret_cast<const std::uint8_t*>(a.constData()),
            reinterpret_cast<const std::uint8_t*>(a.constData()) + a.size()};
}

} // namespace ImageTestSupport
