#include "transport/InterfaceDefaults.h"

#include <atomic>

namespace InterfaceDefaults {
namespace {

std::atomic<int> iTimeout[7] = {0, 5000, 5000, 2000, 2000, 5000, 2000};
const int iProgressStep[7] = {0, 102400, 102400, 51200, 20480, 102400, 51200};

bool Valid(int iInterface) { return iInterface >= 1 && iInterface <= 6; }

} // namespace

int Timeout(int iInterface) { return Valid(iInterface) ? iTimeout[iInterface].load() : 0; }

int ProgressStep(int iInterface) { return Valid(iInterface) ? iProgressStep[iInterface] : 0; }

void SetTimeouts(int iUsbTmc, int iVxi11, int iRawTcp, int iSerial) {
    iTimeout[InterfaceUsbTmc] = iUsbTmc;
    iTimeout[InterfaceVxi11] = iVxi11;
    iTimeout[InterfaceRawTcp] = iRawTcp;
    iTimeout[InterfaceSerial] = iSerial;
    iTimeout[InterfaceUsbNone] = iUsbTmc;
    iTimeout[InterfaceLanNone] = iRawTcp;
}

} // namespace InterfaceDefaults
