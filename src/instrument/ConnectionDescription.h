// The connection description: how an instrument is offered to the user, how it is reached,
// which model it is and where it sits on each kind of interface.
#pragma once

#include "instrument/TaskHead.h"
#include "transport/InterfaceDefaults.h"

#include <cstdint>
#include <string>

// Where the instrument sits on USB. Bus and port number are filled by the libusb-1.0 search
// and not used for connecting; configuration 0 = choose at connect.
struct uConnectionUsb {
    std::int64_t iVendorId = 0;
    std::int64_t iProductId = 0;
    std::string sManufacturer;
    std::string sProduct;
    std::string sSerialNumber; // matched on connect; empty = any
    std::int64_t iBusNumber = 0;
    std::int64_t iPortNumber = 0;
    std::int64_t iConfiguration = 0;
    std::int64_t iInterface = 0;
    std::int64_t iInterruptIn = 0;
    std::int64_t iBulkIn = 0;
    std::int64_t iBulkInMaxPacketSize = 0;
    std::int64_t iBulkOut = 0;
    std::int64_t iBulkOutMaxPacketSize = 0;
};

// Takes the endpoints of one interface setting (either USB library's endpoint descriptors): an
// interrupt IN endpoint, and the bulk endpoints by direction with their packet sizes; a later
// endpoint of a kind replaces an earlier one.
template <class Endpoint> void TakeUsbEndpoints(const Endpoint* pEndpoints, int iCount, uConnectionUsb& usb) {
    for (int i = 0; pEndpoints && i < iCount; ++i) {
        const Endpoint& e = pEndpoints[i];
        const int iType = e.bmAttributes & 3; // 2 bulk, 3 interrupt
        const bool fIn = (e.bEndpointAddress & 0x80) != 0;
        if (iType == 3 && fIn) {
            usb.iInterruptIn = e.bEndpointAddress;
        } else if (iType == 2 && fIn) {
            usb.iBulkIn = e.bEndpointAddress;
            usb.iBulkInMaxPacketSize = e.wMaxPacketSize;
        } else if (iType == 2) {
            usb.iBulkOut = e.bEndpointAddress;
            usb.iBulkOutMaxPacketSize = e.wMaxPacketSize;
        }
    }
}

struct uConnectionVxi11 {
    std::string sAdapterIp;  // IPv4 text of the local adapter; empty = choose at Prepare
    std::string sInstrumentIp;
    std::int64_t iPortmapperPort = 0; // normally 111
    std::int64_t iCorePort = 0;       // 0 = ask the portmapper
};

struct uConnectionRawTcp {
    std::string sAdapterIp; // empty = choose at Prepare
    std::string sInstrumentIp;
    std::int64_t iPort = 0; // normally 5025
};

// Codes as the serial transport takes them.
struct uConnectionSerial {
    std::string sPort;
    std::int64_t iBaudRate = 0;
    std::int64_t iDataBits = 0;
    float fStopBits = 0.0F; // 1, 1.5 or 2
    std::int64_t iParity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::int64_t iHandshake = 0; // 0 none, 1 rtson, 2 rtscts, 3 xon
};

// The connection description, task type 2. Strings are owned: a copy is deep.
struct uTaskPrepare {
    uTaskHead head{InstrumentTaskPrepare, 0, 0};
    std::int64_t eProtocol = 0;  // an eProtocol value; every producer sets it equal to eInterface
    std::int64_t eInterface = 0; // an eInterface value
    std::int64_t eModel = 0;     // 0 = not yet known
    std::int64_t fUserModel = 0; // 1 = maker and model were given by the user
    std::string sUserManufacturer;
    std::string sUserModel;
    std::int64_t fLibUsb0 = 0; // USB through the libusb-0.1 API
    std::int64_t fLibUsb1 = 0; // USB through libusb-1.0; tested before fLibUsb0
    uConnectionUsb usb;
    uConnectionVxi11 vxi11;
    uConnectionRawTcp rawTcp;
    uConnectionSerial serial;
};

namespace Instrument {

// The protocol as the lists show it: "USBTMC", "LXI", "RawTCP", "COM", "Proprietary", or
// "Error" for any other value.
const char* ProtocolText(std::int64_t iProtocol);

} // namespace Instrument
