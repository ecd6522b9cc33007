#include "transport/UsbSeam.h"

#include <atomic>

namespace UsbSeam {

namespace {

const uLibUsb1Calls cRealLibUsb1 = {
    libusb_init,
    libusb_exit,
    libusb_get_device_list,
    libusb_free_device_list,
    libusb_get_device_descriptor,
    libusb_get_config_descriptor,
    libusb_free_config_descriptor,
    libusb_get_bus_number,
    libusb_get_port_number,
    libusb_open,
    libusb_close,
    libusb_set_configuration,
    libusb_claim_interface,
    libusb_release_interface,
    libusb_clear_halt,
    libusb_control_transfer,
    libusb_bulk_transfer,
    libusb_interrupt_transfer,
    libusb_get_version,
    libusb_get_configuration,
    libusb_set_auto_detach_kernel_driver,
    libusb_has_capability,
    libusb_hotplug_register_callback,
    libusb_hotplug_deregister_callback,
    libusb_handle_events_timeout_completed,
    libusb_get_device_address,
};

std::atomic<const uLibUsb1Calls*> pLibUsb1{nullptr};
std::atomic<const uLibUsb0Calls*> pLibUsb0{nullptr};

} // namespace

const uLibUsb1Calls& LibUsb1Calls() {
    const uLibUsb1Calls* p = pLibUsb1.load(std::memory_order_acquire);
    return p ? *p : cRealLibUsb1;
}

const uLibUsb1Calls& RealLibUsb1Calls() { return cRealLibUsb1; }

void InstallLibUsb1Calls(const uLibUsb1Calls* pCalls) {
    pLibUsb1.store(pCalls, std::memory_order_release);
}

const uLibUsb0Calls* InstalledLibUsb0Calls() { return pLibUsb0.load(std::memory_order_acquire); }

void InstallLibUsb0Calls(const uLibUsb0Calls* pCalls) {
    pLibUsb0.store(pCalls, std::memory_order_release);
}

} // namespace UsbSeam
