// Minimal log: keeps the lines in a hidden text window until the full log window replaces it.
#include "common/WindowLog.h"

#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"

#include <QPlainTextEdit>
#include <QString>
#include <QTime>

#include <cstdio>
#include <memory>

namespace WindowLog {
namespace {

std::unique_ptr<QPlainTextEdit> pWindow;
int iWindow = 0;
int iCounter = 0;

} // namespace

void Create() {
    if (pWindow) return;
    iWindow = WindowRegistry::NewWindowNumber();
    pWindow = std::make_unique<QPlainTextEdit>();
    pWindow->setReadOnly(true);
    pWindow->setWindowTitle("Log");
    pWindow->resize(640, 360);
    EventHub::Bind(EventLogLine, iWindow, [](const EventHub::uEvent& e) {
        if (auto* p = e.pData.Get<std::string>()) AddError(*p);
    });
}

void AddLine(const std::string& sText) {
    if (!pWindow) return;
    char number[8];
    std::snprintf(number, sizeof number, "%04d", ++iCounter % 10000);
    pWindow->appendPlainText(QString("%1 [%2] %3")
                                 .arg(number, QTime::currentTime().toString("hh:mm:ss"),
                                      QString::fromStdString(sText)));
}

void AddError(const std::string& sText) { AddLine("Error: " + sText); }

void PostError(const std::string& sText) {
    if (iWindow) EventHub::PostEvent(EventLogLine, iWindow, 0, 2, EventHub::Payload::Of(sText));
}

void AddSeparatorLine() { AddLine(std::string(60, '-')); }

void Clear(int) {
    if (pWindow) pWindow->clear();
}

void Show(int) {
    if (!pWindow) return;
    pWindow->show();
    pWindow->raise();
    pWindow->setFocus();
}

void Hide() {
    if (pWindow) pWindow->hide();
}

int Close(int fDestroy) {
    if (!pWindow) return 0;
    if (!fDestroy) {
        pWindow->hide();
        return 0;
    }
    pWindow.reset();
    WindowRegistry::Release(iWindow);
    iWindow = 0;
    return 0;
}

} // namespace WindowLog
