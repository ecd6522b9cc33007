#include "app/Main.h"

#include "platform/EventHub.h"

#include <QApplication>

namespace Main {

int Run(int argc, char** argv) {
    QApplication app(argc, argv);
    EventHub::Init();
    return 0;
}

} // namespace Main
