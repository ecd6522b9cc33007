// What a main window knows of its connected instrument, as its child windows see it. Every child
// opener hands the child the address of its main window's record; a child that keeps a copy gets
// buffers of its own (DataBuffer copies its bytes).
#pragma once

#include "common/DataBuffer.h"
#include "common/UtilityGui.h"
#include "instrument/InstrumentObject.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "transport/InterfaceDefaults.h"

#include <cstdint>
#include <string>

struct uInstrumentWindowInfo {
    ::eProtocol eProtocol = ::eProtocol{};
    ::eModel eModel = ModelNone;
    std::string sManufacturer;
    std::string sModel;
    bool fConnected = false;
    std::int64_t iReserved1 = 0;
    // The instrument of the current or last connection.
    InstrumentObject pInstrument;
    std::int64_t iReserved2 = 0;
    // The instrument's icon, shown as the main window's icon; no icon file when none.
    Utility::uWindowIcon icon;
    // Send data and answer of a child's SCPI exchange; their sizes are the buffers' own.
    DataBuffer sendData;
    DataBuffer receiveData;
    // The last exchange's result flags and its start time in milliseconds.
    bool fSendFinished = false;
    bool fRequestFinished = false;
    std::int64_t iStartTime = 0;
    uModelCommands commands;
    uModelCapabilities capabilities;
    // The connection went away and could not be opened again: not connected, but the main window
    // still holds the object, and the next request tries to open it (the instrument's worker does
    // so) until the user disconnects it.
    bool fLost = false;
};

// Whether a child's request goes to the instrument: a connected one, or a lost one, which the
// request tries to open.
inline bool TakesRequests(const uInstrumentWindowInfo& info) {
    return info.fConnected || (info.fLost && info.pInstrument);
}
