#include "icons/VectorCanvas.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace VectorCanvas {
namespace {

// A join is mitred while the miter length (inner to outer corner) stays within this many
// stroke widths, and bevelled beyond. Qt's SvgMiterJoin measures its limit the same way.
constexpr double kMiterLimit = 10.0;

// Qt joins the ends of a figure whose last point equals its first. An open figure must keep two
// flat ends there, so its last point is pulled back along its final direction by this much (in
// design units): far below anything a pixel can show, far above Qt's fuzzy comparison.
constexpr double kOpenEndNudge = 1e-6;

// The four cubic curves of an ellipse: control points at this fraction of the radius.
constexpr double kEllipseKappa = 0.5522847498307936;

QColor ColourOf(uint32_t uRgb) {
    return QColor(static_cast<int>((uRgb >> 16) & 0xFF), static_cast<int>((uRgb >> 8) & 0xFF),
                  static_cast<int>(uRgb & 0xFF));
}

} // namespace

PainterCanvas::PainterCanvas(QImage& image) {
    if (image.isNull() || !painter.begin(&image)) return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(Qt::NoPen);
    ResetPath();
}

PainterCanvas::~PainterCanvas() {
    End();
}

bool PainterCanvas::IsActive() const {
    return painter.isActive();
}

void PainterCanvas::End() {
    if (painter.isActive()) painter.end();
}

void PainterCanvas::Scale(double sx, double sy) {
    painter.scale(sx, sy);
}

PainterCanvas::uFigure& PainterCanvas::OpenFigure() {
    // A segment with no open figure starts one at the current point.
    if (!fFigureOpen) {
        mFigures.push_back(uFigure{current, {}, false});
        fFigureOpen = true;
    }
    return mFigures.back();
}

void PainterCanvas::MoveTo(double x, double y) {
    mFigures.push_back(uFigure{QPointF(x, y), {}, false});
    fFigureOpen = true;
    current = QPointF(x, y);
}

void PainterCanvas::LineTo(double x, double y) {
    OpenFigure().segments.push_back(uSegment{false, {}, {}, QPointF(x, y)});
    current = QPointF(x, y);
}

void PainterCanvas::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
    OpenFigure().segments.push_back(uSegment{true, QPointF(x1, y1), QPointF(x2, y2), QPointF(x3, y3)});
    current = QPointF(x3, y3);
}

void PainterCanvas::AddBox(double x, double y, double w, double h) {
    uFigure figure{QPointF(x, y), {}, true};
    figure.segments.push_back(uSegment{false, {}, {}, QPointF(x + w, y)});
    figure.segments.push_back(uSegment{false, {}, {}, QPointF(x + w, y + h)});
    figure.segments.push_back(uSegment{false, {}, {}, QPointF(x, y + h)});
    figure.segments.push_back(uSegment{false, {}, {}, QPointF(x, y)});
    mFigures.push_back(std::move(figure));
    fFigureOpen = false;
    current = QPointF(x, y);
}

void PainterCanvas::AddEllipse(double cx, double cy, double rx, double ry) {
    const double kx = rx * kEllipseKappa;
    const double ky = ry * kEllipseKappa;
    uFigure figure{QPointF(cx + rx, cy), {}, true};
    // Clockwise on screen (y downwards): right, bottom, left, top, right.
    figure.segments.push_back(uSegment{true, {cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry}});
    figure.segments.push_back(uSegment{true, {cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy}});
    figure.segments.push_back(uSegment{true, {cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry}});
    figure.segments.push_back(uSegment{true, {cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy}});
    mFigures.push_back(std::move(figure));
    fFigureOpen = false;
    current = QPointF(cx + rx, cy);
}

void PainterCanvas::SolidColour(uint32_t uRgb) {
    paint = ePaint::Solid;
    colour = ColourOf(uRgb);
    mStops.clear();
}

void PainterCanvas::CircularGradient(double cx, double cy, double r, double fx, double fy) {
    paint = ePaint::Circular;
    const double geometry[5] = {cx, cy, r, fx, fy};
    std::copy(std::begin(geometry), std::end(geometry), dGeometry);
    mStops = {{0.0, QColor(Qt::black)}, {1.0, QColor(Qt::black)}};
}

void PainterCanvas::LinearGradient(double x1, double y1, double x2, double y2) {
    paint = ePaint::Linear;
    const double geometry[5] = {x1, y1, x2, y2, 0};
    std::copy(std::begin(geometry), std::end(geometry), dGeometry);
    mStops = {{0.0, QColor(Qt::black)}, {1.0, QColor(Qt::black)}};
}

void PainterCanvas::GradientStop(uint32_t uRgb, double dPosition) {
    if (paint == ePaint::Solid || !(dPosition >= 0.0 && dPosition <= 1.0)) return;
    auto it = mStops.begin();
    while (it != mStops.end() && it->first < dPosition) ++it;
    if (it != mStops.end() && it->first == dPosition)
        it->second = ColourOf(uRgb);
    else
        mStops.insert(it, {dPosition, ColourOf(uRgb)});
}

QBrush PainterCanvas::Brush() const {
    QGradientStops stops;
    for (const auto& [position, stopColour] : mStops) stops.append(QGradientStop(position, stopColour));
    switch (paint) {
    case ePaint::Circular: {
        const QPointF centre(dGeometry[0], dGeometry[1]);
        QRadialGradient gradient(centre, dGeometry[2], centre + QPointF(dGeometry[3], dGeometry[4]));
        gradient.setSpread(QGradient::PadSpread);
        gradient.setStops(stops);
        return QBrush(gradient);
    }
    case ePaint::Linear: {
        QLinearGradient gradient(dGeometry[0], dGeometry[1], dGeometry[2], dGeometry[3]);
        gradient.setSpread(QGradient::RepeatSpread);
        gradient.setStops(stops);
        return QBrush(gradient);
    }
    case ePaint::Solid:
        break;
    }
    return QBrush(colour);
}

void PainterCanvas::Fill() {
    if (!painter.isActive()) return;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const uFigure& figure : mFigures) {
        if (figure.segments.empty()) continue;
        path.moveTo(figure.start);
        for (const uSegment& s : figure.segments) {
            if (s.fCurve)
                path.cubicTo(s.c1, s.c2, s.end);
            else
                path.lineTo(s.end);
        }
        // Qt fills open figures as though closed, as wanted.
    }
    painter.fillPath(path, Brush());
}

void PainterCanvas::Stroke(double dWidth) {
    if (painter.isActive()) {
        QPainterPath path;
        for (const uFigure& figure : mFigures) {
            if (figure.segments.empty()) continue;
            path.moveTo(figure.start);
            const size_t n = figure.segments.size();
            for (size_t i = 0; i < n; ++i) {
                const uSegment& s = figure.segments[i];
                QPointF end = s.end;
                if (i + 1 == n && !figure.fClosed && end == figure.start) {
                    // Pull the end back along the last direction so that Qt keeps the figure open.
                    const QPointF from = s.fCurve ? (s.c2 != end ? s.c2 : s.c1)
                                                  : (n > 1 ? figure.segments[n - 2].end : figure.start);
                    const QPointF d = from - end;
                    const double length = std::hypot(d.x(), d.y());
                    if (length > 0) end += d * (kOpenEndNudge / length);
                }
                if (s.fCurve)
                    path.cubicTo(s.c1, s.c2, end);
                else
                    path.lineTo(end);
            }
            if (figure.fClosed) path.closeSubpath();
        }
        QPen pen(Brush(), dWidth, Qt::SolidLine, Qt::FlatCap, Qt::SvgMiterJoin);
        pen.setMiterLimit(kMiterLimit);
        pen.setCosmetic(false);
        painter.strokePath(path, pen);
    }
    ResetPath();
}

void PainterCanvas::ResetPath() {
    mFigures.clear();
    fFigureOpen = false;
    current = QPointF(0, 0);
}

double Round2(double v) {
    return std::round(v * 100.0) / 100.0;
}

void RoundedRect(Canvas& c, double x1, double y1, double x2, double y2, double rx, double ry) {
    const double kx = 0.55 * rx;
    const double ky = 0.55 * ry;
    c.MoveTo(x1 + rx, y1);
    c.LineTo(x2 - rx, y1);
    c.CurveTo(Round2(x2 - rx + kx), y1, x2, Round2(y1 + ry - ky), x2, y1 + ry);
    c.LineTo(x2, y2 - ry);
    c.CurveTo(x2, Round2(y2 - ry + ky), Round2(x2 - rx + kx), y2, x2 - rx, y2);
    c.LineTo(x1 + rx, y2);
    c.CurveTo(Round2(x1 + rx - kx), y2, x1, Round2(y2 - ry + ky), x1, y2 - ry);
    c.LineTo(x1, y1 + ry);
    c.CurveTo(x1, Round2(y1 + ry - ky), Round2(x1 + rx - kx), y1, x1 + rx, y1);
}

void Polygon(Canvas& c, std::initializer_list<QPointF> points) {
    if (points.size() == 0) return;
    const QPointF first = *points.begin();
    c.MoveTo(first.x(), first.y());
    for (auto it = points.begin() + 1; it != points.end(); ++it) c.LineTo(it->x(), it->y());
    c.LineTo(first.x(), first.y());
}

void Polyline(Canvas& c, std::initializer_list<QPointF> points) {
    if (points.size() == 0) return;
    c.MoveTo(points.begin()->x(), points.begin()->y());
    for (auto it = points.begin() + 1; it != points.end(); ++it) c.LineTo(it->x(), it->y());
}

void Line(Canvas& c, double x1, double y1, double x2, double y2) {
    c.MoveTo(x1, y1);
    c.LineTo(x2, y2);
}

void Wave(Canvas& c, std::initializer_list<QPointF> points) {
    if (points.size() == 0) return;
    QPointF previous = *points.begin();
    c.MoveTo(previous.x(), previous.y());
    for (auto it = points.begin() + 1; it != points.end(); ++it) {
        const double xMiddle = Round2((previous.x() + it->x()) / 2.0);
        c.CurveTo(xMiddle, previous.y(), xMiddle, it->y(), it->x(), it->y());
        previous = *it;
    }
}

void Filled(Canvas& c, uint32_t uFill) {
    c.SolidColour(uFill);
    c.Fill();
    c.ResetPath();
}

void FilledOutlined(Canvas& c, uint32_t uFill, uint32_t uLine, double dWidth) {
    c.SolidColour(uFill);
    c.Fill();
    c.SolidColour(uLine);
    c.Stroke(dWidth);
    c.ResetPath();
}

void PaintFilledOutlined(Canvas& c, uint32_t uLine, double dWidth) {
    c.Fill();
    c.SolidColour(uLine);
    c.Stroke(dWidth);
    c.ResetPath();
}

void Outlined(Canvas& c, uint32_t uLine, double dWidth) {
    c.SolidColour(uLine);
    c.Stroke(dWidth);
    c.ResetPath();
}

} // namespace VectorCanvas
