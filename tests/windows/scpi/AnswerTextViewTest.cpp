// The SCPI command window's answer view on its own: text kept exact across appended pieces and
// the cuts of a long one, rows of broken lines, selection by mouse across pieces and copying,
// the document keys, and clearing. Driven with QTest offscreen.
#include "common/TestApplication.h"
#include "windows/scpi/AnswerTextView.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

class ScpiAnswerTextView : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { TestApplication::Ensure(); }
    void SetUp() override {
        view.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view.resize(420, 400);
        view.show();
        QCoreApplication::processEvents();
    }
    // The viewport point of a place (line, characters before it) on a line in sight.
    QPoint At(std::int64_t iLine, std::int64_t iColumn) const {
        const QFontMetricsF metrics(view.font());
        const double dChar = metrics.horizontalAdvance(QLatin1Char('M'));
        const int iHeight = static_cast<int>(std::ceil(metrics.lineSpacing()));
        const int iX = static_cast<int>(std::lround(AnswerTextView::Margin + static_cast<double>(iColumn) * dChar -
                                                    view.horizontalScrollBar()->value()));
        return {iX, AnswerTextView::Margin + static_cast<int>(iLine - view.FirstVisibleRow()) * iHeight + iHeight / 2};
    }
    static QString L1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

    AnswerTextView view;
};

TEST_F(ScpiAnswerTextView, AppendedPiecesKeepTheTextExact) {
    std::string sLong;
    for (int i = 0; i < 12000; ++i) sLong += std::string(99, static_cast<char>('a' + i % 26)) + "\n";
    struct uCase {
        const char* sName;
        std::vector<std::string> mPieces; // the first with setPlainText, the others appended
        std::string sText;
        std::int64_t iLongest;
    };
    const std::vector<uCase> mCases = {
        {"heading then a portion", {"Length\n", "00| 41 |A|"}, "Length\n\n00| 41 |A|", 10},
        {"empty pieces", {"", "", "b", ""}, "b\n", 1},
        {"line ends at the cuts", {"a\nbb", "ccc\n", "d"}, "a\nbb\nccc\n\nd", 3},
        {"control and Latin-1 bytes", {std::string("A\0\x01\xE9\r", 5), "\x7F"}, std::string("A\0\x01\xE9\r\n\x7F", 7), 5},
        {"a piece cut into chunks", {"top", sLong + "tail"}, "top\n" + sLong + "tail", 99},
    };
    for (const uCase& c : mCases) {
        SCOPED_TRACE(c.sName);
        view.SetLatin1(c.mPieces.front());
        for (std::size_t i = 1; i < c.mPieces.size(); ++i) view.AppendLatin1(c.mPieces[i]);
        EXPECT_EQ(view.toPlainText(), L1(c.sText));
        EXPECT_EQ(view.LongestLine(), c.iLongest);
        const QStringList mLines = L1(c.sText).split(u'\n');
        ASSERT_EQ(view.LineCount(), mLines.size());
        for (qsizetype i = 0; i < mLines.size(); ++i) ASSERT_EQ(L1(std::string(view.Line(i))), mLines[i]) << i;
        EXPECT_EQ(view.RowCount(), view.LineCount()); // not breaking lines
    }
    // Pieces prepared on another thread, one larger than a block of the writer, go in whole;
    // clearing the view lets go of them.
    std::vector<std::string> mTexts = {"first", sLong + sLong + sLong + sLong, "", "last\n"};
    std::vector<AnswerTextView::uPiece> mPieces;
    std::thread([&] {
        AnswerTextView::Writer writer;
        for (const std::string& sText : mTexts) mPieces.push_back(writer.Make(sText));
    }).join();
    view.clear();
    for (const AnswerTextView::uPiece& piece : mPieces) view.AppendPiece(piece);
    EXPECT_EQ(view.toPlainText(), L1(mTexts[0] + "\n" + mTexts[1] + "\n\n" + mTexts[3]));
    EXPECT_EQ(view.LineCount(), 1 + 4 * 12000 + 1 + 1 + 2);
    // The QString calls keep Latin-1 and append as a new paragraph.
    view.setPlainText(QString::fromLatin1("x\xE9"));
    view.appendPlainText("y");
    EXPECT_EQ(view.toPlainText(), QString::fromLatin1("x\xE9\ny"));
}

TEST_F(ScpiAnswerTextView, BrokenLinesTakeRowsOfTheWidth) {
    view.setLineWrapMode(AnswerTextView::WidgetWidth);
    const std::int64_t n = view.WrapColumns();
    ASSERT_GT(n, 10);
    EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    struct uCase {
        std::vector<std::int64_t> mLengths;
        std::int64_t iRows;
    };
    for (const uCase& c : {uCase{{1, 0}, 2}, uCase{{n}, 1}, uCase{{n + 1}, 2}, uCase{{3 * n, 0, 1}, 5},
                           uCase{{3 * n + 1, n - 1, 2 * n}, 7}}) {
        view.clear();
        for (std::int64_t iLength : c.mLengths) view.AppendLatin1(std::string(static_cast<std::size_t>(iLength), 'q'));
        EXPECT_EQ(view.RowCount(), c.iRows) << c.mLengths.front();
    }
    // A narrower view breaks into more rows; without breaking, a row is a line again.
    view.resize(view.width() / 2, view.height());
    QCoreApplication::processEvents();
    const std::int64_t m = view.WrapColumns();
    ASSERT_LT(m, n);
    EXPECT_EQ(view.RowCount(), (3 * n + 1 + m - 1) / m + (n - 1 + m - 1) / m + (2 * n + m - 1) / m);
    view.setLineWrapMode(AnswerTextView::NoWrap);
    EXPECT_EQ(view.WrapColumns(), 0);
    EXPECT_EQ(view.RowCount(), 3);
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
}

TEST_F(ScpiAnswerTextView, MouseSelectionAcrossPiecesIsCopiedExactly) {
    view.SetLatin1("0123456789\nabc");
    view.AppendLatin1(std::string("DEF\x01GH\nlast", 11));
    struct uCase {
        int iLine, iColumn;
        bool fShift;
        std::string sSelected;
    };
    // Pressed at line 0 column 3, then dragged or shift-clicked to each place.
    const uCase mCases[] = {
        {2, 2, false, "3456789\nabc\nDE"},
        {3, 4, true, std::string("3456789\nabc\nDEF\x01GH\nlast", 23)},
        {0, 1, true, "12"},
        {0, 3, false, ""},
    };
    for (const uCase& c : mCases) {
        SCOPED_TRACE(c.sSelected);
        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, At(0, 3));
        if (c.fShift) {
            QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, At(0, 3));
            QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, At(c.iLine, c.iColumn));
        } else {
            QTest::mouseMove(view.viewport(), At(1, 1));
            QTest::mouseMove(view.viewport(), At(c.iLine, c.iColumn));
            QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, At(c.iLine, c.iColumn));
        }
        EXPECT_EQ(view.selectedText(), L1(c.sSelected));
        EXPECT_EQ(view.hasSelection(), !c.sSelected.empty());
        QGuiApplication::clipboard()->setText("before");
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), c.sSelected.empty() ? QString("before") : L1(c.sSelected));
    }
}

TEST_F(ScpiAnswerTextView, DocumentKeysAndClearing) {
    std::string sText;
    for (int i = 0; i < 1000; ++i) sText += "line " + std::to_string(i) + "\n";
    view.SetLatin1(sText);
    EXPECT_EQ(view.FirstVisibleRow(), 0); // a new text is shown from its top
    view.AppendLatin1("end");
    EXPECT_EQ(view.FirstVisibleRow(), 0);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    EXPECT_EQ(view.FirstVisibleRow() + view.VisibleRows(), view.RowCount());
    // Shown at its end, the view follows what is appended.
    view.AppendLatin1("more\nand more");
    EXPECT_EQ(view.FirstVisibleRow() + view.VisibleRows(), view.RowCount());
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.FirstVisibleRow(), 0);
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), view.toPlainText());
    EXPECT_EQ(view.selectedText(), view.toPlainText());

    view.clear();
    EXPECT_EQ(view.toPlainText(), "");
    EXPECT_EQ(view.LineCount(), 0);
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_FALSE(view.hasSelection());
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    view.appendPlainText("x");
    EXPECT_EQ(view.toPlainText(), "x");
}

// Clearing a long text does not unmap its blocks on the spot (hundreds of megabytes would hold
// the GUI thread): they go over the next turns of the loop, all of them, and the text set since
// stays. The blocks are watched through the pieces' own references.
TEST_F(ScpiAnswerTextView, ClearingUnmapsTheBlocksOverTheNextTurnsOfTheLoop) {
    std::vector<std::weak_ptr<const AnswerTextView::uBlock>> mBlocks;
    {
        AnswerTextView::Writer writer;
        std::string sPortion;
        for (int i = 0; i < 65536; ++i) sPortion += "0123456789abcde\n";
        sPortion.pop_back();
        for (int i = 0; i < 24; ++i) {
            const AnswerTextView::uPiece piece = writer.Make(sPortion);
            if (mBlocks.empty() || mBlocks.back().lock() != piece.pBlock) mBlocks.emplace_back(piece.pBlock);
            view.AppendPiece(piece);
        }
    } // the writer lets go of its last block: the view alone holds them now
    ASSERT_GE(mBlocks.size(), 4u);
    const auto iMapped = [&] {
        return std::count_if(mBlocks.begin(), mBlocks.end(), [](const auto& p) { return !p.expired(); });
    };
    EXPECT_EQ(iMapped(), static_cast<std::ptrdiff_t>(mBlocks.size()));
    view.clear();
    EXPECT_EQ(iMapped(), static_cast<std::ptrdiff_t>(mBlocks.size())); // nothing unmapped by clear itself
    view.appendPlainText("x");
    QDeadlineTimer deadline(30000);
    while (iMapped() > 0 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(iMapped(), 0);
    EXPECT_EQ(view.toPlainText(), "x");
    EXPECT_EQ(view.LineCount(), 1);
}

} // namespace
