// The one place where the program meets a USB library: the calls of libusb-1.0 and of the old
// libusb 0.1 interface that LibUsb1 and LibUsb0 make, as two tables of functions. By default
// the libusb-1.0 table points at the linked library and the 0.1 table is filled by LibUsb0 from
// the library it loads at run time; a simulated bus installs tables of its own in their place.
#pragma once

#include <libusb-1.0/libusb.h>

#include <climits>
#include <cstddef>
#include <cstdint>

// The records of the libusb 0.1 interface, laid out as that library declares them (its header
// is not needed to build the program). Callers walk the bus and device lists directly.
extern "C" {
struct usb_endpoint_descriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bEndpointAddress;
    std::uint8_t bmAttributes;
    std::uint16_t wMaxPacketSize;
    std::uint8_t bInterval;
    std::uint8_t bRefresh;
    std::uint8_t bSynchAddress;
    unsigned char* extra;
    int extralen;
};

struct usb_interface_descriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bInterfaceNumber;
    std::uint8_t bAlternateSetting;
    std::uint8_t bNumEndpoints;
    std::uint8_t bInterfaceClass;
    std::uint8_t bInterfaceSubClass;
    std::uint8_t bInterfaceProtocol;
    std::uint8_t iInterface;
    struct usb_endpoint_descriptor* endpoint;
    unsigned char* extra;
    int extralen;
};

struct usb_interface {
    struct usb_interface_descriptor* altsetting;
    int num_altsetting;
};

struct usb_config_descriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t wTotalLength;
    std::uint8_t bNumInterfaces;
    std::uint8_t bConfigurationValue;
    std::uint8_t iConfiguration;
    std::uint8_t bmAttributes;
    std::uint8_t MaxPower;
    struct usb_interface* interface;
    unsigned char* extra;
    int extralen;
};

struct usb_device_descriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};

struct usb_bus;

struct usb_device {
    struct usb_device *next, *prev;
    char filename[PATH_MAX + 1];
    struct usb_bus* bus;
    struct usb_device_descriptor descriptor;
    struct usb_config_descriptor* config;
    void* dev;
    std::uint8_t devnum;
    unsigned char num_children;
    struct usb_device** children;
};

struct usb_bus {
    struct usb_bus *next, *prev;
    char dirname[PATH_MAX + 1];
    struct usb_device* devices;
    std::uint32_t location;
    struct usb_device* root_dev;
};

// The version record of libusb-win32 (the Linux library has no usb_get_version).
struct usb_version {
    struct {
        int major, minor, micro, nano;
    } dll;
    struct {
        int major, minor, micro, nano;
    } driver;
};

struct usb_dev_handle; // opaque
typedef struct usb_dev_handle usb_dev_handle;
}

namespace UsbSeam {

// The libusb-1.0 calls the program makes.
struct uLibUsb1Calls {
    int (*init)(libusb_context**);
    void (*exit)(libusb_context*);
    ssize_t (*get_device_list)(libusb_context*, libusb_device***);
    void (*free_device_list)(libusb_device**, int);
    int (*get_device_descriptor)(libusb_device*, libusb_device_descriptor*);
    int (*get_config_descriptor)(libusb_device*, std::uint8_t, libusb_config_descriptor**);
    void (*free_config_descriptor)(libusb_config_descriptor*);
    std::uint8_t (*get_bus_number)(libusb_device*);
    std::uint8_t (*get_port_number)(libusb_device*);
    int (*open)(libusb_device*, libusb_device_handle**);
    void (*close)(libusb_device_handle*);
    int (*set_configuration)(libusb_device_handle*, int);
    int (*claim_interface)(libusb_device_handle*, int);
    int (*release_interface)(libusb_device_handle*, int);
    int (*clear_halt)(libusb_device_handle*, unsigned char);
    int (*control_transfer)(libusb_device_handle*, std::uint8_t, std::uint8_t, std::uint16_t,
                            std::uint16_t, unsigned char*, std::uint16_t, unsigned int);
    int (*bulk_transfer)(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                         unsigned int);
    int (*interrupt_transfer)(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                              unsigned int);
    const libusb_version* (*get_version)();
    int (*get_configuration)(libusb_device_handle*, int*);
    int (*set_auto_detach_kernel_driver)(libusb_device_handle*, int);
    // Hot-plug notices. A table without them (null entries) has no hot-plug.
    int (*has_capability)(std::uint32_t);
    int (*hotplug_register_callback)(libusb_context*, int, int, int, int, int, libusb_hotplug_callback_fn,
                                     void*, libusb_hotplug_callback_handle*);
    void (*hotplug_deregister_callback)(libusb_context*, libusb_hotplug_callback_handle);
    int (*handle_events_timeout_completed)(libusb_context*, struct timeval*, int*);
    std::uint8_t (*get_device_address)(libusb_device*);
};

// The libusb 0.1 calls the program makes. A null entry is a function the library lacks.
struct uLibUsb0Calls {
    void (*usb_init)();
    int (*usb_find_busses)();
    int (*usb_find_devices)();
    struct usb_bus* (*usb_get_busses)();
    usb_dev_handle* (*usb_open)(struct usb_device*);
    int (*usb_close)(usb_dev_handle*);
    int (*usb_set_configuration)(usb_dev_handle*, int);
    int (*usb_claim_interface)(usb_dev_handle*, int);
    int (*usb_release_interface)(usb_dev_handle*, int);
    int (*usb_clear_halt)(usb_dev_handle*, unsigned int);
    int (*usb_control_msg)(usb_dev_handle*, int, int, int, int, char*, int, int);
    int (*usb_get_string_simple)(usb_dev_handle*, int, char*, std::size_t);
    int (*usb_bulk_write)(usb_dev_handle*, int, char*, int, int);
    int (*usb_bulk_read)(usb_dev_handle*, int, char*, int, int);
    int (*usb_interrupt_read)(usb_dev_handle*, int, char*, int, int);
    const struct usb_version* (*usb_get_version)();
};

// The libusb-1.0 table in use: the installed one, else the linked library's.
const uLibUsb1Calls& LibUsb1Calls();

// The linked library's own table.
const uLibUsb1Calls& RealLibUsb1Calls();

// Puts a table in place of the linked library; nullptr puts the library back. The table must
// outlive its installation. Install before the threads that use USB start.
void InstallLibUsb1Calls(const uLibUsb1Calls* pCalls);

// The installed 0.1 table, or nullptr when LibUsb0 is to load the real library.
const uLibUsb0Calls* InstalledLibUsb0Calls();

// Puts a table in place of the library that LibUsb0 loads (LibUsb0 then treats it as loaded);
// nullptr lets LibUsb0 load the real library again. Call LibUsb0::CloseLibrary around a change.
void InstallLibUsb0Calls(const uLibUsb0Calls* pCalls);

} // namespace UsbSeam
