#include "icons/ModelPictures.h"

#include "icons/VectorIcon.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace VectorIcon {
namespace {

enum class eFace { Spectrum, Generator, Supply, Meter };

// A cabinet with a display showing what the kind of instrument shows, in 128 x 96 units.
QImage DrawCabinet(int iWidth, int iHeight, eFace face, QColor body) {
    QImage image = BeginDrawing(iWidth, iHeight, 32, -1);
    if (image.isNull() || iWidth <= 0 || iHeight <= 0) return QImage();
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(iWidth / 128.0, iHeight / 96.0);
        painter.setPen(QPen(QColor(50, 54, 62), 1.5));
        painter.setBrush(body);
        painter.drawRoundedRect(QRectF(4, 12, 120, 74), 5, 5);
        const QRectF screen = face == eFace::Meter || face == eFace::Supply ? QRectF(12, 22, 60, 26) : QRectF(12, 20, 72, 54);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(16, 22, 36));
        painter.drawRoundedRect(screen, 2, 2);
        painter.setBrush(QColor(80, 86, 98));
        for (int i = 0; i < 4; ++i) painter.drawEllipse(QPointF(100, 26 + 14 * i), 4, 4);
        QPainterPath trace;
        const double x0 = screen.left() + 4, x1 = screen.right() - 4, yMid = screen.center().y();
        const double dAmp = screen.height() * 0.32;
        for (int i = 0; i <= 48; ++i) {
            const double x = x0 + (x1 - x0) * i / 48.0, t = i / 48.0;
            double y = yMid;
            switch (face) {
            case eFace::Spectrum: y = screen.bottom() - 6 - dAmp * 1.5 * std::exp(-std::pow((t - 0.5) * 12, 2)); break;
            case eFace::Generator: y = yMid + (std::fmod(t * 3, 1.0) < 0.5 ? -dAmp : dAmp); break;
            case eFace::Supply:
            case eFace::Meter: y = yMid; break;
            }
            if (i == 0) trace.moveTo(x, y);
            else trace.lineTo(x, y);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(250, 220, 60), 2));
        painter.drawPath(trace);
        if (face == eFace::Supply || face == eFace::Meter) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(face == eFace::Supply ? QColor(200, 40, 40) : QColor(40, 40, 40));
            for (int i = 0; i < 3; ++i) painter.drawEllipse(QPointF(22 + 20 * i, 66), 5, 5);
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

const QColor Grey(196, 200, 208);
const QColor Silver(222, 224, 228);

} // namespace

QImage PictureDsa800(int iWidth, int iHeight) { return DrawCabinet(iWidth, iHeight, eFace::Spectrum, Grey); }
QImage PictureDg4000(int iWidth, int iHeight) { return DrawCabinet(iWidth, iHeight, eFace::Generator, Grey); }
QImage PictureDp800(int iWidth, int iHeight) { return DrawCabinet(iWidth, iHeight, eFace::Supply, Grey); }
QImage PictureM3500A(int iWidth, int iHeight) { return DrawCabinet(iWidth, iHeight, eFace::Meter, Silver); }

} // namespace VectorIcon
