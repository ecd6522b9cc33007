// The SCPI command window's answer view: a read-only text view for answers of any length (a
// 64 MiB answer drawn as "Hex + Ascii" is about 4 million lines). The text is kept as Latin-1
// bytes in chunks, one per piece appended, each with its own table of line starts, so that
// appending never copies what is stored and clearing lets go of a few thousand blocks. Only the
// lines in sight are painted, in a fixed-pitch font, a character a column: control characters
// show as '.', while the text itself (toPlainText, the selection, copying) stays byte for byte.
// The QPlainTextEdit calls the window uses keep their names and meaning.
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

    // Latin-1 bytes ('\n' ends a line) taken over as they are: the text replaced, or appended as
    // a new paragraph.
    void SetLatin1(std::string sText);
    void AppendLatin1(std::string sText);

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
    struct uChunk {
        std::string sText;
        std::vector<std::uint32_t> mStarts; // where each line begins in sText
        std::int64_t iFirstLine = 0;        // lines of the chunks before
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

    void AddChunk(std::string&& sText);
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
    // Chunks let go by clear(), freed a few milliseconds' worth per turn of the Qt loop: the
    // text of a long answer is hundreds of megabytes, whose freeing at once holds the GUI thread.
    std::vector<uChunk> mDisposal;
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
