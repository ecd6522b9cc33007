// The Qt application of a test program, made once. Ensure makes a QApplication (widgets; hiding
// or closing a window never ends it), EnsureCore a QCoreApplication (the event hub, no widgets).
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QWidget>

#include <string>

namespace TestApplication {

namespace Detail {
inline int argc = 1;
inline char name[] = "test";
inline char* argv[] = {name, nullptr};
} // namespace Detail

inline void Ensure() {
    if (!QCoreApplication::instance()) new QApplication(Detail::argc, Detail::argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

inline void EnsureCore() {
    if (!QCoreApplication::instance()) new QCoreApplication(Detail::argc, Detail::argv);
}

// A widget's tool tip as the user reads it (a wrapped one is rich text).
inline std::string ToolTip(const QWidget* pWidget) {
    const QString sTip = pWidget->toolTip();
    return (Qt::mightBeRichText(sTip) ? QTextDocumentFragment::fromHtml(sTip).toPlainText().trimmed() : sTip).toStdString();
}

} // namespace TestApplication
