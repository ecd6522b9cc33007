// Renders every vector icon and instrument picture at 16, 24, 32, 48 and 128 pixels into one
// PNG contact sheet, one drawing per row, on a checkerboard that shows transparency; the
// pictures also once squared as a 48 x 48 window icon. Prints the sheet's path.
//   bench_IconContactSheet [output.png]
#include "icons/VectorIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <string>

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 128};
constexpr int kNameWidth = 170;
constexpr int kGap = 12;

void Checkerboard(QPainter& painter, const QRect& area) {
    constexpr int kCell = 8;
    for (int y = area.top(); y <= area.bottom(); y += kCell)
        for (int x = area.left(); x <= area.right(); x += kCell) {
            const bool fDark = ((x - area.left()) / kCell + (y - area.top()) / kCell) % 2 != 0;
            painter.fillRect(QRect(x, y, kCell, kCell).intersected(area), fDark ? QColor(204, 204, 204) : QColor(240, 240, 240));
        }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const std::string sPath = argc > 1 ? argv[1] : "/tmp/orvanto-icon-sheet.png";

    const auto& drawings = VectorIcon::Drawings();
    int iRowWidth = kNameWidth;
    for (int s : kSizes) iRowWidth += s + kGap;
    iRowWidth += 48 + kGap;
    const int iRowHeight = 128 + kGap;
    QImage sheet(iRowWidth, iRowHeight * static_cast<int>(drawings.size()), QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int y = 0;
    for (const VectorIcon::uDrawing& drawing : drawings) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(4, y, kNameWidth - 8, iRowHeight), Qt::AlignVCenter | Qt::AlignLeft, drawing.sName);
        int x = kNameWidth;
        auto place = [&](int iWidth, int iHeight) {
            const QImage image = VectorIcon::Draw(drawing, iWidth, iHeight);
            const QRect area(x, y + (iRowHeight - iHeight) / 2, iWidth, iHeight);
            Checkerboard(painter, area);
            if (image.isNull())
                std::fprintf(stderr, "%s at %d x %d: no image\n", drawing.sName, iWidth, iHeight);
            else
                painter.drawImage(area.topLeft(), image);
            x += iWidth + kGap;
        };
        for (int s : kSizes) place(s, drawing.kind == VectorIcon::eKind::Icon ? s : s * 3 / 4);
        if (drawing.kind == VectorIcon::eKind::Picture) place(48, 48);
        y += iRowHeight;
    }
    painter.end();
    if (!sheet.save(QString::fromStdString(sPath), "PNG")) {
        std::fprintf(stderr, "IconContactSheet: %s could not be written\n", sPath.c_str());
        return 1;
    }
    std::printf("%s\n", sPath.c_str());
    return 0;
}
