// Arranging the MDI children of a main window: fitting the active one to the area, growing it
// into the free space around its top-left corner, cascading them, and tiling them side by side
// or one above the other.
#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "platform/WindowFrame.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace WindowStart {
namespace {

uRect RectOf(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

QRect ToQRect(const uRect& r) { return QRect(r.iLeft, r.iTop, r.iRight - r.iLeft, r.iBottom - r.iTop); }

// The MDI frames of this main window's children in the area, in the order they were opened.
QList<QMdiSubWindow*> OwnFrames(const uWindowStart* pWindow) {
    QList<QMdiSubWindow*> mFrames;
    for (QMdiSubWindow* pFrame : pWindow->pMdiArea->subWindowList(QMdiArea::CreationOrder)) {
        auto* pChild = qobject_cast<WindowFrame*>(pFrame->widget());
        if (pChild && ChildWindow::MainWindow(pChild->Window()) == pWindow->iWindow) mFrames.push_back(pFrame);
    }
    return mFrames;
}

bool Between(int iValue, int iLow, int iHigh) { return iLow <= iValue && iValue <= iHigh; }

} // namespace

std::optional<uRect> AdaptRect(const uRect& a, const uRect& c, const std::vector<uRect>& others) {
    if (!Between(a.iLeft, c.iLeft, c.iRight) || !Between(a.iTop, c.iTop, c.iBottom)) return std::nullopt;
    for (const uRect& o : others) {
        if (Between(a.iLeft, o.iLeft, o.iRight - 1) && Between(a.iTop, o.iTop, o.iBottom - 1)) return std::nullopt;
    }
    if (others.empty()) return c;
    uRect n = c;
    // Above and below, among the children whose columns hold the corner.
    for (const uRect& o : others) {
        if (!Between(a.iLeft, o.iLeft, o.iRight - 1)) continue;
        if (o.iTop < a.iTop && o.iBottom - 1 <= a.iTop) n.iTop = std::max(n.iTop, o.iBottom);
        if (o.iTop > a.iTop) n.iBottom = std::min(n.iBottom, o.iTop);
    }
    // Left and right, among the children whose rows meet the band found.
    for (const uRect& o : others) {
        const bool fMeets = (o.iTop >= n.iTop && o.iTop < n.iBottom) ||
                            (o.iBottom - 1 >= n.iTop && o.iBottom - 1 < n.iBottom) ||
                            (o.iTop < n.iTop && o.iBottom - 1 >= n.iBottom);
        if (!fMeets) continue;
        if (o.iRight - 1 <= a.iLeft) n.iLeft = std::max(n.iLeft, o.iRight);
        if (o.iLeft > a.iLeft) n.iRight = std::min(n.iRight, o.iLeft);
    }
    return n;
}

void MaximizeChild(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pMdiArea) return;
    QMdiSubWindow* pActive = pWindow->pMdiArea->currentSubWindow();
    if (!pActive) return;
    if (pActive->isMaximized() || pActive->isMinimized()) pActive->showNormal();
    pActive->setGeometry(pWindow->pMdiArea->viewport()->rect());
    pActive->show();
}

void AdaptChild(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pMdiArea) return;
    QMdiSubWindow* pActive = pWindow->pMdiArea->currentSubWindow();
    if (!pActive) return;
    std::vector<uRect> others;
    for (QMdiSubWindow* pFrame : OwnFrames(pWindow)) {
        if (pFrame == pActive || !pFrame->isVisible() || pFrame->isMinimized() || pFrame->isMaximized()) continue;
        others.push_back(RectOf(pFrame->geometry()));
    }
    const std::optional<uRect> target =
        AdaptRect(RectOf(pActive->geometry()), RectOf(pWindow->pMdiArea->viewport()->rect()), others);
    if (!target) return;
    pActive->setGeometry(ToQRect(*target));
    pActive->show();
}

void CascadeChildren(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pMdiArea) return;
    // The area's own cascade gives each child its preferred size, which for a window whose
    // gadgets lie in a scroll area is smaller than they need.
    std::vector<std::pair<QPointer<QMdiSubWindow>, QSize>> mSizes;
    for (QMdiSubWindow* pFrame : OwnFrames(pWindow)) {
        if (pFrame->isVisible() && !pFrame->isMinimized() && !pFrame->isMaximized()) mSizes.emplace_back(pFrame, pFrame->size());
    }
    pWindow->pMdiArea->cascadeSubWindows();
    const QRect area = pWindow->pMdiArea->viewport()->rect();
    for (const auto& [pFrame, size] : mSizes) {
        if (!pFrame) continue;
        const QSize room(area.right() + 1 - pFrame->x(), area.bottom() + 1 - pFrame->y());
        pFrame->resize(size.boundedTo(room)
                           .expandedTo(pFrame->size())
                           .expandedTo(pFrame->minimumSize())
                           .expandedTo(pFrame->minimumSizeHint()));
    }
}

void TileChildren(int iWindow, bool fVertical) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pMdiArea) return;
    QList<QMdiSubWindow*> mFrames;
    for (QMdiSubWindow* pFrame : OwnFrames(pWindow)) {
        if (!pFrame->isVisible() || pFrame->isMinimized()) continue;
        if (pFrame->isMaximized()) pFrame->showNormal();
        mFrames.push_back(pFrame);
    }
    const QRect area = pWindow->pMdiArea->viewport()->rect();
    const int n = static_cast<int>(mFrames.size());
    for (int i = 0; i < n; ++i) {
        const int iLength = fVertical ? area.width() : area.height();
        const int iStart = i * iLength / n;
        const int iEnd = (i + 1) * iLength / n;
        if (fVertical) mFrames[i]->setGeometry(area.left() + iStart, area.top(), iEnd - iStart, area.height());
        else mFrames[i]->setGeometry(area.left(), area.top() + iStart, area.width(), iEnd - iStart);
    }
}

} // namespace WindowStart
