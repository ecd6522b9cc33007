// A top-level or child window frame whose close box and menu items become events of its window
// number, so that the window's module decides what happens (as with every other event).
#pragma once

#include <QMainWindow>

class QMenu;

class WindowFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit WindowFrame(int iWindow, QWidget* parent = nullptr);
    int Window() const { return iWindow; }

    // Adds a menu item that posts EventMenu to this window with the item number as object and
    // 1 as type when Ctrl was held (0 otherwise).
    QAction* AddMenuItem(QMenu* menu, int iItem, const QString& sText);
    // The item of that number, or nullptr.
    QAction* MenuItem(int iItem) const;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    int iWindow;
};
