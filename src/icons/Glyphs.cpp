#include "icons/Glyphs.h"

#include <map>

namespace Glyphs {
namespace {

using Steps = std::vector<uStep>;

uContour Outer(Steps steps) {
    return uContour{false, std::move(steps)};
}
uContour Counter(Steps steps) {
    return uContour{true, std::move(steps)};
}

// Bold sans-serif capitals: stems about 0.29 of an H's width.
const std::map<char, std::vector<uContour>>& Kit() {
    static const std::map<char, std::vector<uContour>> kit = {
        {'H', {Outer({{'M', {0, 0}},
                      {'L', {0.29, 0}},
                      {'L', {0.29, 0.41}},
                      {'L', {0.71, 0.41}},
                      {'L', {0.71, 0}},
                      {'L', {1, 0}},
                      {'L', {1, 1}},
                      {'L', {0.71, 1}},
                      {'L', {0.71, 0.61}},
                      {'L', {0.29, 0.61}},
                      {'L', {0.29, 1}},
                      {'L', {0, 1}},
                      {'L', {0, 0}}})}},
        {'A', {Outer({{'M', {0, 1}},
                      {'L', {0.36, 0}},
                      {'L', {0.64, 0}},
                      {'L', {1, 1}},
                      {'L', {0.74, 1}},
                      {'L', {0.665, 0.77}},
                      {'L', {0.335, 0.77}},
                      {'L', {0.26, 1}},
                      {'L', {0, 1}}}),
               Counter({{'M', {0.5, 0.285}}, {'L', {0.391, 0.615}}, {'L', {0.609, 0.615}}, {'L', {0.5, 0.285}}})}},
        {'M', {Outer({{'M', {0, 0}},
                      {'L', {0.28, 0}},
                      {'L', {0.5, 0.6}},
                      {'L', {0.72, 0}},
                      {'L', {1, 0}},
                      {'L', {1, 1}},
                      {'L', {0.76, 1}},
                      {'L', {0.76, 0.33}},
                      {'L', {0.59, 0.82}},
                      {'L', {0.41, 0.82}},
                      {'L', {0.24, 0.33}},
                      {'L', {0.24, 1}},
                      {'L', {0, 1}},
                      {'L', {0, 0}}})}},
        {'E', {Outer({{'M', {0, 0}},
                      {'L', {1, 0}},
                      {'L', {1, 0.2}},
                      {'L', {0.36, 0.2}},
                      {'L', {0.36, 0.4}},
                      {'L', {0.93, 0.4}},
                      {'L', {0.93, 0.6}},
                      {'L', {0.36, 0.6}},
                      {'L', {0.36, 0.8}},
                      {'L', {1, 0.8}},
                      {'L', {1, 1}},
                      {'L', {0, 1}},
                      {'L', {0, 0}}})}},
        // A ring open at the upper right, its bar reaching in from the right side.
        {'G', {Outer({{'M', {0.883, 0.168}},
                      {'L', {0.676, 0.296}},
                      {'C', {0.610, 0.187, 0.501, 0.152, 0.407, 0.209}},
                      {'C', {0.314, 0.266, 0.259, 0.403, 0.272, 0.544}},
                      {'C', {0.285, 0.685, 0.364, 0.797, 0.465, 0.818}},
                      {'C', {0.566, 0.840, 0.665, 0.766, 0.708, 0.637}},
                      {'L', {0.52, 0.637}},
                      {'L', {0.52, 0.45}},
                      {'L', {1, 0.45}},
                      {'L', {0.992, 0.592}},
                      {'C', {0.952, 0.832, 0.756, 1.010, 0.522, 1.021}},
                      {'C', {0.288, 1.031, 0.078, 0.871, 0.017, 0.636}},
                      {'C', {-0.044, 0.401, 0.061, 0.154, 0.269, 0.042}},
                      {'C', {0.477, -0.071, 0.732, -0.018, 0.883, 0.168}}})}},
    };
    return kit;
}

} // namespace

const std::vector<uContour>& Contours(char cGlyph) {
    static const std::vector<uContour> none;
    const auto& kit = Kit();
    const auto it = kit.find(cGlyph);
    return it == kit.end() ? none : it->second;
}

uPlacement InBox(double x0, double yCap, double x1, double yBase) {
    return uPlacement{QPointF(x0, yCap), QPointF(x1 - x0, 0), QPointF(0, yBase - yCap)};
}

bool Add(VectorCanvas::Canvas& c, char cGlyph, const uPlacement& place) {
    const std::vector<uContour>& contours = Contours(cGlyph);
    if (contours.empty()) return false;
    auto at = [&](double u, double v) { return place.origin + u * place.across + v * place.down; };
    for (const uContour& contour : contours) {
        for (const uStep& s : contour.mSteps) {
            const QPointF p = at(s.v[0], s.v[1]);
            switch (s.cOp) {
            case 'M': c.MoveTo(p.x(), p.y()); break;
            case 'L': c.LineTo(p.x(), p.y()); break;
            case 'C': {
                const QPointF p2 = at(s.v[2], s.v[3]);
                const QPointF p3 = at(s.v[4], s.v[5]);
                c.CurveTo(p.x(), p.y(), p2.x(), p2.y(), p3.x(), p3.y());
                break;
            }
            default: break;
            }
        }
    }
    return true;
}

} // namespace Glyphs
