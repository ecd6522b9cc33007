#include "platform/WindowFrame.h"

#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>

WindowFrame::WindowFrame(int iWindow, QWidget* parent) : QMainWindow(parent), iWindow(iWindow) {}

QAction* WindowFrame::AddMenuItem(QMenu* menu, int iItem, const QString& sText) {
    QAction* action = menu->addAction(sText);
    action->setData(iItem);
    const int iOwner = iWindow;
    connect(action, &QAction::triggered, this, [iOwner, iItem] {
        const bool fCtrl = QGuiApplication::keyboardModifiers() & Qt::ControlModifier;
        EventHub::PostEvent(EventMenu, iOwner, iItem, fCtrl ? 1 : 0);
    });
    return action;
}

QAction* WindowFrame::MenuItem(int iItem) const {
    for (QAction* action : findChildren<QAction*>()) {
        if (action->data().isValid() && action->data().toInt() == iItem) return action;
    }
    return nullptr;
}

void WindowFrame::closeEvent(QCloseEvent* event) {
    // The window's module closes it when it handles the close request.
    event->ignore();
    EventHub::PostEvent(EventCloseWindowRequest, iWindow);
}
