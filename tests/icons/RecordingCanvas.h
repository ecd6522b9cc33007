// A canvas that records the painting operations of a drawing instead of painting them, and
// sums up what each fill and stroke painted: how many figures, in which colour, how wide.
#pragma once

#include "icons/VectorCanvas.h"

#include <cstdint>
#include <string>
#include <vector>

class RecordingCanvas final : public VectorCanvas::Canvas {
  public:
    struct uOperation {
        std::string sName;  // "MoveTo", "LineTo", "CurveTo", "AddBox", "AddEllipse", "Fill", ...
        std::vector<double> mArguments;
    };
    // One fill or stroke: the paint in use and the figures of the path at that moment.
    struct uPaint {
        bool fStroke = false;
        uint32_t uColour = 0;  // 0xRRGGBB, or 0xFFFFFFFF for a gradient
        double dWidth = 0;     // strokes only
        int iFigures = 0;
        int iSegments = 0;  // lines and curves, box and ellipse sides included
    };

    std::vector<uOperation> mOperations;
    std::vector<uPaint> mPaints;

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

    // Figures painted (each fill and each stroke counts its path's figures once).
    int CountFills() const;
    int CountStrokes() const;
    int CountFilledFigures() const;
    // Figures as the drawings count them: each fill, each stroke of a path not filled just
    // before, so that a figure filled and then outlined counts once.
    int CountPaintedFigures() const;
    // The operations of one name.
    int Count(const std::string& sName) const;
    // Every operation's coordinates lie within [lo, hi] (boxes and ellipses by their extent).
    bool CoordinatesWithin(double dLow, double dHigh) const;

  private:
    void Record(const char* sName, std::vector<double> arguments);
    uint32_t uPaintColour = 0;
    int iFigures = 0;
    int iSegments = 0;
    bool fFigureOpen = false;
};
