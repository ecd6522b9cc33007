#include "RecordingCanvas.h"

#include <algorithm>

namespace {
constexpr uint32_t kGradient = 0xFFFFFFFF;
}

void RecordingCanvas::Record(const char* sName, std::vector<double> arguments) {
    mOperations.push_back(uOperation{sName, std::move(arguments)});
}

void RecordingCanvas::Scale(double sx, double sy) {
    Record("Scale", {sx, sy});
}

void RecordingCanvas::MoveTo(double x, double y) {
    Record("MoveTo", {x, y});
    ++iFigures;
    fFigureOpen = true;
}

void RecordingCanvas::LineTo(double x, double y) {
    Record("LineTo", {x, y});
    if (!fFigureOpen) ++iFigures;
    fFigureOpen = true;
    ++iSegments;
}

void RecordingCanvas::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
    Record("CurveTo", {x1, y1, x2, y2, x3, y3});
    if (!fFigureOpen) ++iFigures;
    fFigureOpen = true;
    ++iSegments;
}

void RecordingCanvas::AddBox(double x, double y, double w, double h) {
    Record("AddBox", {x, y, w, h});
    ++iFigures;
    iSegments += 4;
    fFigureOpen = false;
}

void RecordingCanvas::AddEllipse(double cx, double cy, double rx, double ry) {
    Record("AddEllipse", {cx, cy, rx, ry});
    ++iFigures;
    iSegments += 4;
    fFigureOpen = false;
}

void RecordingCanvas::SolidColour(uint32_t uRgb) {
    Record("SolidColour", {static_cast<double>(uRgb)});
    uPaintColour = uRgb;
}

void RecordingCanvas::CircularGradient(double cx, double cy, double r, double fx, double fy) {
    Record("CircularGradient", {cx, cy, r, fx, fy});
    uPaintColour = kGradient;
}

void RecordingCanvas::LinearGradient(double x1, double y1, double x2, double y2) {
    Record("LinearGradient", {x1, y1, x2, y2});
    uPaintColour = kGradient;
}

void RecordingCanvas::GradientStop(uint32_t uRgb, double dPosition) {
    Record("GradientStop", {static_cast<double>(uRgb), dPosition});
}

void RecordingCanvas::Fill() {
    Record("Fill", {});
    mPaints.push_back(uPaint{false, uPaintColour, 0, iFigures, iSegments});
}

void RecordingCanvas::Stroke(double dWidth) {
    Record("Stroke", {dWidth});
    mPaints.push_back(uPaint{true, uPaintColour, dWidth, iFigures, iSegments});
    iFigures = 0;
    iSegments = 0;
    fFigureOpen = false;
}

void RecordingCanvas::ResetPath() {
    Record("ResetPath", {});
    iFigures = 0;
    iSegments = 0;
    fFigureOpen = false;
}

int RecordingCanvas::CountFills() const {
    return static_cast<int>(std::count_if(mPaints.begin(), mPaints.end(), [](const uPaint& p) { return !p.fStroke; }));
}

int RecordingCanvas::CountStrokes() const {
    return static_cast<int>(mPaints.size()) - CountFills();
}

int RecordingCanvas::CountFilledFigures() const {
    int n = 0;
    for (const uPaint& p : mPaints)
        if (!p.fStroke) n += p.iFigures;
    return n;
}

int RecordingCanvas::CountPaintedFigures() const {
    int n = 0;
    bool fFilled = false;
    for (const uOperation& o : mOperations) {
        if (o.sName == "Fill") {
            ++n;
            fFilled = true;
        } else if (o.sName == "Stroke") {
            if (!fFilled) ++n;
            fFilled = false;
        } else if (o.sName != "SolidColour" && o.sName != "CircularGradient" && o.sName != "LinearGradient" &&
                   o.sName != "GradientStop") {
            fFilled = false;
        }
    }
    return n;
}

int RecordingCanvas::Count(const std::string& sName) const {
    return static_cast<int>(std::count_if(mOperations.begin(), mOperations.end(),
                                          [&](const uOperation& o) { return o.sName == sName; }));
}

bool RecordingCanvas::CoordinatesWithin(double dLow, double dHigh) const {
    auto inside = [&](double v) { return v >= dLow && v <= dHigh; };
    for (const uOperation& o : mOperations) {
        const auto& a = o.mArguments;
        if (o.sName == "MoveTo" || o.sName == "LineTo" || o.sName == "CurveTo") {
            for (double v : a)
                if (!inside(v)) return false;
        } else if (o.sName == "AddBox") {
            if (!inside(a[0]) || !inside(a[1]) || !inside(a[0] + a[2]) || !inside(a[1] + a[3])) return false;
        } else if (o.sName == "AddEllipse") {
            if (!inside(a[0] - a[2]) || !inside(a[0] + a[2]) || !inside(a[1] - a[3]) || !inside(a[1] + a[3]))
                return false;
        }
    }
    return true;
}
