#include "app/Main.h"

#include "platform/EventHub.h"

#include <QApplication>

namespace Main {
namespace {

int iDefaultTimeout[7] = {0, 5000, 5000, 2000, 2000, 5000, 2000};
int iDefaultProgressStep[7] = {0, 102400, 102400, 51200, 20480, 102400, 51200};

} // namespace

int DefaultTimeout(int iInterface) {
    return iInterface >= 1 && iInterface <= 6 ? iDefaultTimeout[iInterface] : 0;
}

int DefaultProgressStep(int iInterface) {
    return iInterface >= 1 && iInterface <= 6 ? iDefaultProgressStep[iInterface] : 0;
}

int Run(int argc, char** argv) {
    QApplication app(argc, argv);
    EventHub::Init();
    return 0;
}

} // namespace Main
