// Small windows owned by another window (the preferences window standing alone, the workspace
// dialogs, the About box): fixed size, a title bar with a close box, above their owner.
#pragma once

#include <QKeySequence>

class QWidget;
class WindowFrame;

namespace OwnedWindow {

// Gives the frame its owner and its fixed inner size; with fCentre it stands centred over the owner.
void Setup(WindowFrame* pFrame, QWidget* pOwner, int iWidth, int iHeight, bool fCentre);
// A keyboard shortcut of the frame that posts EventMenu with the item number to its window.
void AddShortcut(WindowFrame* pFrame, const QKeySequence& key, int iItem,
                 Qt::ShortcutContext context = Qt::WindowShortcut);

} // namespace OwnedWindow
