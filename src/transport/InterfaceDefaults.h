// The interface and protocol numbers, and the defaults each interface starts with: the response
// time-out and the step in bytes between two progress events. The frame reads the time-outs from
// config.ini at start-up; until then the built-in values hold.
#pragma once

#include <cstdint>

// How an instrument is offered to the user (list texts, filters).
enum eProtocol : std::int64_t {
    ProtocolUsbTmc = 1,
    ProtocolLxi = 2,
    ProtocolRawTcp = 3,
    ProtocolCom = 4,
    ProtocolProprietary = 5,
};

// The path that connect, exchange and disconnect dispatch on. The last two name an instrument
// without a transport: nothing is opened or exchanged for them.
enum eInterface : std::int64_t {
    InterfaceUsbTmc = 1,
    InterfaceVxi11 = 2,
    InterfaceRawTcp = 3,
    InterfaceSerial = 4,
    InterfaceUsbNone = 5,
    InterfaceLanNone = 6,
};

namespace InterfaceDefaults {

// The response time-out in ms and the progress step in bytes of an eInterface value; 0 for a
// value outside 1..6. Safe from any thread.
int Timeout(int iInterface);
int ProgressStep(int iInterface);

// Sets the response time-outs of USBTMC, VXI-11, raw TCP and serial; the interfaces without a
// transport take those of USBTMC (5) and raw TCP (6).
void SetTimeouts(int iUsbTmc, int iVxi11, int iRawTcp, int iSerial);

} // namespace InterfaceDefaults
