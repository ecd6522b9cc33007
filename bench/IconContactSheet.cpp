// Renders every vector icon at 16, 24, 32, 48 and 128 pixels and every instrument picture at
// 128 x 96 and 256 x 192 and squared as the 32, 48 and 64 pixel window icons into one PNG
// contact sheet, one drawing per row, on a checkerboard that shows transparency. Prints the
// sheet's path. With a filter, only the drawings whose names contain it.
//   bench_IconContactSheet [output.png [filter]]
#include "icons/VectorIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include <string>

namespace {

constexpr int kSizes[] = {16, 24, 32, 48, 128};
constexpr int kPictureSizes[][2] = {{128, 96}, {256, 192}, {32, 32}, {48, 48}, {64, 64}};
constexpr int kAboutSizes[][2] = {{380, 100}, {420, 110}, {760, 200}};
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

    std::vector<VectorIcon::uDrawing> drawings;
    for (const auto& d : VectorIcon::Drawings())
        if (argc < 3 || std::strstr(d.sName, argv[2]) != nullptr) drawings.push_back(d);
    int iIconWidth = kNameWidth, iPictureWidth = kNameWidth;
    for (int s : kSizes) iIconWidth += s + kGap;
    for (const auto& s : kPictureSizes) iPictureWidth += s[0] + kGap;
    int iAboutWidth = kNameWidth;
    for (const auto& s : kAboutSizes) iAboutWidth += s[0] + kGap;
    auto rowHeight = [](const VectorIcon::uDrawing& d) { return (d.kind == VectorIcon::eKind::Icon ? 128 : d.kind == VectorIcon::eKind::About ? 200 : 192) + kGap; };
    int iHeight = 0;
    for (const auto& d : drawings) iHeight += rowHeight(d);
    QImage sheet(std::max({iIconWidth, iPictureWidth, iAboutWidth}), iHeight, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int y = 0;
    for (const VectorIcon::uDrawing& drawing : drawings) {
        const int iRowHeight = rowHeight(drawing);
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
        if (drawing.kind == VectorIcon::eKind::Icon)
            for (int s : kSizes) place(s, s);
        else if (drawing.kind == VectorIcon::eKind::About)
            for (const auto& s : kAboutSizes) place(s[0], s[1]);
        else
            for (const auto& s : kPictureSizes) place(s[0], s[1]);
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
