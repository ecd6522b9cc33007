// Arranging the MDI children of a main window: fitting the active one to the area, growing it
// into the free space around its top-left corner, cascading them, and tiling them side by side
// or one above the other.
#include "app/ChildWindow.h"
#include "app/Window.h"
#include "app/WindowStart.h"
#include "common/UtilityGui.h"
#include "platform/WindowFrame.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include <algorithm>
#include <cstdint>
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

// The least size of a child's MDI frame: its own minimum or what its layout needs.
QSize MinimumOf(const QMdiSubWindow* pFrame) { return pFrame->minimumSize().expandedTo(pFrame->minimumSizeHint()); }

// The rectangle moved back into the area where it runs out at the right or bottom (never past
// the area's left or top edge).
QRect InsideArea(QRect r, const QRect& area) {
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r;
}

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
    if (pActive->isMaximized() || pActive->isMinimized()) Utility::ShowNormal(pActive);
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
        const QSize wanted = size.boundedTo(room).expandedTo(pFrame->size()).expandedTo(MinimumOf(pFrame));
        pFrame->setGeometry(InsideArea(QRect(pFrame->pos(), wanted), area));
    }
}

void KeepChildrenInside(int iWindow) {
    uWindowStart* pWindow = nullptr;
    if (!GetInstance(iWindow, &pWindow) || !pWindow->pMdiArea) return;
    const QRect area = pWindow->pMdiArea->viewport()->rect();
    for (QMdiSubWindow* pFrame : OwnFrames(pWindow)) {
        if (!pFrame->isVisible() || pFrame->isMinimized() || pFrame->isMaximized()) continue;
        const QRect r = pFrame->geometry();
        if (area.contains(r)) continue;
        const QSize size = r.size().boundedTo(area.size()).expandedTo(MinimumOf(pFrame));
        pFrame->setGeometry(InsideArea(QRect(r.topLeft(), size), area));
    }
}

std::vector<std::pair<int, int>> TileSpans(const std::vector<int>& mMinimum, int iLength) {
    const std::size_t n = mMinimum.size();
    std::vector<int> mLeast(n);
    std::int64_t iLeastSum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        mLeast[i] = std::clamp(mMinimum[i], 0, std::max(iLength, 0));
        iLeastSum += mLeast[i];
    }
    std::vector<std::pair<int, int>> mSpans(n);
    if (n == 0) return mSpans;
    if (iLeastSum > iLength) {
        // Overlapping: the starts of the children laid end to end, squeezed so that the last
        // one ends at the end, none so late that it would run out; each reaches to the end, so
        // that the one brought to the front shows as large as it can.
        const std::int64_t iEnds = iLeastSum - mLeast[n - 1];
        const std::int64_t iRoom = iLength - mLeast[n - 1];
        std::int64_t iStart = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const int iAt = std::min(iEnds > 0 ? static_cast<int>(iStart * iRoom / iEnds) : 0, iLength - mLeast[i]);
            mSpans[i] = {iAt, iLength - iAt};
            iStart += mLeast[i];
        }
        return mSpans;
    }
    // The children whose minimum is above their share keep it; the rest share what is left.
    std::vector<bool> mFixed(n, false);
    std::int64_t iFixedLength = 0;
    std::size_t iFixed = 0;
    for (bool fChanged = true; fChanged && iFixed < n;) {
        fChanged = false;
        const std::int64_t iShare = (iLength - iFixedLength) / static_cast<std::int64_t>(n - iFixed);
        for (std::size_t i = 0; i < n; ++i) {
            if (mFixed[i] || mLeast[i] <= iShare) continue;
            mFixed[i] = true;
            iFixedLength += mLeast[i];
            ++iFixed;
            fChanged = true;
        }
    }
    const std::int64_t iRest = iLength - iFixedLength;
    const auto iShared = static_cast<std::int64_t>(n - iFixed);
    std::int64_t iStart = 0, j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int iSpan = mLeast[i];
        if (!mFixed[i]) {
            iSpan = static_cast<int>((j + 1) * iRest / iShared - j * iRest / iShared);
            ++j;
        }
        mSpans[i] = {static_cast<int>(iStart), iSpan};
        iStart += iSpan;
    }
    return mSpans;
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
    std::vector<int> mMinimum;
    for (const QMdiSubWindow* pFrame : mFrames) {
        const QSize least = MinimumOf(pFrame);
        mMinimum.push_back(fVertical ? least.width() : least.height());
    }
    const std::vector<std::pair<int, int>> mSpans = TileSpans(mMinimum, fVertical ? area.width() : area.height());
    for (std::size_t i = 0; i < mSpans.size(); ++i) {
        // Where they overlap, each later one lies over the earlier ones, whose starts show.
        mFrames[static_cast<int>(i)]->raise();
        const auto [iStart, iLength] = mSpans[i];
        const QSize least = MinimumOf(mFrames[static_cast<int>(i)]);
        if (fVertical) {
            mFrames[static_cast<int>(i)]->setGeometry(area.left() + iStart, area.top(), iLength,
                                                      std::max(area.height(), least.height()));
        } else {
            mFrames[static_cast<int>(i)]->setGeometry(area.left(), area.top() + iStart,
                                                      std::max(area.width(), least.width()), iLength);
        }
    }
}

} // namespace WindowStart
