// The SCPI command window's answer view: chunks of Latin-1 lines, painted a visible row at a time.
#include "windows/scpi/AnswerTextView.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Lines per chunk at most, so that finding a row in a chunk stays short.
constexpr std::size_t ChunkLines = 4096;
// The size of the mapped blocks (a larger piece gets a block of its own); pages never written
// take no memory. Unmapping one takes well under a millisecond.
constexpr std::size_t BlockBytes = std::size_t{4} << 20;
// Dropping let-go chunks takes about this long per turn of the Qt loop.
constexpr std::chrono::microseconds DisposeStepTime{1000};

// What is painted for each byte: the character itself, or '.' where it is a control character
// (or the soft hyphen, which has no width), so that every byte takes one column.
const std::array<char16_t, 256> Shown = [] {
    std::array<char16_t, 256> m{};
    for (int b = 0; b < 256; ++b) {
        const bool fPrintable = (b >= 32 && b < 127) || (b >= 160 && b != 173);
        m[static_cast<std::size_t>(b)] = fPrintable ? static_cast<char16_t>(b) : u'.';
    }
    return m;
}();

int ClampToInt(std::int64_t i) { return static_cast<int>(std::clamp<std::int64_t>(i, 0, INT_MAX)); }

QLatin1String Latin1(std::string_view s) { return QLatin1String(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

AnswerTextView::AnswerTextView(QWidget* pParent) : QAbstractScrollArea(pParent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    disposeTimer.setSingleShot(true);
    disposeTimer.setInterval(0);
    QObject::connect(&disposeTimer, &QTimer::timeout, this, [this] { DisposeStep(); });
    Relayout();
}

struct AnswerTextView::uBlock {
    char* p = nullptr;
    std::size_t iSize = 0;
    uBlock() = default;
    uBlock(const uBlock&) = delete;
    uBlock& operator=(const uBlock&) = delete;
    ~uBlock() {
        if (p) munmap(p, iSize);
    }
};

AnswerTextView::uPiece AnswerTextView::Writer::Make(std::string_view sText) {
    const std::size_t iSize = sText.size();
    if (iSize >= UINT32_MAX) throw std::length_error("AnswerTextView::Writer::Make");
    uPiece piece;
    piece.iLines = static_cast<std::size_t>(std::count(sText.begin(), sText.end(), '\n')) + 1;
    // The starts first, which keeps them aligned; the next piece begins 4-byte aligned.
    const std::size_t iBytes = (piece.iLines * sizeof(std::uint32_t) + iSize + 3) & ~std::size_t{3};
    const auto map = [](std::size_t iBlockBytes) {
        auto pNew = std::make_shared<uBlock>();
        void* p = mmap(nullptr, iBlockBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        pNew->p = static_cast<char*>(p);
        pNew->iSize = iBlockBytes;
        return pNew;
    };
    // A piece larger than a block gets one of its own, which the writer does not keep: it goes
    // when the view lets go of the piece.
    std::shared_ptr<uBlock> pOwn;
    char* pAt = nullptr;
    if (iBytes > BlockBytes) {
        pOwn = map(iBytes);
        pAt = pOwn->p;
    } else {
        if (!pBlock || pBlock->iSize - iUsed < iBytes) {
            pBlock = map(BlockBytes);
            iUsed = 0;
        }
        pAt = pBlock->p + iUsed;
        iUsed += iBytes;
    }
    auto* pStarts = reinterpret_cast<std::uint32_t*>(pAt);
    char* pText = reinterpret_cast<char*>(pStarts + piece.iLines);
    if (iSize > 0) std::memcpy(pText, sText.data(), iSize);
    std::size_t iLine = 0, iStart = 0;
    pStarts[iLine++] = 0;
    while (const void* pEnd = iStart < iSize ? std::memchr(pText + iStart, '\n', iSize - iStart) : nullptr) {
        const auto iEnd = static_cast<std::size_t>(static_cast<const char*>(pEnd) - pText);
        piece.iLongest = std::max(piece.iLongest, static_cast<std::int64_t>(iEnd - iStart));
        iStart = iEnd + 1;
        pStarts[iLine++] = static_cast<std::uint32_t>(iStart);
    }
    piece.iLongest = std::max(piece.iLongest, static_cast<std::int64_t>(iSize - iStart));
    piece.pBlock = pOwn ? std::move(pOwn) : pBlock;
    piece.pText = pText;
    piece.iSize = iSize;
    piece.pStarts = pStarts;
    return piece;
}

void AnswerTextView::setPlainText(const QString& sText) {
    const QByteArray text = sText.toLatin1();
    SetLatin1(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void AnswerTextView::appendPlainText(const QString& sText) {
    const QByteArray text = sText.toLatin1();
    AppendLatin1(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void AnswerTextView::SetLatin1(std::string_view sText) {
    clear();
    if (!sText.empty()) Add(writer.Make(sText), false); // shown from its top
}

void AnswerTextView::AppendLatin1(std::string_view sText) {
    if (mChunks.empty() && sText.empty()) return;
    AppendPiece(writer.Make(sText));
}

void AnswerTextView::AppendPiece(const uPiece& piece) {
    // As a text editor does: a view that shows its last line follows what is appended.
    Add(piece, isVisible() && FirstVisibleRow() + VisibleRows() >= RowCount());
}

void AnswerTextView::Add(const uPiece& piece, bool fFollow) {
    if (mChunks.empty() && piece.iSize == 0) return; // an empty view stays empty
    iLongest = std::max(iLongest, piece.iLongest);
    for (std::size_t i = 0; i < piece.iLines; i += ChunkLines) {
        uChunk chunk;
        chunk.pBlock = piece.pBlock;
        chunk.pText = piece.pText;
        chunk.pStarts = piece.pStarts + i;
        chunk.iLines = std::min(ChunkLines, piece.iLines - i);
        chunk.iEnd = i + chunk.iLines < piece.iLines ? piece.pStarts[i + chunk.iLines] - 1 : piece.iSize;
        chunk.iFirstLine = LineCount();
        chunk.iFirstRow = RowCount();
        chunk.iRows = CountRows(chunk);
        mChunks.push_back(std::move(chunk));
    }
    UpdateScrollBars();
    if (fFollow) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void AnswerTextView::clear() {
    if (!mChunks.empty()) {
        mDisposal.insert(mDisposal.end(), std::make_move_iterator(mChunks.begin()), std::make_move_iterator(mChunks.end()));
        mChunks.clear();
        disposeTimer.start();
    }
    iLongest = 0;
    anchor = cursor = {};
    fDragging = false;
    UpdateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
}

void AnswerTextView::DisposeStep() {
    const auto deadline = std::chrono::steady_clock::now() + DisposeStepTime;
    while (!mDisposal.empty()) {
        mDisposal.pop_back();
        if (std::chrono::steady_clock::now() >= deadline) break;
    }
    if (!mDisposal.empty()) disposeTimer.start();
}

QString AnswerTextView::toPlainText() const {
    QString s;
    if (mChunks.empty()) return s;
    qsizetype iSize = static_cast<qsizetype>(mChunks.size()) - 1;
    for (const uChunk& chunk : mChunks) iSize += static_cast<qsizetype>(chunk.iEnd - chunk.pStarts[0]);
    s.reserve(iSize);
    for (const uChunk& chunk : mChunks) {
        if (&chunk != &mChunks.front()) s += u'\n';
        s += Latin1(std::string_view(chunk.pText + chunk.pStarts[0], chunk.iEnd - chunk.pStarts[0]));
    }
    return s;
}

std::int64_t AnswerTextView::LineCount() const {
    return mChunks.empty() ? 0 : mChunks.back().iFirstLine + static_cast<std::int64_t>(mChunks.back().iLines);
}

std::int64_t AnswerTextView::RowCount() const {
    return mChunks.empty() ? 0 : mChunks.back().iFirstRow + mChunks.back().iRows;
}

std::int64_t AnswerTextView::LineLength(const uChunk& chunk, std::size_t iLine) const {
    const std::size_t iEnd = iLine + 1 < chunk.iLines ? chunk.pStarts[iLine + 1] - 1 : chunk.iEnd;
    return static_cast<std::int64_t>(iEnd - chunk.pStarts[iLine]);
}

std::string_view AnswerTextView::ChunkLine(const uChunk& chunk, std::size_t iLine) const {
    return {chunk.pText + chunk.pStarts[iLine], static_cast<std::size_t>(LineLength(chunk, iLine))};
}

std::size_t AnswerTextView::ChunkOfLine(std::int64_t iLine) const {
    const auto it = std::upper_bound(mChunks.begin(), mChunks.end(), iLine,
                                     [](std::int64_t i, const uChunk& chunk) { return i < chunk.iFirstLine; });
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, it - mChunks.begin() - 1));
}

std::string_view AnswerTextView::Line(std::int64_t iLine) const {
    if (iLine < 0 || iLine >= LineCount()) return {};
    const uChunk& chunk = mChunks[ChunkOfLine(iLine)];
    return ChunkLine(chunk, static_cast<std::size_t>(iLine - chunk.iFirstLine));
}

std::int64_t AnswerTextView::RowsOfLine(std::int64_t iLength) const {
    return iColumns == 0 ? 1 : std::max<std::int64_t>(1, (iLength + iColumns - 1) / iColumns);
}

std::int64_t AnswerTextView::CountRows(const uChunk& chunk) const {
    if (iColumns == 0) return static_cast<std::int64_t>(chunk.iLines);
    std::int64_t iRows = 0;
    for (std::size_t i = 0; i < chunk.iLines; ++i) iRows += RowsOfLine(LineLength(chunk, i));
    return iRows;
}

bool AnswerTextView::RowAt(std::int64_t iRow, uRow& row) const {
    if (iRow < 0 || iRow >= RowCount()) return false;
    const auto it = std::upper_bound(mChunks.begin(), mChunks.end(), iRow,
                                     [](std::int64_t i, const uChunk& chunk) { return i < chunk.iFirstRow; });
    row.iChunk = static_cast<std::size_t>(it - mChunks.begin() - 1);
    const uChunk& chunk = mChunks[row.iChunk];
    std::int64_t iLeft = iRow - chunk.iFirstRow;
    if (iColumns == 0) {
        row.iLine = static_cast<std::size_t>(iLeft);
        row.iColumn = 0;
        return true;
    }
    for (std::size_t i = 0; i < chunk.iLines; ++i) {
        const std::int64_t iRows = RowsOfLine(LineLength(chunk, i));
        if (iLeft < iRows) {
            row.iLine = i;
            row.iColumn = iLeft * iColumns;
            return true;
        }
        iLeft -= iRows;
    }
    return false;
}

bool AnswerTextView::NextRow(uRow& row) const {
    if (iColumns > 0 && row.iColumn + iColumns < LineLength(mChunks[row.iChunk], row.iLine)) {
        row.iColumn += iColumns;
        return true;
    }
    row.iColumn = 0;
    if (++row.iLine < mChunks[row.iChunk].iLines) return true;
    row.iLine = 0;
    return ++row.iChunk < mChunks.size();
}

std::int64_t AnswerTextView::RowOfPlace(const uPlace& place) const {
    if (mChunks.empty()) return 0;
    const std::int64_t iLine = std::clamp<std::int64_t>(place.iLine, 0, LineCount() - 1);
    const uChunk& chunk = mChunks[ChunkOfLine(iLine)];
    const auto iInChunk = static_cast<std::size_t>(iLine - chunk.iFirstLine);
    if (iColumns == 0) return chunk.iFirstRow + static_cast<std::int64_t>(iInChunk);
    std::int64_t iRow = chunk.iFirstRow;
    for (std::size_t i = 0; i < iInChunk; ++i) iRow += RowsOfLine(LineLength(chunk, i));
    return iRow + std::min(std::max<std::int64_t>(0, place.iColumn) / iColumns,
                           RowsOfLine(LineLength(chunk, iInChunk)) - 1);
}

AnswerTextView::uPlace AnswerTextView::EndPlace() const {
    if (mChunks.empty()) return {};
    const uChunk& chunk = mChunks.back();
    return {LineCount() - 1, LineLength(chunk, chunk.iLines - 1)};
}

AnswerTextView::uPlace AnswerTextView::PlaceAt(const QPoint& at) const {
    const int iY = at.y() - Margin;
    const std::int64_t iRow = FirstVisibleRow() + (iY < 0 ? -1 - (-iY - 1) / iLineHeight : iY / iLineHeight);
    if (iRow < 0 || mChunks.empty()) return {};
    uRow row;
    if (!RowAt(iRow, row)) return EndPlace();
    const uChunk& chunk = mChunks[row.iChunk];
    const std::int64_t iLength = LineLength(chunk, row.iLine);
    const double dX = at.x() - Margin + (iColumns == 0 ? horizontalScrollBar()->value() : 0);
    const std::int64_t iColumn = row.iColumn + std::llround(std::max(0.0, dX) / dCharWidth);
    const std::int64_t iRowEnd = iColumns == 0 ? iLength : std::min(iLength, row.iColumn + iColumns);
    return {chunk.iFirstLine + static_cast<std::int64_t>(row.iLine), std::min(iColumn, iRowEnd)};
}

std::int64_t AnswerTextView::FirstVisibleRow() const { return verticalScrollBar()->value(); }

int AnswerTextView::VisibleRows() const { return std::max(1, (viewport()->height() - 2 * Margin) / iLineHeight); }

void AnswerTextView::setLineWrapMode(eLineWrapMode eMode) {
    if (eMode == eWrap) return;
    eWrap = eMode;
    Relayout();
}

void AnswerTextView::Relayout() {
    uPlace top;
    uRow row;
    if (RowAt(FirstVisibleRow(), row)) {
        top = {mChunks[row.iChunk].iFirstLine + static_cast<std::int64_t>(row.iLine), row.iColumn};
    }
    const QFontMetricsF metrics(font());
    dCharWidth = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')));
    iLineHeight = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    iAscent = static_cast<int>(std::ceil(metrics.ascent()));
    const std::int64_t iNew =
        eWrap == WidgetWidth
            ? std::max<std::int64_t>(1, static_cast<std::int64_t>((viewport()->width() - 2 * Margin) / dCharWidth))
            : 0;
    if (iNew != iColumns) {
        iColumns = iNew;
        std::int64_t iFirstRow = 0;
        for (uChunk& chunk : mChunks) {
            chunk.iFirstRow = iFirstRow;
            chunk.iRows = CountRows(chunk);
            iFirstRow += chunk.iRows;
        }
    }
    UpdateScrollBars();
    verticalScrollBar()->setValue(ClampToInt(RowOfPlace(top)));
    viewport()->update();
}

void AnswerTextView::UpdateScrollBars() {
    QScrollBar* pVertical = verticalScrollBar();
    const int iPage = VisibleRows();
    pVertical->setRange(0, ClampToInt(RowCount() - iPage));
    pVertical->setPageStep(iPage);
    pVertical->setSingleStep(1);
    QScrollBar* pHorizontal = horizontalScrollBar();
    const int iWidth = viewport()->width();
    const double dText = iColumns > 0 ? 0 : static_cast<double>(iLongest) * dCharWidth + 2 * Margin;
    pHorizontal->setRange(0, ClampToInt(static_cast<std::int64_t>(std::ceil(dText)) - iWidth));
    pHorizontal->setPageStep(std::max(1, iWidth));
    pHorizontal->setSingleStep(std::max(1, static_cast<int>(std::lround(dCharWidth))));
}

void AnswerTextView::paintEvent(QPaintEvent*) {
    uRow row;
    if (!RowAt(FirstVisibleRow(), row)) return;
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette& colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const QColor highlight = colours.color(QPalette::Highlight);
    const QColor highlightedText = colours.color(QPalette::HighlightedText);
    const bool fSelection = hasSelection();
    uPlace from, to;
    SelectionBounds(from, to);
    const int iScroll = iColumns == 0 ? horizontalScrollBar()->value() : 0;
    // Without breaking, only the columns in sight are painted.
    const std::int64_t iSightFrom = iColumns == 0 ? static_cast<std::int64_t>(std::max(0, iScroll - Margin) / dCharWidth) : 0;
    const std::int64_t iSightColumns = static_cast<std::int64_t>(viewport()->width() / dCharWidth) + 2;
    QString sShown;
    for (int iTop = Margin; iTop < viewport()->height(); iTop += iLineHeight) {
        const uChunk& chunk = mChunks[row.iChunk];
        const std::string_view sLine = ChunkLine(chunk, row.iLine);
        const auto iLength = static_cast<std::int64_t>(sLine.size());
        // Characters of the line on this row; the line end counts as one more column on its
        // last row, for the selection.
        std::int64_t iBegin = row.iColumn, iEnd = iLength, iRowLimit = iLength + 1;
        if (iColumns > 0) {
            iEnd = std::min(iLength, row.iColumn + iColumns);
            if (row.iColumn + iColumns < iLength) iRowLimit = iEnd; // not the line's last row
        } else {
            iBegin = std::min(iLength, iSightFrom);
            iEnd = std::min(iLength, iSightFrom + iSightColumns);
        }
        const double dOrigin = (iColumns > 0 ? Margin - static_cast<double>(row.iColumn) * dCharWidth : Margin - iScroll);
        const auto x = [&](std::int64_t iColumn) { return dOrigin + static_cast<double>(iColumn) * dCharWidth; };
        std::int64_t iSelFrom = 0, iSelTo = 0;
        const std::int64_t iLine = chunk.iFirstLine + static_cast<std::int64_t>(row.iLine);
        if (fSelection && iLine >= from.iLine && iLine <= to.iLine) {
            iSelFrom = std::max(iLine == from.iLine ? from.iColumn : 0, iColumns > 0 ? row.iColumn : 0);
            iSelTo = std::min(iLine == to.iLine ? to.iColumn : iLength + 1, iRowLimit);
            if (iSelTo > iSelFrom) {
                painter.fillRect(QRectF(x(iSelFrom), iTop, static_cast<double>(iSelTo - iSelFrom) * dCharWidth, iLineHeight),
                                 highlight);
            }
        }
        sShown.resize(static_cast<qsizetype>(std::max<std::int64_t>(0, iEnd - iBegin)));
        for (std::int64_t i = iBegin; i < iEnd; ++i) {
            sShown[static_cast<qsizetype>(i - iBegin)] = QChar(Shown[static_cast<unsigned char>(sLine[static_cast<std::size_t>(i)])]);
        }
        // Before the selection, in it, after it.
        const std::int64_t iA = std::clamp(iSelFrom, iBegin, iEnd);
        const std::int64_t iB = std::clamp(std::max(iSelTo, iSelFrom), iA, iEnd);
        const std::int64_t mBounds[4] = {iBegin, iA, iB, iEnd};
        for (int k = 0; k < 3; ++k) {
            if (mBounds[k + 1] <= mBounds[k]) continue;
            painter.setPen(k == 1 ? highlightedText : text);
            painter.drawText(QPointF(x(mBounds[k]), iTop + iAscent),
                             sShown.sliced(static_cast<qsizetype>(mBounds[k] - iBegin),
                                           static_cast<qsizetype>(mBounds[k + 1] - mBounds[k])));
        }
        if (!NextRow(row)) break;
    }
}

void AnswerTextView::SelectionBounds(uPlace& from, uPlace& to) const {
    const bool fForward = anchor.iLine < cursor.iLine || (anchor.iLine == cursor.iLine && anchor.iColumn < cursor.iColumn);
    from = fForward ? anchor : cursor;
    to = fForward ? cursor : anchor;
}

QString AnswerTextView::selectedText() const {
    QString s;
    if (!hasSelection()) return s;
    uPlace from, to;
    SelectionBounds(from, to);
    std::size_t iChunk = ChunkOfLine(from.iLine);
    std::size_t iLine = static_cast<std::size_t>(from.iLine - mChunks[iChunk].iFirstLine);
    for (std::int64_t i = from.iLine; i <= to.iLine; ++i) {
        const std::string_view sLine = ChunkLine(mChunks[iChunk], iLine);
        const auto iLength = static_cast<std::int64_t>(sLine.size());
        const std::int64_t iBegin = i == from.iLine ? std::min(from.iColumn, iLength) : 0;
        const std::int64_t iEnd = i == to.iLine ? std::min(to.iColumn, iLength) : iLength;
        if (i > from.iLine) s += u'\n';
        if (iEnd > iBegin) s += Latin1(sLine.substr(static_cast<std::size_t>(iBegin), static_cast<std::size_t>(iEnd - iBegin)));
        if (++iLine == mChunks[iChunk].iLines) {
            iLine = 0;
            ++iChunk;
        }
    }
    return s;
}

void AnswerTextView::selectAll() {
    anchor = {};
    cursor = EndPlace();
    viewport()->update();
}

void AnswerTextView::CopySelection() const {
    if (hasSelection()) QGuiApplication::clipboard()->setText(selectedText());
}

bool AnswerTextView::event(QEvent* pEvent) {
    // The view's own keys come before shortcuts of the window with the same keys.
    if (pEvent->type() == QEvent::ShortcutOverride) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->matches(QKeySequence::Copy) || pKey->matches(QKeySequence::SelectAll) ||
            pKey->matches(QKeySequence::MoveToStartOfDocument) || pKey->matches(QKeySequence::MoveToEndOfDocument)) {
            pEvent->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(pEvent);
}

void AnswerTextView::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (pEvent->matches(QKeySequence::Copy)) {
        CopySelection();
    } else if (pEvent->matches(QKeySequence::MoveToStartOfDocument)) {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
    } else if (pEvent->matches(QKeySequence::MoveToEndOfDocument)) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        horizontalScrollBar()->setValue(0);
    } else {
        QAbstractScrollArea::keyPressEvent(pEvent); // arrows and pages move the scroll bars
        return;
    }
    pEvent->accept();
}

void AnswerTextView::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(pEvent);
        return;
    }
    const uPlace place = PlaceAt(pEvent->position().toPoint());
    if (!(pEvent->modifiers() & Qt::ShiftModifier)) anchor = place;
    cursor = place;
    fDragging = true;
    viewport()->update();
}

void AnswerTextView::mouseMoveEvent(QMouseEvent* pEvent) {
    if (!fDragging || !(pEvent->buttons() & Qt::LeftButton)) return;
    const QPoint at = pEvent->position().toPoint();
    // Dragged beyond an edge, the view scrolls along.
    QScrollBar* pVertical = verticalScrollBar();
    if (at.y() < 0) pVertical->setValue(pVertical->value() - 1);
    else if (at.y() >= viewport()->height()) pVertical->setValue(pVertical->value() + 1);
    QScrollBar* pHorizontal = horizontalScrollBar();
    if (at.x() < 0) pHorizontal->setValue(pHorizontal->value() - pHorizontal->singleStep());
    else if (at.x() >= viewport()->width()) pHorizontal->setValue(pHorizontal->value() + pHorizontal->singleStep());
    cursor = PlaceAt(at);
    viewport()->update();
}

void AnswerTextView::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) fDragging = false;
    else QAbstractScrollArea::mouseReleaseEvent(pEvent);
}

void AnswerTextView::resizeEvent(QResizeEvent* pEvent) {
    QAbstractScrollArea::resizeEvent(pEvent);
    Relayout();
}

void AnswerTextView::changeEvent(QEvent* pEvent) {
    QAbstractScrollArea::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange) Relayout();
}

void AnswerTextView::scrollContentsBy(int, int) { viewport()->update(); }
