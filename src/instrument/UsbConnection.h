// The USBTMC connection of an instrument instance: finding the instrument among the USB devices
// by vendor id, product id and (when given) serial number, opening it through libusb-1.0 or the
// libusb 0.1 interface, finding its endpoints, claiming its interface (on Linux the kernel's
// usbtmc driver is detached from it for the time of the claim), and the SCPI exchange over the
// USBTMC transport. The connection is an InstrumentTransport held by the instance; closing or
// dropping it releases the interface, the handle, the device list and the library context.
#pragma once

#include <string>

namespace InstrumentDefault {

struct uInstance;

// Each opens the device that the USB part of the instance's connection description names and
// attaches the connection to the instance (connected). Configuration 0 in the description means
// configuration 1, interface 0 and the endpoints of that interface's first alternate setting;
// what was found is written back into the description. On failure nothing stays open (the
// library context included) and sError ends with "The instrument was not found and no
// connection could be established.". Worker thread only.
bool ConnectUsbTmcLibUsb1(uInstance& instance, std::string& sError);
bool ConnectUsbTmcLibUsb0(uInstance& instance, std::string& sError);

} // namespace InstrumentDefault
