// The SCPI command window's answer view: a read-only text view for answers of any length (a
// 64 MiB answer drawn as "Hex + Ascii" is about 4 million lines, 330 MB of text). The text is
// kept as Latin-1 bytes with a table of line starts per piece appended, so that appending never
// copies what is stored. Pieces are prepared in memory mapped from the system, on any thread (the
// drawing thread prepares its portions itself, so the GUI thread neither copies them nor touches
// fresh pages); clearing lets go of a few dozen blocks, unmapped a few milliseconds' worth per
// turn of the Qt loop, instead of freeing hundreds of megabytes of heap at once. Only the lines
// in sight are painted, in a fixed-pitch font, a character a column: control characters show as
// '.', while the text itself (toPlainText, the selection, copying) stays byte for byte. The
// QPlainTextEdit calls the window uses keep their names and meaning.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
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

    // Memory mapped for pieces; unmapped when the last piece in it is let go.
    struct uBlock;
    // Whole lines of Latin-1 text ('\n' between them) and where each begins, in a block.
    struct uPiece {
        std::shared_ptr<const uBlock> pBlock;
        const char* pText = nullptr;
        std::size_t iSize = 0;
        const std::uint32_t* pStarts = nullptr;
        std::size_t iLines = 0;
        std::int64_t iLongest = 0; // characters of its longest line
    };
    // Prepares pieces on any thread, filling one block after another (one writer per thread;
    // a piece larger than a block gets its own).
    class Writer {
      public:
        // The text as a piece. Throws std::bad_alloc when no memory can be mapped, and
        // std::length_error for a text of 4 GiB or more.
        uPiece Make(std::string_view sText);

      private:
        std::shared_ptr<uBlock> pBlock;
        std::size_t iUsed = 0;
    };

    // A piece appended as a new paragraph (no line end before it in an empty view).
    void AppendPiece(const uPiece& piece);
    // Latin-1 bytes ('\n' ends a line) as they are: the text replaced (and shown from its top),
    // or appended as a new paragraph. Throw as Writer::Make does.
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
    // Up to ChunkLines lines of a piece (the chunks are joined by '\n').
    struct uChunk {
        std::shared_ptr<const uBlock> pBlock;
        const char* pText = nullptr;            // the piece's text
        const std::uint32_t* pStarts = nullptr; // where each line of the chunk begins in pText
        std::size_t iLines = 0;
        std::size_t iEnd = 0;                   // where the chunk's last line ends in pText
        std::int64_t iFirstLine = 0;            // lines of the chunks before
        std::int64_t iFirstRow = 0;             // rows of the chunks before, for iColumns
        std::int64_t iRows = 0;                 // rows of this chunk, for iColumns
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

    // The piece's lines after the others; with fFollow the view scrolls to its end.
    void Add(const uPiece& piece, bool fFollow);
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
    // Chunks let go by clear(), dropped a few milliseconds' worth per turn of the Qt loop (the
    // last chunk of a block unmaps it).
    std::vector<uChunk> mDisposal;
    Writer writer; // for the text given to the view itself
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
