#include "app/OwnedWindow.h"

#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowFrame.h"

#include <QRect>
#include <QShortcut>
#include <QWidget>

namespace OwnedWindow {

void Setup(WindowFrame* pFrame, QWidget* pOwner, int iWidth, int iHeight, bool fCentre) {
    pFrame->setParent(pOwner, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    pFrame->setAttribute(Qt::WA_DeleteOnClose, false);
    pFrame->setFixedSize(iWidth, iHeight);
    if (fCentre && pOwner) {
        QRect place(QPoint(0, 0), pFrame->size());
        place.moveCenter(pOwner->frameGeometry().center());
        pFrame->move(place.topLeft());
    }
}

void AddShortcut(WindowFrame* pFrame, const QKeySequence& key, int iItem, Qt::ShortcutContext context) {
    auto* pShortcut = new QShortcut(key, pFrame);
    pShortcut->setContext(context);
    const int iWindow = pFrame->Window();
    QObject::connect(pShortcut, &QShortcut::activated, pShortcut,
                     [iWindow, iItem] { EventHub::PostEvent(EventMenu, iWindow, iItem, 0); });
}

} // namespace OwnedWindow
