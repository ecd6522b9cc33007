// The settings records that a connect procedure hands to a transport instance, which copies
// them. Built from the instance's connection description and the program's response time-out
// for the interface.
#pragma once

#include <cstdint>
#include <string>

// VXI-11 and raw TCP.
struct uNetworkSettings {
    std::int64_t iConnection = 0; // 0 when handed over; the transport keeps its open connection here
    std::string sAdapterIp;       // local adapter's IPv4 address to connect from
    std::string sInstrumentIp;
    std::int64_t iPort = 0;
    std::int64_t iTimeout = 0; // response time-out in ms
};

// Serial ports.
struct uSerialSettings {
    std::int64_t iPortHandle = 0; // 0 when handed over; the transport keeps its open port here
    std::string sPort;
    std::int64_t iBaudRate = 0;
    std::int64_t iDataBits = 0;
    float fStopBits = 0.0F;
    std::int64_t iParity = 0;
    std::int64_t iHandshake = 0;
    std::int64_t iTimeout = 0; // response time-out in ms
};

// USBTMC: the open device in the chosen USB library and its endpoints.
struct uUsbTmcSettings {
    std::int64_t fLibUsb0 = 0;
    std::int64_t fLibUsb1 = 0;
    void* pDeviceHandle = nullptr; // the chosen library's handle of the open device
    std::int64_t iInterface = 0;
    std::int64_t iInterruptIn = 0;
    std::int64_t iBulkOut = 0;
    std::int64_t iBulkOutMaxPacketSize = 0;
    std::int64_t iBulkIn = 0;
    std::int64_t iBulkInMaxPacketSize = 0;
};
