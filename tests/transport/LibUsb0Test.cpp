#include "transport/LibUsb0.h"
#include "transport/UsbSeam.h"

#include "sim/SimUsb.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// A test that needs the library unloaded closes it first: the tests may run in one process,
// in any order.

TEST(LibUsb0Real, LoadsAndLacksTheVersionCall) {
    std::string sError;
    ASSERT_TRUE(LibUsb0::Init(sError)) << sError;
    int iBusses = 0, iDevices = 0;
    EXPECT_TRUE(LibUsb0::FindBusses(iBusses, sError));
    EXPECT_TRUE(LibUsb0::FindDevices(iDevices, sError));
    EXPECT_EQ(iDevices, 0);
    // The Linux library has no usb_get_version: the wrapper names the missing function.
    std::string sVersion;
    EXPECT_FALSE(LibUsb0::GetVersion(sVersion, sError));
    EXPECT_EQ(sError, "LibUsb0::GetVersion: Die Funktion 'usb_get_version' ist nicht vorhanden.");
    // A second Init keeps the library loaded.
    EXPECT_TRUE(LibUsb0::Init(sError));
    LibUsb0::CloseLibrary();
    EXPECT_FALSE(LibUsb0::FindBusses(iBusses, sError));
    EXPECT_EQ(sError, "LibUsb0::FindBusses: Die Funktion 'usb_find_busses' ist nicht vorhanden.");
}

// The library reads descriptors from a usbfs tree; a fake one in a temporary folder lets it
// enumerate a device, and our records must walk its lists as it laid them out.
TEST(LibUsb0Real, RecordsMatchTheLibraryLayout) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("orvanto-usbfs-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "001");
    const unsigned char aDevice[] = {
        18, 1, 0x00, 0x02, 0, 0, 0, 64, 0xB1, 0x1A, 0xCE, 0x04, 0x00, 0x01, 1, 2, 3, 1,
        // configuration 1: one interface (USBTMC, USB488) with three endpoints
        9, 2, 39, 0, 1, 1, 0, 0x80, 50,
        9, 4, 0, 0, 3, 0xFE, 3, 1, 0,
        7, 5, 0x01, 2, 0x00, 0x02, 0,
        7, 5, 0x82, 2, 0x00, 0x02, 0,
        7, 5, 0x83, 3, 0x08, 0x00, 1};
    {
        std::ofstream f(dir / "001" / "002", std::ios::binary);
        f.write(reinterpret_cast<const char*>(aDevice), sizeof aDevice);
    }
    setenv("USB_DEVFS_PATH", dir.c_str(), 1);
    std::string sError;
    ASSERT_TRUE(LibUsb0::Init(sError)) << sError;
    int iBusses = 0, iDevices = 0;
    ASSERT_TRUE(LibUsb0::FindBusses(iBusses, sError));
    ASSERT_TRUE(LibUsb0::FindDevices(iDevices, sError));
    EXPECT_EQ(iDevices, 1);
    usb_bus* pBus = LibUsb0::GetBusses(sError);
    ASSERT_NE(pBus, nullptr);
    EXPECT_STREQ(pBus->dirname, "001");
    usb_device* d = pBus->devices;
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->filename, "002");
    EXPECT_EQ(d->bus, pBus);
    EXPECT_EQ(d->descriptor.idVendor, 0x1AB1);
    EXPECT_EQ(d->descriptor.idProduct, 0x04CE);
    EXPECT_EQ(d->descriptor.iSerialNumber, 3);
    ASSERT_EQ(d->descriptor.bNumConfigurations, 1);
    ASSERT_NE(d->config, nullptr);
    EXPECT_EQ(d->config[0].bConfigurationValue, 1);
    ASSERT_EQ(d->config[0].bNumInterfaces, 1);
    ASSERT_EQ(d->config[0].interface[0].num_altsetting, 1);
    const usb_interface_descriptor& a = d->config[0].interface[0].altsetting[0];
    EXPECT_EQ(a.bInterfaceClass, 0xFE);
    EXPECT_EQ(a.bInterfaceSubClass, 3);
    EXPECT_EQ(a.bInterfaceProtocol, 1);
    ASSERT_EQ(a.bNumEndpoints, 3);
    EXPECT_EQ(a.endpoint[0].bEndpointAddress, 0x01);
    EXPECT_EQ(a.endpoint[1].bEndpointAddress, 0x82);
    EXPECT_EQ(a.endpoint[1].wMaxPacketSize, 512);
    EXPECT_EQ(a.endpoint[2].bEndpointAddress, 0x83);
    EXPECT_EQ(a.endpoint[2].bmAttributes, 3);
    EXPECT_EQ(a.endpoint[2].wMaxPacketSize, 8);
    EXPECT_EQ(d->next, nullptr);
    // The device and then its bus gone, the library frees what it listed: a later test that
    // unloads the library (the tests may run in one process) would lose the lists.
    std::filesystem::remove(dir / "001" / "002");
    EXPECT_TRUE(LibUsb0::FindDevices(iDevices, sError));
    std::filesystem::remove(dir / "001");
    EXPECT_TRUE(LibUsb0::FindBusses(iBusses, sError));
    EXPECT_EQ(LibUsb0::GetBusses(sError), nullptr);
    std::filesystem::remove_all(dir);
    unsetenv("USB_DEVFS_PATH");
}

TEST(LibUsb0Real, ArgumentsAreCheckedFirst) {
    LibUsb0::CloseLibrary();
    std::string sError;
    EXPECT_EQ(LibUsb0::Open(nullptr, sError), nullptr);
    EXPECT_EQ(sError, "LibUsb0::Open: Der Zeiger für *uDevice ist Null.");
    int iSize = 4;
    unsigned char b[4];
    EXPECT_FALSE(LibUsb0::BulkWrite(nullptr, 1, b, iSize, 10, nullptr, sError));
    EXPECT_EQ(sError, "LibUsb0::BulkWrite: Der Zeiger für *uDeviceHandle ist Null.");
    EXPECT_FALSE(LibUsb0::BulkRead(reinterpret_cast<usb_dev_handle*>(b), 1, nullptr, iSize, 10,
                                   nullptr, sError));
    EXPECT_EQ(sError, "LibUsb0::BulkRead: Der Zeiger für *Data ist Null.");
    // Not loaded yet: every function is missing.
    EXPECT_FALSE(LibUsb0::InterruptRead(reinterpret_cast<usb_dev_handle*>(b), 1, b, iSize, 10,
                                        nullptr, sError));
    EXPECT_EQ(sError, "LibUsb0::InterruptRead: Die Funktion 'usb_interrupt_read' ist nicht vorhanden.");
}

int iInitCalls = 0;

TEST(LibUsb0Table, InitLoadsOnceAndCallsUsbInitEachTime) {
    LibUsb0::CloseLibrary();
    iInitCalls = 0;
    UsbSeam::uLibUsb0Calls c{};
    c.usb_init = [] { ++iInitCalls; };
    c.usb_bulk_read = [](usb_dev_handle*, int, char*, int, int) { return 0; };
    c.usb_bulk_write = [](usb_dev_handle*, int, char*, int, int) { return -EPIPE; };
    c.usb_open = [](usb_device*) -> usb_dev_handle* { return nullptr; };
    c.usb_set_configuration = [](usb_dev_handle*, int) { return -5; };
    UsbSeam::InstallLibUsb0Calls(&c);
    std::string sError = "before";
    ASSERT_TRUE(LibUsb0::Init(sError));
    ASSERT_TRUE(LibUsb0::Init(sError));
    EXPECT_EQ(iInitCalls, 2);
    EXPECT_EQ(sError, "before");

    // usb_bulk_read returning 0 is a success with 0 bytes.
    unsigned char b[64];
    int iSize = 64, iCode = 1;
    auto h = reinterpret_cast<usb_dev_handle*>(b);
    ASSERT_TRUE(LibUsb0::BulkRead(h, 0x82, b, iSize, 10, &iCode, sError));
    EXPECT_EQ(iSize, 0);
    EXPECT_EQ(iCode, 0);
    iSize = 64;
    EXPECT_FALSE(LibUsb0::BulkWrite(h, 1, b, iSize, 10, &iCode, sError));
    EXPECT_EQ(sError, "LibUsb0::BulkWrite: Fehler beim Bulk Write Transfer: -32");
    EXPECT_EQ(iCode, -EPIPE);
    // A device that can't be opened gives nullptr and leaves the text alone.
    usb_device uDevice{};
    sError = "kept";
    EXPECT_EQ(LibUsb0::Open(&uDevice, sError), nullptr);
    EXPECT_EQ(sError, "kept");
    EXPECT_FALSE(LibUsb0::SetConfiguration(h, 1, sError));
    EXPECT_EQ(sError, "LibUsb0::SetConfiguration: Fehler beim Setzen der Konfiguration 1: -5");
    // Functions the table lacks.
    EXPECT_FALSE(LibUsb0::ClearHalt(h, 1, sError));
    EXPECT_EQ(sError, "LibUsb0::ClearHalt: Die Funktion 'usb_clear_halt' ist nicht vorhanden.");
    EXPECT_EQ(LibUsb0::GetBusses(sError), nullptr);
    EXPECT_EQ(sError, "LibUsb0::GetBusses: Die Funktion 'usb_get_busses' ist nicht vorhanden.");
    LibUsb0::CloseLibrary();
    UsbSeam::InstallLibUsb0Calls(nullptr);
}

TEST(LibUsb0Sim, WalksTheSimulatedBusAndTalks) {
    SimUsb::Bus bus;
    SimUsb::uDeviceConfig hub;
    hub.iDeviceClass = 9;
    bus.AddDevice(hub);
    auto pDevice = bus.AddDevice();
    bus.Install();
    std::string sError;
    ASSERT_TRUE(LibUsb0::Init(sError));
    int n = 0;
    ASSERT_TRUE(LibUsb0::FindBusses(n, sError));
    ASSERT_TRUE(LibUsb0::FindDevices(n, sError));
    EXPECT_EQ(n, 2);
    usb_bus* pBus = LibUsb0::GetBusses(sError);
    ASSERT_NE(pBus, nullptr);
    ASSERT_NE(pBus->devices, nullptr);
    EXPECT_EQ(pBus->devices->descriptor.bDeviceClass, 9);
    usb_device* d = pBus->devices->next;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->config[0].interface[0].altsetting[0].endpoint[1].bEndpointAddress, 0x82);
    usb_dev_handle* h = LibUsb0::Open(d, sError);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(LibUsb0::SetConfiguration(h, 1, sError));
    EXPECT_TRUE(LibUsb0::ClaimInterface(h, 0, sError));
    std::string s;
    ASSERT_TRUE(LibUsb0::GetStringSimple(h, 3, s, sError));
    EXPECT_EQ(s, "DS1ZA000000001");
    EXPECT_FALSE(LibUsb0::GetStringSimple(h, 9, s, sError));
    EXPECT_EQ(sError, "LibUsb0::GetStringSimple: Fehler beim Ermitteln der Beschreibung des Descriptors: -32");
    unsigned char b[24] = {};
    int iSize = 24;
    ASSERT_TRUE(LibUsb0::ControlMsg(h, 0xA1, 7, 0, 0, b, iSize, 500, nullptr, sError));
    EXPECT_EQ(iSize, 24);
    iSize = 24;
    EXPECT_FALSE(LibUsb0::BulkRead(h, 0x82, b, iSize, 10, nullptr, sError));
    EXPECT_EQ(sError, "LibUsb0::BulkRead: Fehler beim Bulk Read Transfer: " + std::to_string(-ETIMEDOUT));
    std::string sVersion;
    ASSERT_TRUE(LibUsb0::GetVersion(sVersion, sError));
    EXPECT_EQ(sVersion, "1.2.6.0");
    EXPECT_TRUE(LibUsb0::ReleaseInterface(h, 0, sError));
    EXPECT_TRUE(LibUsb0::Close(h, sError));
    EXPECT_EQ(bus.OpenHandles(), 0);
}

} // namespace
