#include "instrument/ConnectionDescription.h"

namespace Instrument {

const char* ProtocolText(std::int64_t iProtocol) {
    switch (iProtocol) {
    case ProtocolUsbTmc: return "USBTMC";
    case ProtocolLxi: return "LXI";
    case ProtocolRawTcp: return "RawTCP";
    case ProtocolCom: return "COM";
    case ProtocolProprietary: return "Proprietary";
    default: return "Error";
    }
}

} // namespace Instrument
