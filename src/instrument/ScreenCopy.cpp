#include "instrument/ScreenCopy.h"

#include "instrument/InstrumentDefault.h"

namespace InstrumentDefault {

bool GetScreencopy(uInstance& instance, int, const uTaskScreencopy&, QImage&, std::string& sError) {
    if (!instance.fConnected || !instance.pTransport) {
        sError = "InstrumentDefault::GetScreencopy: The instrument is not open.";
        return false;
    }
    // No model's screen-copy answer is read yet.
    sError = "There is no SCPI command for reading a screen copy.";
    return false;
}

} // namespace InstrumentDefault
