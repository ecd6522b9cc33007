// Drives a real script window through a run and saves two pictures of the screen: the "Script"
// tab with the message area after the run, and the "Output" tab.
// Usage: script_window_screenshot script.png output.png [script.txt]  (run under a display server,
// e.g. Xvfb); with a script file, that script runs instead of the built-in one.
#include "ToolSupport.h"

#include "app/Main.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"
#include "script/WindowScript.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <string>

namespace {

using ToolSupport::Settle;

bool Grab(const char* sFile) { return ToolSupport::Grab(QString::fromLocal8Bit(sFile)); }

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s script.png output.png [script.txt]\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir dir;
    ToolSupport::UseFoldersWithConfig(dir);
    WindowLog::Create();
    WindowScript::RegisterKind();

    const int iWindow = Main::OpenScriptWindow();
    WindowScript::uWindowScript* pWindow = nullptr;
    if (iWindow == 0 || !WindowScript::GetInstance(iWindow, &pWindow)) return 1;
    pWindow->pFrame->setGeometry(20, 40, 860, 600);
    Settle(400);
    pWindow->pConstants->setPlainText("#target set middle");
    std::string sScript = "// Jumps through its labels, then ends.\n"
                          "integer count\n"
                          "label top\n"
                          "goto #target\n"
                          "label middle\n"
                          "goto end\n"
                          "label end\n";
    if (argc == 4) {
        QFile file(QString::fromLocal8Bit(argv[3]));
        if (!file.open(QIODevice::ReadOnly)) return 2;
        sScript = file.readAll().toStdString();
    }
    WindowScript::SetScriptText(*pWindow, sScript);
    pWindow->pButtonRun->click();
    Settle(1000);
    const bool fScript = Grab(argv[1]);
    pWindow->pPanel->setCurrentIndex(2);
    Settle(300);
    const bool fOutput = Grab(argv[2]);

    EventHub::PostEvent(EventCloseWindowRequest, iWindow);
    Settle(300);
    WindowLog::Close(1);
    Main::CloseConfig();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return fScript && fOutput ? 0 : 1;
}
