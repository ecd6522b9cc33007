#include "app/WindowAbout.h"

#include "app/ChildWindow.h"
#include "app/OwnedWindow.h"
#include "app/WindowStart.h"
#include "common/UtilityGui.h"
#include "icons/VectorIcon.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "platform/WindowRegistry.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace WindowAbout {
namespace {

constexpr int BoxWidth = 440;
constexpr int BoxHeight = 460;
constexpr int PictureWidth = 420;
constexpr int PictureHeight = 110;

// GUI thread only.
int iAboutWindow = 0;
QPointer<WindowFrame> pAboutFrame;

// The window of that number: a main window, a separate child or the top-level window around an
// MDI child, a script window; nullptr when none is open.
QWidget* FindWindow(int iWindow) {
    if (WindowFrame* pChild = ChildWindow::Find(iWindow)) return pChild->window();
    for (QWidget* pTop : QApplication::topLevelWidgets()) {
        auto* pFrame = qobject_cast<WindowFrame*>(pTop);
        if (pFrame && pFrame->Window() == iWindow) return pFrame;
    }
    return nullptr;
}

void Forget() {
    if (iAboutWindow == 0) return;
    EventHub::UnbindWindow(iAboutWindow);
    WindowRegistry::Release(iAboutWindow);
    iAboutWindow = 0;
}

} // namespace

std::string BuildDate(const char* sCompilerDate) {
    static const char* const mMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!sCompilerDate || std::strlen(sCompilerDate) != 11) return {};
    const std::string s = sCompilerDate;
    int iMonth = 0;
    for (int i = 0; i < 12; ++i) {
        if (s.compare(0, 3, mMonths[i]) == 0) iMonth = i + 1;
    }
    const std::string sDay = s.substr(4, 2), sYear = s.substr(7, 4);
    const bool fDigits = (sDay[0] == ' ' || std::isdigit(static_cast<unsigned char>(sDay[0]))) &&
                         std::isdigit(static_cast<unsigned char>(sDay[1])) &&
                         sYear.find_first_not_of("0123456789") == std::string::npos;
    if (iMonth == 0 || !fDigits) return {};
    char sOut[11];
    std::snprintf(sOut, sizeof sOut, "%s-%02d-%c%c", sYear.c_str(), iMonth, sDay[0] == ' ' ? '0' : sDay[0], sDay[1]);
    return sOut;
}

namespace {

// The compiler that built this file: its name, version and web address.
std::string CompilerName() {
#if defined(__clang__)
    return "Clang";
#elif defined(__GNUC__)
    return "GCC";
#else
    return "a C++ compiler";
#endif
}

std::string CompilerVersion() {
#if defined(__clang__)
    return std::to_string(__clang_major__) + "." + std::to_string(__clang_minor__) + "." +
           std::to_string(__clang_patchlevel__);
#elif defined(__GNUC__)
    return std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." + std::to_string(__GNUC_PATCHLEVEL__);
#else
    return "";
#endif
}

std::string CompilerAddress() {
#if defined(__clang__)
    return "https://clang.llvm.org";
#else
    return "https://gcc.gnu.org";
#endif
}

} // namespace

std::string Text() {
    // The words of the box stand as placeholders in the template, replaced wherever they stand.
    static const char* const Template = "\n"
                                        "%Title%\n"
                                        "%Date%\n"
                                        "\n"
                                        "%Autor%: The Orvanto developers\n"
                                        "\n"
                                        "%Kompiliert mit%%Compiler% [####]\n"
                                        "%CompilerAddress%\n"
                                        "\n"
                                        "%Verwendet%:\n"
                                        "\n"
                                        "libusb-1.0:\n"
                                        "https://libusb.info\n"
                                        "\n"
                                        "Scintilla:\n"
                                        "https://www.scintilla.org\n"
                                        "Qt port QScintilla from Riverbank Computing\n"
                                        "\n"
                                        "Qt 6 and its image plug-ins%von%The Qt Company:\n"
                                        "https://www.qt.io\n"
                                        "\n"
                                        "libtirpc%von%the Linux NFS project:\n"
                                        "https://sourceforge.net/projects/libtirpc/";
    const std::pair<const char*, std::string> Replacements[] = {
        {"%Title%", WindowStart::Title},
        {"%Date%", BuildDate(__DATE__) + " (" + std::to_string(sizeof(void*) * 8) + " Bit)"},
        {"%Autor%", "Author "},
        {"%Kompiliert mit%", "Compiled with "},
        {"%Compiler%", CompilerName()},
        {"[####]", CompilerVersion()},
        {"%CompilerAddress%", CompilerAddress()},
        {"%Verwendet%", "used"},
        {"%von%", " from "},
    };
    std::string s = Template;
    for (const auto& [sPlaceholder, sText] : Replacements) {
        for (std::size_t i = s.find(sPlaceholder); i != std::string::npos; i = s.find(sPlaceholder, i + sText.size())) {
            s.replace(i, std::strlen(sPlaceholder), sText);
        }
    }
    return s;
}

int Window() { return pAboutFrame ? iAboutWindow : 0; }

int Open(int iCallingWindow) {
    if (iAboutWindow != 0 && pAboutFrame) return iAboutWindow;
    Forget();
    QWidget* pOwner = FindWindow(iCallingWindow);
    const int iWindow = WindowRegistry::NewWindowNumber();
    auto* pFrame = new WindowFrame(iWindow);
    OwnedWindow::Setup(pFrame, pOwner, BoxWidth, BoxHeight, true);
    pFrame->setWindowTitle("About...");
    iAboutWindow = iWindow;
    pAboutFrame = pFrame;

    auto* pCentral = new QWidget(pFrame);
    pFrame->setCentralWidget(pCentral);
    const double dScale = Utility::DesktopScale();
    const QImage picture = VectorIcon::PictureAbout(static_cast<int>(std::lround(PictureWidth * dScale)),
                                                    static_cast<int>(std::lround(PictureHeight * dScale)));
    if (!picture.isNull()) {
        auto* pPicture = new QLabel(pCentral);
        pPicture->setObjectName("Picture");
        QPixmap pixmap = QPixmap::fromImage(picture);
        pixmap.setDevicePixelRatio(dScale);
        pPicture->setPixmap(pixmap);
        pPicture->setGeometry(10, 10, PictureWidth, PictureHeight);
    }
    auto* pEditor = new QPlainTextEdit(pCentral);
    pEditor->setObjectName("Text");
    Utility::EditorSetPlainText(pEditor);
    pEditor->setPlainText(QString::fromStdString(Text()));
    pEditor->setReadOnly(true);
    pEditor->setGeometry(10, 130, 420, 285);
    auto* pOk = new QPushButton("OK", pCentral);
    pOk->setObjectName("OK");
    pOk->setGeometry(160, 425, 100, 25);

    using EventHub::uEvent;
    EventHub::Bind(EventCloseWindowRequest, iWindow, [](const uEvent&) { Close(); });
    EventHub::Bind(EventMenu, iWindow, [](const uEvent& e) {
        if (e.iObject == MenuEscape || e.iObject == MenuReturn) Close();
    });
    QObject::connect(pOk, &QPushButton::clicked, pOk, [] { Close(); });
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Escape), MenuEscape);
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Return), MenuReturn);
    OwnedWindow::AddShortcut(pFrame, QKeySequence(Qt::Key_Enter), MenuReturn);
    // The owner may close first: the box goes with it.
    QObject::connect(pFrame, &QObject::destroyed, [iWindow] {
        if (iAboutWindow == iWindow) Forget();
    });

    pFrame->show();
    pFrame->raise();
    pFrame->activateWindow();
    pOk->setFocus();
    return iWindow;
}

void Close() {
    QPointer<WindowFrame> pFrame = pAboutFrame;
    Forget();
    pAboutFrame = nullptr;
    if (pFrame) {
        pFrame->hide();
        pFrame->deleteLater();
    }
}

} // namespace WindowAbout
