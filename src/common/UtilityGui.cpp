#include "common/UtilityGui.h"

#include "common/IconFile.h"
#include "common/TextRoutines.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QToolBar>
#include <QToolTip>
#include <QTreeView>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cmath>

namespace Utility {
namespace {

constexpr int BuiltInIconSizes[] = {16, 24, 32, 48, 64, 256};

// The product picture: an instrument front with a trace on its screen, in the given trace colour.
QImage DrawProductPicture(int iSize, QColor trace) {
    QImage image(iSize, iSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(iSize / 64.0, iSize / 64.0);
    painter.setPen(QPen(QColor(40, 44, 52), 2));
    painter.setBrush(QColor(186, 192, 204));
    painter.drawRoundedRect(QRectF(3, 9, 58, 46), 6, 6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(18, 24, 38));
    painter.drawRoundedRect(QRectF(8, 14, 36, 36), 3, 3);
    painter.setBrush(QColor(70, 76, 88));
    for (int i = 0; i < 3; ++i) painter.drawEllipse(QPointF(53, 20 + 12 * i), 3.5, 3.5);
    QPainterPath path;
    for (int x = 0; x <= 32; ++x) {
        const QPointF point(10 + x, 32 - 11 * std::sin(x / 32.0 * 2 * 3.14159265358979));
        if (x == 0) path.moveTo(point);
        else path.lineTo(point);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(trace, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    return image;
}

// The two built-in icon files, six images each, made once.
const std::vector<std::uint8_t>& BuiltInIconFile(int iWhich) {
    static std::vector<std::uint8_t> mFile[2];
    std::vector<std::uint8_t>& mIco = mFile[iWhich ? 1 : 0];
    if (mIco.empty()) {
        const QColor trace = iWhich ? QColor(64, 200, 255) : QColor(255, 214, 10);
        const int iSet = IconFile::Begin(-1, "", 0);
        for (int iSize : BuiltInIconSizes) IconFile::AddImage(iSet, DrawProductPicture(iSize, trace), -1);
        mIco = IconFile::Build(iSet);
    }
    return mIco;
}

QIcon IconFromFile(const std::vector<std::uint8_t>& mIco) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mIco.data()),
                                               static_cast<qsizetype>(mIco.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QIcon icon;
    for (;;) {
        const QImage image = reader.read();
        if (image.isNull()) break;
        icon.addPixmap(QPixmap::fromImage(image));
        if (!reader.jumpToNextImage()) break;
    }
    return icon;
}

} // namespace

double DesktopScale() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 1.0;
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    return pScreen ? pScreen->devicePixelRatio() : 1.0;
}

void KeepEscapeForPopups() {
    // The override check is the first thing a key meets: taken here, the key goes on to the
    // open list, which closes on it, and no shortcut is tried.
    class PopupEscape final : public QObject {
      public:
        using QObject::QObject;
        bool eventFilter(QObject*, QEvent* pEvent) override {
            if (pEvent->type() != QEvent::ShortcutOverride || !QApplication::activePopupWidget()) return false;
            if (!static_cast<QKeyEvent*>(pEvent)->matches(QKeySequence::Cancel)) return false;
            pEvent->accept();
            return true;
        }
    };
    // Goes with its application; a later application gets its own.
    static QPointer<PopupEscape> pInstalled;
    QCoreApplication* pApplication = QCoreApplication::instance();
    if (!pApplication || pInstalled) return;
    pInstalled = new PopupEscape(pApplication);
    pApplication->installEventFilter(pInstalled);
}

void EnableSmartRefresh(QWidget*) {}

void RestoreMinimised(QWidget* pWindow) {
    if (pWindow && pWindow->isMinimized()) pWindow->setWindowState(pWindow->windowState() & ~Qt::WindowMinimized);
}

namespace {

// Whether an MDI frame was maximised as it was minimised, seen as it goes into that state.
class MaximisedMemory : public QObject {
  public:
    using QObject::QObject;
    bool fMaximised = false;

    bool eventFilter(QObject* pObject, QEvent* pEvent) override {
        if (pEvent->type() != QEvent::WindowStateChange) return false;
        const auto* pChange = static_cast<const QWindowStateChangeEvent*>(pEvent);
        // The frame's own corrections of its state (it drops the maximised one as it minimises).
        if (pChange->isOverride()) return false;
        auto* pFrame = static_cast<QWidget*>(pObject);
        const Qt::WindowStates old = pChange->oldState(), now = pFrame->windowState();
        if (!(old & Qt::WindowMinimized)) {
            if (now & Qt::WindowMinimized) fMaximised = ((old | now) & Qt::WindowMaximized) != 0;
            return false;
        }
        if (!fMaximised || (now & (Qt::WindowMinimized | Qt::WindowMaximized))) return false;
        // A restore to the normal state: the frame never sees it, and goes straight to maximised
        // as from its own maximise button.
        pFrame->setWindowState(now | Qt::WindowMaximized);
        return true;
    }
};

MaximisedMemory* MemoryOf(const QWidget* pWindow) {
    for (QObject* pChild : pWindow ? pWindow->children() : QObjectList()) {
        if (auto* pMemory = dynamic_cast<MaximisedMemory*>(pChild)) return pMemory;
    }
    return nullptr;
}

} // namespace

void KeepMaximisedWhenMinimised(QMdiSubWindow* pFrame) {
    if (!pFrame || MemoryOf(pFrame)) return;
    pFrame->installEventFilter(new MaximisedMemory(pFrame));
}

bool ComesBackMaximised(const QWidget* pWindow) {
    if (!pWindow || !pWindow->isMinimized()) return false;
    const MaximisedMemory* pMemory = MemoryOf(pWindow);
    return pMemory ? pMemory->fMaximised : pWindow->isMaximized();
}

void ShowNormal(QWidget* pWindow) {
    if (!pWindow) return;
    if (MaximisedMemory* pMemory = MemoryOf(pWindow)) pMemory->fMaximised = false;
    pWindow->showNormal();
}

int SetToolBarIconSize(QToolBar* pToolBar, int iSize, int) {
    const int iLogical = iSize == 2 ? 24 : 16;
    if (pToolBar) pToolBar->setIconSize(QSize(iLogical, iLogical));
    return static_cast<int>(std::lround(iLogical * DesktopScale()));
}

int IsDisplayScaled() { return std::lround(100 * DesktopScale()) > 100 ? 1 : 0; }

int GetSystemFontSize(int iDefault) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return iDefault;
    const QFont font = QGuiApplication::font();
    if (font.pointSize() > 0) return font.pointSize();
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    if (font.pixelSize() <= 0 || !pScreen || pScreen->logicalDotsPerInchY() <= 0) return iDefault;
    // A character height in pixels: turned into points, rounded half away from zero.
    return static_cast<int>(std::lround(font.pixelSize() * 72.0 / pScreen->logicalDotsPerInchY()));
}

int IsKeyPressed(int iVirtualKey, int) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
    const Qt::KeyboardModifiers iModifiers = QGuiApplication::queryKeyboardModifiers();
    switch (iVirtualKey) {
    case KeyShift: return iModifiers.testFlag(Qt::ShiftModifier) ? 1 : 0;
    case KeyControl: return iModifiers.testFlag(Qt::ControlModifier) ? 1 : 0;
    case KeyAlt: return iModifiers.testFlag(Qt::AltModifier) ? 1 : 0;
    default: return 0;
    }
}

int GetWheelScrollLines() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    return QApplication::wheelScrollLines();
}

void EditorSetPlainText(QWidget* pEditor) {
    if (auto* pText = qobject_cast<QTextEdit*>(pEditor)) {
        pText->clear();
        pText->setAcceptRichText(false);
    } else if (auto* pPlain = qobject_cast<QPlainTextEdit*>(pEditor)) {
        pPlain->clear();
    }
}

void GatherLines(QString& sOut, QStringView sText) {
    qsizetype iLine = 0;
    for (;;) {
        const qsizetype iEnd = sText.indexOf(u'\n', iLine);
        const qsizetype iStop = iEnd < 0 ? sText.size() : iEnd;
        while (iStop - iLine > LongLineChars) {
            qsizetype iCut = iLine + LongLineChars;
            if (sText[iCut - 1].isHighSurrogate()) --iCut;
            sOut.append(sText.sliced(iLine, iCut - iLine)).append(u'\n');
            iLine = iCut;
        }
        sOut.append(sText.sliced(iLine, iStop - iLine)).append(u'\n');
        if (iEnd < 0) return;
        iLine = iEnd + 1;
    }
}

bool AppendLines(QPlainTextEdit* pEditor, QStringView sText, qsizetype& iFrom, const QDeadlineTimer& deadline) {
    const qsizetype iSize = sText.size();
    bool fFirst = true;
    while (iFrom <= iSize) {
        if (!fFirst && deadline.hasExpired()) return false;
        fFirst = false;
        // The step ends at a line end: appending "a" and then "b" gives the lines of "a\nb".
        qsizetype iEnd = iFrom + AppendStepChars < iSize ? sText.indexOf(u'\n', iFrom + AppendStepChars) : -1;
        if (iEnd < 0) iEnd = iSize;
        if (pEditor) pEditor->appendPlainText(sText.sliced(iFrom, iEnd - iFrom).toString());
        iFrom = iEnd + 1;
    }
    return true;
}

int AddGadgetToolTip(QWidget* pGadget, const std::string& sText, int iMaxWidth, const std::string& sTitle) {
    if (pGadget) pGadget->setToolTip(ToolTipText(QString::fromStdString(sText), iMaxWidth, QString::fromStdString(sTitle)));
    return 0;
}

QString ToolTipText(const QString& text, int iMaxWidth, const QString& title) {
    if (title.isEmpty() && iMaxWidth <= 0) return text;
    QString body = text.toHtmlEscaped().replace('\n', "<br>");
    if (!title.isEmpty()) body = "<b>" + title.toHtmlEscaped() + "</b><br>" + body;
    if (iMaxWidth > 0) {
        const QFontMetrics metrics(QToolTip::font());
        int iWidest = 0;
        for (const QString& line : text.split('\n')) iWidest = std::max(iWidest, metrics.horizontalAdvance(line));
        if (iWidest > iMaxWidth) {
            body = QString("<table width=\"%1\"><tr><td>%2</td></tr></table>").arg(iMaxWidth).arg(body);
        } else if (title.isEmpty() && !text.contains('\n')) {
            return text; // one line that fits: as it is
        }
    }
    return "<qt>" + body + "</qt>"; // rich text: long lines wrap
}

int ListHeightForRows(const QTreeView* pList, int iRows) {
    const int iHeader = pList->isHeaderHidden() ? 0 : pList->header()->sizeHint().height();
    return iHeader + iRows * (pList->fontMetrics().height() + 4) + 2 * pList->frameWidth();
}

void ListIconAutoSizeColumns(QTreeView* pList, int iFirst, int iLast, const std::string& sPrefix) {
    if (!pList || !pList->header()) return;
    QHeaderView* pHeader = pList->header();
    const int iCount = pHeader->count();
    if (iCount == 0) return;
    if (iFirst == 0 || iLast == 0) {
        iFirst = 0;
        iLast = iCount - 1;
    }
    iFirst = std::max(iFirst, 0);
    iLast = std::min(iLast, iCount - 1);
    pList->setUpdatesEnabled(false);
    for (int iColumn = iFirst; iColumn <= iLast; ++iColumn) {
        if (pList->isColumnHidden(iColumn) || pHeader->sectionSize(iColumn) <= 0) continue;
        pList->resizeColumnToContents(iColumn); // the header title counts too
        if (iColumn == iFirst && !sPrefix.empty()) {
            const int iWanted = pHeader->sectionSizeHint(iColumn) +
                                pHeader->fontMetrics().horizontalAdvance(QString::fromStdString(sPrefix));
            if (iWanted > pHeader->sectionSize(iColumn)) pHeader->resizeSection(iColumn, iWanted);
        }
    }
    pList->setUpdatesEnabled(true);
    pList->viewport()->update();
}

void SetWindowIcon(QWidget* pWindow, int fMdi, uWindowIcon* pIcon) {
    if (!pWindow || !pIcon) return;
    const std::vector<std::uint8_t>& mFile =
        pIcon->mIconFile.empty() ? BuiltInIconFile(pIcon->iBuiltIn) : pIcon->mIconFile;
    const QIcon icon = IconFromFile(mFile);
    if (icon.isNull()) return;
    pIcon->current = icon; // the icon shown before is released with its last user
    pWindow->setWindowIcon(icon);
    if (fMdi) {
        if (auto* pFrame = qobject_cast<QMdiSubWindow*>(pWindow->parentWidget())) pFrame->setWindowIcon(icon);
    }
}

QIcon ProgramIcon() { return IconFromFile(BuiltInIconFile(0)); }

QLabel* StatusLabel(QStatusBar* pBar) {
    if (!pBar) return nullptr;
    if (auto* pLabel = pBar->findChild<QLabel*>("StatusText", Qt::FindDirectChildrenOnly)) return pLabel;
    auto* pLabel = new QLabel(pBar);
    pLabel->setObjectName("StatusText");
    pLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    pBar->addWidget(pLabel, 1);
    return pLabel;
}

void ProposeFile(QFileDialog* pDialog, const std::string& sPath) {
    const QString sProposal = QString::fromStdString(sPath);
    pDialog->selectFile(sProposal);
    if (QFileInfo(sProposal).absoluteDir().exists()) return;
    if (auto* pName = pDialog->findChild<QLineEdit*>("fileNameEdit")) pName->setText(sProposal);
}

namespace {

// A status field paints a text too long for it cut at its end, with "…" to show that more
// follows (the whole text is in its tool tip). The label keeps the whole text as its text: each
// paint, after a resize too, cuts it afresh to the width it has then. The field draws no frame.
class StatusElision final : public QObject {
  public:
    explicit StatusElision(QLabel* pLabel) : QObject(pLabel) { setObjectName("StatusElision"); }

  protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        auto* pLabel = qobject_cast<QLabel*>(pWatched);
        if (pEvent->type() != QEvent::Paint || !pLabel || pLabel->frameWidth() != 0) return false;
        const int iMargin = pLabel->margin();
        const QRect area = pLabel->contentsRect().adjusted(iMargin, iMargin, -iMargin, -iMargin);
        QString sLine = pLabel->text();
        sLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
        const QString sShown = pLabel->fontMetrics().elidedText(sLine, Qt::ElideRight, area.width());
        if (sShown == pLabel->text()) return false; // it fits: the label paints it
        QPainter painter(pLabel);
        pLabel->style()->drawItemText(&painter, area,
                                      QStyle::visualAlignment(pLabel->layoutDirection(), pLabel->alignment()),
                                      pLabel->palette(), pLabel->isEnabled(), sShown, pLabel->foregroundRole());
        return true;
    }
};

} // namespace

QString ReasonFirst(const QString& sText) {
    // "Name::Name: " (any number of "::" parts) at the start or after a blank; a path or a
    // SCPI command never has that form.
    static const QRegularExpression label(QStringLiteral("(^|(?<=\\s))[A-Za-z_]\\w*(::[A-Za-z_~]\\w*)+: +"));
    QString sShown = sText;
    sShown.remove(label);
    return sShown;
}

namespace {

// The one body of both SetStatusText: bytes from an instrument (a block in a failure's text, a
// file name) are shown escaped, never raw, in the field and in its tool tip.
void ShowStatus(QLabel* pField, const std::string& sBytes, bool fReasonFirst) {
    if (!pField) return;
    const QString sText = QString::fromStdString(PrintableText(sBytes));
    if (!pField->findChild<QObject*>("StatusElision", Qt::FindDirectChildrenOnly)) {
        pField->installEventFilter(new StatusElision(pField));
        pField->setTextFormat(Qt::PlainText); // a "<" in a path or an answer is no markup
        // A long text asks for no width: the field takes what the bar gives it (a fixed one keeps its width).
        if (pField->minimumWidth() != pField->maximumWidth())
            pField->setSizePolicy(QSizePolicy::Ignored, pField->sizePolicy().verticalPolicy());
    }
    const QString sShown = fReasonFirst ? ReasonFirst(sText) : sText;
    if (pField->text() != sShown) pField->setText(sShown);
    const QString sTip = ToolTipText(sText, ToolTipWidth, {});
    if (pField->toolTip() != sTip) pField->setToolTip(sTip);
}

} // namespace

void SetStatusText(QLabel* pField, const QString& sText, bool fReasonFirst) {
    ShowStatus(pField, sText.toStdString(), fReasonFirst);
}

int StatusBarWidthFor(QStatusBar* pBar, const QString& sText) {
    QLabel* pLabel = StatusLabel(pBar);
    if (!pLabel) return 0;
    // The field's frame and margins, the bar's margins and spacing, and the size grip.
    constexpr int BarChrome = 40;
    return pLabel->fontMetrics().horizontalAdvance(sText) + 2 * (pLabel->frameWidth() + pLabel->margin()) + BarChrome;
}

void SetStatusText(QStatusBar* pBar, const std::string& sText) {
    ShowStatus(StatusLabel(pBar), sText, true);
}

} // namespace Utility
