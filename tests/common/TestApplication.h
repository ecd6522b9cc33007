// The Qt application of a test program, made once. Ensure makes a QApplication (widgets; hiding
// or closing a window never ends it), EnsureCore a QCoreApplication (the event hub, no widgets).
#pragma once

#include <QApplication>
#include <QCoreApplication>

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

} // namespace TestApplication
