#include "transport/UsbAccess.h"

#include "transport/LibUsb1.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace UsbAccess {

bool Denied1(int iCode) { return iCode == LIBUSB_ERROR_ACCESS; }

bool Denied0(int iCode) {
    const int iErrno = iCode < 0 ? -iCode : iCode;
    return iErrno == EACCES || iErrno == EPERM;
}

std::string DeniedText(int iVendorId, int iProductId, int iBus, int iAddress) {
    char aDevice[64];
    std::snprintf(aDevice, sizeof aDevice, "%04x:%04x (bus %03d, address %03d)", iVendorId & 0xFFFF,
                  iProductId & 0xFFFF, iBus, iAddress);
    return std::string(cDeniedStart) + aDevice +
           ". The udev rule " + cRuleFile +
           " (packaging/udev/ of the program) grants it: copy it to /etc/udev/rules.d/, run "
           "'udevadm control --reload' and plug the device in again.";
}

std::string DeniedText(libusb_device* pDevice) {
    libusb_device_descriptor d{};
    int iBus = 0, iAddress = 0;
    std::string sIgnored;
    LibUsb1::GetDeviceDescriptor(pDevice, d, sIgnored);
    LibUsb1::GetBusNumber(pDevice, iBus, sIgnored);
    LibUsb1::GetDeviceAddress(pDevice, iAddress, sIgnored);
    return DeniedText(d.idVendor, d.idProduct, iBus, iAddress);
}

std::string DeniedText(const usb_device& device) {
    // On Linux the bus directory and the device file are the numbers, "001" and "004".
    const int iBus = device.bus ? std::atoi(device.bus->dirname) : 0;
    return DeniedText(device.descriptor.idVendor, device.descriptor.idProduct, iBus, device.devnum);
}

} // namespace UsbAccess
