// The drawing frame of the vector icons: the painting operations every drawing is made of,
// their implementation over QPainter on a QImage, the shared rounded-rectangle figure and the
// four paint forms.
//
// A drawing is a straight sequence of calls on a Canvas in its own design units. The path is
// ours (a list of figures, open or closed) and is only turned into a QPainterPath at a fill or
// a stroke, so that the semantics below hold independently of Qt's own path rules:
//   - fills use the even-odd rule; open figures are filled as though closed;
//   - a fill keeps the path, a stroke clears it;
//   - strokes have flat ends on open figures and mitred joins, bevelled where the miter
//     length exceeds 10 stroke widths;
//   - an open figure that ends on its start point keeps two flat ends there;
//   - a gradient starts with two opaque black stops at 0 and 1; a stop given at a position that
//     already holds one replaces its colour.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace VectorCanvas {

// The painting operations. Colours are 0xRRGGBB words, always opaque.
class Canvas {
  public:
    virtual ~Canvas() = default;
    // Multiplies the coordinate system; called once, before any figure.
    virtual void Scale(double sx, double sy) = 0;
    // Starts a new open figure; the figure before it stays in the path, open.
    virtual void MoveTo(double x, double y) = 0;
    virtual void LineTo(double x, double y) = 0;
    virtual void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) = 0;
    // A closed figure from (x, y) clockwise on screen; the current point becomes (x, y).
    virtual void AddBox(double x, double y, double w, double h) = 0;
    // A closed figure from (cx + rx, cy) clockwise on screen; the current point is its start.
    virtual void AddEllipse(double cx, double cy, double rx, double ry) = 0;
    virtual void SolidColour(uint32_t uRgb) = 0;
    // Radial gradient over the circle (cx, cy, r) with its focus at (cx + fx, cy + fy).
    virtual void CircularGradient(double cx, double cy, double r, double fx, double fy) = 0;
    // Linear gradient along the axis from (x1, y1) to (x2, y2), repeating beyond its ends.
    virtual void LinearGradient(double x1, double y1, double x2, double y2) = 0;
    // A stop of the current gradient (nothing with a solid paint).
    virtual void GradientStop(uint32_t uRgb, double dPosition) = 0;
    // Fills every figure of the path with the paint; the path stays.
    virtual void Fill() = 0;
    // Strokes every figure of the path with the paint, width in design units; clears the path.
    virtual void Stroke(double dWidth) = 0;
    // Empties the path; the current point becomes (0, 0), the paint stays.
    virtual void ResetPath() = 0;
};

// The canvas that paints onto an image. The image must outlive the canvas; painting ends when
// End is called or the canvas is destroyed.
class PainterCanvas final : public Canvas {
  public:
    explicit PainterCanvas(QImage& image);
    ~PainterCanvas() override;
    PainterCanvas(const PainterCanvas&) = delete;
    PainterCanvas& operator=(const PainterCanvas&) = delete;

    // False when the painter could not start on the image.
    bool IsActive() const;
    void End();

    void Scale(double sx, double sy) override;
    void MoveTo(double x, double y) override;
    void LineTo(double x, double y) override;
    void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) override;
    void AddBox(double x, double y, double w, double h) override;
    void AddEllipse(double cx, double cy, double rx, double ry) override;
    void SolidColour(uint32_t uRgb) override;
    void CircularGradient(double cx, double cy, double r, double fx, double fy) override;
    void LinearGradient(double x1, double y1, double x2, double y2) override;
    void GradientStop(uint32_t uRgb, double dPosition) override;
    void Fill() override;
    void Stroke(double dWidth) override;
    void ResetPath() override;

  private:
    struct uSegment {
        bool fCurve = false;
        QPointF c1, c2, end;
    };
    struct uFigure {
        QPointF start;
        std::vector<uSegment> segments;
        bool fClosed = false;
    };
    enum class ePaint { Solid, Circular, Linear };

    uFigure& OpenFigure();
    QBrush Brush() const;

    QPainter painter;
    std::vector<uFigure> mFigures;
    bool fFigureOpen = false;
    QPointF current;
    ePaint paint = ePaint::Solid;
    QColor colour = Qt::black;
    double dGeometry[5] = {0, 0, 0, 0, 0};
    std::vector<std::pair<double, QColor>> mStops;
};

// Rounds to two decimals, as the control points of the shared figures are taken.
double Round2(double v);

// The rounded rectangle (x1, y1)-(x2, y2) with corners rx across and ry down: nine steps
// clockwise from (x1 + rx, y1), ending on its start point without being closed. Each corner's
// control points lie 0.55 r from its ends, to two decimals.
void RoundedRect(Canvas& c, double x1, double y1, double x2, double y2, double rx, double ry);
inline void RoundedRect(Canvas& c, double x1, double y1, double x2, double y2, double r) {
    RoundedRect(c, x1, y1, x2, y2, r, r);
}

// A polygon: move to the first point, lines to the others and back to the first (left open).
void Polygon(Canvas& c, std::initializer_list<QPointF> points);
// An open polyline.
void Polyline(Canvas& c, std::initializer_list<QPointF> points);
void Line(Canvas& c, double x1, double y1, double x2, double y2);
// An open path of cubic half-waves through the points, both control points of each at the
// middle x between its ends, the first at the level of its start and the second of its end.
void Wave(Canvas& c, std::initializer_list<QPointF> points);

// The paint forms. Filled: fill in uFill, reset. FilledOutlined: fill in uFill, stroke in
// uLine. Outlined: stroke alone.
void Filled(Canvas& c, uint32_t uFill);
void FilledOutlined(Canvas& c, uint32_t uFill, uint32_t uLine, double dWidth);
void Outlined(Canvas& c, uint32_t uLine, double dWidth);
// A fill with the paint already set (a gradient with its stops), then a stroke in uLine.
void PaintFilledOutlined(Canvas& c, uint32_t uLine, double dWidth);

} // namespace VectorCanvas
