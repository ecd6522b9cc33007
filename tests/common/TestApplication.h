// The Qt application of a GUI test program, made once; hiding or closing a window never ends it.
#pragma once

#include <QApplication>

namespace TestApplication {

inline void Ensure() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace TestApplication
