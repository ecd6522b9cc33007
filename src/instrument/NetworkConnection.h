// The VXI-11, raw TCP and serial connections of an instrument instance: opening the transport
// instance from the connection description, the SCPI exchange over it, and closing it. The
// connection is an InstrumentTransport held by the instance; closing or dropping it deletes the
// transport instance, so it always closes what was actually opened.
#pragma once

#include "transport/Network.h"

#include <string>
#include <vector>

namespace InstrumentDefault {

struct uInstance;

// Each opens the interface that the instance's connection description names, with the
// program's response time-out for it, and attaches the connection to the instance (connected).
// On failure nothing stays open and no transport instance is left: sError holds the step's text,
// " - " and the transport's own. Worker thread only.
bool ConnectVxi(uInstance& instance, std::string& sError);
bool ConnectRawTcp(uInstance& instance, std::string& sError);
bool ConnectSerial(uInstance& instance, std::string& sError);

// The local address to reach sInstrumentIp from, among adapters[1..iCount]: adapters without an
// address ("0.0.0.0" or empty) are left out; an adapter whose network (address AND mask) holds
// the instrument comes first, then the one with more equal leading octets; among equals the
// earlier one. "" when no adapter is left. An instrument on this PC (127.0.0.0/8) is reached
// from the loopback address, whatever the list holds.
std::string ChooseAdapter(const std::vector<Network::uNetworkAdapter>& adapters, int iCount,
                          const std::string& sInstrumentIp);

} // namespace InstrumentDefault
