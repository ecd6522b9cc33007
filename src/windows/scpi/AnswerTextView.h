// The SCPI command window's answer view: a read-only text view for answers of any length (a
// 64 MiB answer drawn as "Hex + Ascii" is about 4 million lines, 330 MB of text). The text is
// kept as Latin-1 bytes in chunks, one per piece appended, each with its own table of line
// starts, so that appending never copies what is stored. Chunks live in blocks mapped from the
// system, not in the heap: clearing unmaps a few dozen blocks (a few milliseconds' worth per turn
// of the Qt loop) instead of freeing hundreds of megabytes of heap at once, which holds the GUI
// thread and every thread that allocates meanwhile. Only the lines in sight are painted, in a
// fixed-pitch font, a character a column: control characters show as '.', while the text itself
// (toPlainText, the selection, copying) stays byte for byte. The QPlainTextEdit calls the window
// uses keep their names and meaning.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class AnswerTextView : public QAbstractScrollArea {
  public:
    enum eLineWrapMode { NoWrap = 0, WidgetWidth = 1 };
    // Space around the text inside the viewport, in pixels.
    static constexpr int Margin = 4;

    explicit AnswerTextView(QWidget* pParent = nullptr);
    ~AnswerTextView() override;
    AnswerTextView(const AnswerTextView&) = delete;
    AnswerTextView& operator=(const AnswerTextView&) = delete;

    // As QPlainTextEdit: the text replaced; a new paragraph appended (no line end before it in
    // an empty view); everything removed; the whole text with its lines joined by '\n'.
    // Characters beyond Latin-1 become '?'.
    void setPlainText(const QString& sText);
    void appendPlainText(const QString& sText);
    void clear();
    QString toPlainText() const;
    // WidgetWidth breaks lines at the viewport's width, NoWrap scrolls sideways.
    void setLineWrapMode(eLineWrapMode eMode);
    eLineWrapMode lineWrapMode() const { return eWrap; }
    bool hasSelection() const { return anchor.iLine != cursor.iLine || anchor.iColumn != cursor.iColumn; }
    // The selected characters, lines joined by '\n'.
    QString selectedText() const;
    void selectAll();

    // Latin-1 bytes ('\n' ends a line) as they are: the text replaced, or appended as a new
    // paragraph. Throws std::bad_alloc when no memory can be mapped for them.
    void SetLatin1(std::string_view sText);
    void AppendLatin1(std::string_view sText);

    std::int64_t LineCount() const;
    // Screen rows of the whole text: the lines, or more where they are broken at the width.
    std::int64_t RowCount() const;
    // The line as stored; empty beyond the last.
    std::string_view Line(std::int64_t iLine) const;
    std::int64_t LongestLine() const { return iLongest; }
    // Characters a row holds when breaking lines (0: not breaking).
    std::int64_t WrapColumns() const { return iColumns; }
    // The row at the top of the viewport.
    std::int64_t FirstVisibleRow() const;
    // Rows the viewport shows whole.
    int VisibleRows() const;

  protected:
    bool event(QEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void scrollContentsBy(int iDx, int iDy) override;

  private:
    // A piece of the text: whole lines, '\n' between them (the chunks are joined by '\n' too).
    // Text and line starts lie in the view's blocks.
    struct uChunk {
        std::string_view sText;
        const std::uint32_t* pStarts = nullptr; // where each line begins in sText
        std::size_t iLines = 0;
        std::int64_t iFirstLine = 0;            // lines of the chunks before
        std::int64_t iFirstRow = 0;         // rows of the chunks before, for iColumns
        std::int64_t iRows = 0;             // rows of this chunk, for iColumns
    };
    // A place between two characters: the line and the characters before it in the line.
    struct uPlace {
        std::int64_t iLine = 0;
        std::int64_t iColumn = 0;
    };
    // A screen row: its chunk, its line in the chunk, the line's first character on the row.
    struct uRow {
        std::size_t iChunk = 0;
        std::size_t iLine = 0;
        std::int64_t iColumn = 0;
    };

    // A block of memory mapped from the system, filled from its start.
    struct uBlock {
        char* p = nullptr;
        std::size_t iSize = 0, iUsed = 0;
    };

    void AddChunk(std::string_view sText);
    // iBytes of the current block (4-byte aligned), or of a new one.
    char* Reserve(std::size_t iBytes);
    std::int64_t LineLength(const uChunk& chunk, std::size_t iLine) const;
    std::string_view ChunkLine(const uChunk& chunk, std::size_t iLine) const;
    std::int64_t RowsOfLine(std::int64_t iLength) const;
    std::int64_t CountRows(const uChunk& chunk) const;
    std::size_t ChunkOfLine(std::int64_t iLine) const;
    // The row of a screen-row number (false beyond the text), and the one after it.
    bool RowAt(std::int64_t iRow, uRow& row) const;
    bool NextRow(uRow& row) const;
    std::int64_t RowOfPlace(const uPlace& place) const;
    uPlace PlaceAt(const QPoint& at) const;
    uPlace EndPlace() const;
    // The selection's ends in text order.
    void SelectionBounds(uPlace& from, uPlace& to) const;
    // After a change of font, width or mode: columns, rows and scroll bars anew, the top line kept.
    void Relayout();
    void UpdateScrollBars();
    void CopySelection() const;
    void DisposeStep();

    std::vector<uChunk> mChunks;
    std::vector<uBlock> mBlocks;
    // Blocks let go by clear(), unmapped a few milliseconds' worth per turn of the Qt loop.
    std::vector<uBlock> mDisposal;
    QTimer disposeTimer;
    std::int64_t iLongest = 0;
    std::int64_t iColumns = 0;
    eLineWrapMode eWrap = NoWrap;
    double dCharWidth = 8;
    int iLineHeight = 16;
    int iAscent = 12;
    uPlace anchor, cursor;
    bool fDragging = false;
};
