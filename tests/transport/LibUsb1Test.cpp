#include "transport/LibUsb1.h"
#include "transport/UsbSeam.h"

#include "sim/SimUsb.h"

#include <gtest/gtest.h>

namespace {

TEST(LibUsb1Real, StartsListsNoDevicesAndGivesItsVersion) {
    libusb_context* pContext = nullptr;
    std::string sError;
    ASSERT_TRUE(LibUsb1::Init(&pContext, sError)) << sError;
    std::vector<libusb_device*> lDevices{reinterpret_cast<libusb_device*>(1)};
    std::int64_t iCount = -1;
    libusb_device** pList = nullptr;
    // A machine without USB devices (these have no bus at all) is an empty list, not an error.
    ASSERT_TRUE(LibUsb1::GetDeviceList(pContext, lDevices, iCount, pList, sError)) << sError;
    EXPECT_EQ(iCount, static_cast<std::int64_t>(lDevices.size()));
    LibUsb1::FreeDeviceList(pList, true);
    LibUsb1::Exit(pContext);

    std::string sVersion, sDescription = "unchanged";
    ASSERT_TRUE(LibUsb1::GetVersion(sVersion, sDescription, sError)) << sError;
    const libusb_version* v = libusb_get_version();
    EXPECT_EQ(sVersion, std::to_string(v->major) + "." + std::to_string(v->minor) + "." +
                            std::to_string(v->micro) + "." + std::to_string(v->nano) + v->rc);
    if (*v->describe) {
        EXPECT_EQ(sDescription, v->describe);
    }
}

TEST(LibUsb1Real, ErrorTextsNameTheCode) {
    EXPECT_EQ(LibUsb1::GetErrorText(-4),
              std::string("(-4) LIBUSB_ERROR_NO_DEVICE - ") + libusb_strerror(-4));
    EXPECT_EQ(LibUsb1::GetErrorText(0).rfind("(0) LIBUSB_SUCCESS", 0), 0u);
}

TEST(LibUsb1Real, VersionWithoutRecordFails) {
    UsbSeam::uLibUsb1Calls c = UsbSeam::RealLibUsb1Calls();
    c.get_version = []() -> const libusb_version* { return nullptr; };
    UsbSeam::InstallLibUsb1Calls(&c);
    std::string sVersion = "x", sDescription = "y", sError;
    EXPECT_FALSE(LibUsb1::GetVersion(sVersion, sDescription, sError));
    EXPECT_EQ(sError, "LibUsb1::GetVersion: Es wurde ein Null-Zeiger zurückgegeben.");
    EXPECT_EQ(sVersion, "");
    EXPECT_EQ(sDescription, "");
    UsbSeam::InstallLibUsb1Calls(nullptr);
}

TEST(LibUsb1Real, NullArgumentsAreRefusedWithTheirTexts) {
    std::string sError;
    libusb_device_descriptor d{};
    EXPECT_FALSE(LibUsb1::GetDeviceDescriptor(nullptr, d, sError));
    EXPECT_EQ(sError, "LibUsb1::GetDeviceDescriptor: Der Zeiger des Geräts ist Null. *uDevice = 0");
    libusb_device_handle* h = nullptr;
    EXPECT_FALSE(LibUsb1::Open(nullptr, h, sError));
    EXPECT_EQ(sError, "LibUsb1::Open: Der Zeiger des Geräts ist Null. *uDevice = 0");
    EXPECT_FALSE(LibUsb1::ClearHalt(nullptr, 1, sError));
    EXPECT_EQ(sError, "LibUsb1::ClearHalt: Der Zeiger des geöffneten Geräts ist Null. *uDeviceHandle = 0");
    unsigned char b[4];
    EXPECT_FALSE(LibUsb1::BulkTransfer(nullptr, 1, b, 4, nullptr, 10, nullptr, sError));
    EXPECT_EQ(sError, "LibUsb1::BulkTransfer: Der Zeiger des Geräts ist Null. *uDeviceHandle = 0");
    LibUsb1::Close(nullptr);
    LibUsb1::FreeDeviceList(nullptr, true);
    LibUsb1::FreeConfigDescriptor(nullptr);
}

class LibUsb1Sim : public ::testing::Test {
  protected:
    void SetUp() override {
        pDevice = bus.AddDevice();
        bus.Install();
    }
    void TearDown() override {
        EXPECT_EQ(bus.OpenHandles(), 0);
        EXPECT_EQ(bus.OpenConfigDescriptors(), 0);
        bus.Uninstall();
    }
    SimUsb::Bus bus;
    std::shared_ptr<SimUsb::Device> pDevice;
    std::string sError;
};

TEST_F(LibUsb1Sim, EnumeratesDescribesAndOpens) {
    libusb_context* pContext = nullptr;
    ASSERT_TRUE(LibUsb1::Init(&pContext, sError)) << sError;
    std::vector<libusb_device*> lDevices;
    std::int64_t iCount = 0;
    libusb_device** pList = nullptr;
    ASSERT_TRUE(LibUsb1::GetDeviceList(pContext, lDevices, iCount, pList, sError)) << sError;
    ASSERT_EQ(iCount, 1);
    libusb_device_descriptor d{};
    ASSERT_TRUE(LibUsb1::GetDeviceDescriptor(lDevices[0], d, sError)) << sError;
    EXPECT_EQ(d.idVendor, 0x1AB1);
    EXPECT_EQ(d.idProduct, 0x04CE);
    int iBus = 0, iPort = 0;
    EXPECT_TRUE(LibUsb1::GetBusNumber(lDevices[0], iBus, sError));
    EXPECT_TRUE(LibUsb1::GetPortNumber(lDevices[0], iPort, sError));
    EXPECT_EQ(iBus, 1);
    EXPECT_EQ(iPort, 1);
    libusb_config_descriptor* pConfig = nullptr;
    ASSERT_TRUE(LibUsb1::GetConfigDescriptor(lDevices[0], 0, pConfig, sError)) << sError;
    const libusb_interface_descriptor& a = pConfig->interface[0].altsetting[0];
    EXPECT_EQ(a.bInterfaceClass, 0xFE);
    EXPECT_EQ(a.bNumEndpoints, 3);
    LibUsb1::FreeConfigDescriptor(pConfig);
    EXPECT_FALSE(LibUsb1::GetConfigDescriptor(lDevices[0], 1, pConfig, sError));
    EXPECT_EQ(sError, "LibUsb1::GetConfigDescriptor: " + LibUsb1::GetErrorText(LIBUSB_ERROR_NOT_FOUND));

    libusb_device_handle* h = nullptr;
    ASSERT_TRUE(LibUsb1::Open(lDevices[0], h, sError)) << sError;
    EXPECT_TRUE(LibUsb1::SetConfiguration(h, 1, sError));
    EXPECT_TRUE(LibUsb1::ClaimInterface(h, 0, sError));
    std::string sSerial;
    ASSERT_TRUE(LibUsb1::GetStringDescriptor(h, d.iSerialNumber, 0, sSerial, sError)) << sError;
    EXPECT_EQ(sSerial, "DS1ZA000000001");
    EXPECT_TRUE(LibUsb1::ReleaseInterface(h, 0, sError));
    LibUsb1::Close(h);
    LibUsb1::FreeDeviceList(pList, true);
    LibUsb1::Exit(pContext);
    EXPECT_EQ(bus.OpenContexts(), 0);
}

TEST_F(LibUsb1Sim, EmptyBusIsAnEmptyListAndAListErrorIsAFailure) {
    SimUsb::Bus empty;
    empty.Install();
    std::vector<libusb_device*> lDevices;
    std::int64_t iCount = -1;
    libusb_device** pList = nullptr;
    ASSERT_TRUE(LibUsb1::GetDeviceList(nullptr, lDevices, iCount, pList, sError));
    EXPECT_EQ(iCount, 0);
    EXPECT_TRUE(lDevices.empty());
    LibUsb1::FreeDeviceList(pList, true);
    empty.SetDeviceListError(LIBUSB_ERROR_NO_MEM);
    EXPECT_FALSE(LibUsb1::GetDeviceList(nullptr, lDevices, iCount, pList, sError));
    EXPECT_EQ(sError, "LibUsb1::GetDeviceList: " + LibUsb1::GetErrorText(LIBUSB_ERROR_NO_MEM));
    EXPECT_EQ(iCount, 0);
    EXPECT_EQ(pList, nullptr);
    empty.SetInitError(LIBUSB_ERROR_ACCESS);
    libusb_context* pContext = nullptr;
    EXPECT_FALSE(LibUsb1::Init(&pContext, sError));
    EXPECT_EQ(sError, "LibUsb1::Init: " + LibUsb1::GetErrorText(LIBUSB_ERROR_ACCESS));
    empty.Uninstall();
    bus.Install();
}

TEST_F(LibUsb1Sim, StringDescriptorsAreCheckedAgainstWhatArrived) {
    libusb_device_handle* h = bus.Open1(pDevice);
    std::string s = "old";
    std::vector<std::uint16_t> lLanguages;
    ASSERT_TRUE(LibUsb1::GetStringLanguageList(h, lLanguages, sError));
    EXPECT_EQ(lLanguages, std::vector<std::uint16_t>{0x0409});

    // Type 2 with a right length is not a string descriptor.
    pDevice->SetStringDescriptor(5, {4, 2, 'A', 0});
    EXPECT_FALSE(LibUsb1::GetStringDescriptor(h, 5, 0x409, s, sError));
    EXPECT_EQ(sError, "LibUsb1::GetStringDescriptor: " + LibUsb1::GetErrorText(-1));
    // bLength 0 or 1 would give a negative size; longer than received is refused too.
    for (std::uint8_t iLength : {0, 1, 9}) {
        pDevice->SetStringDescriptor(5, {iLength, 3, 'A', 0, 'B', 0});
        EXPECT_FALSE(LibUsb1::GetStringDescriptor(h, 5, 0x409, s, sError)) << int(iLength);
    }
    EXPECT_EQ(s, "old");
    // bLength 2 is an empty string; an odd length drops the half character; NUL ends early.
    pDevice->SetStringDescriptor(5, {2, 3, 'A', 0});
    ASSERT_TRUE(LibUsb1::GetStringDescriptor(h, 5, 0x409, s, sError));
    EXPECT_EQ(s, "");
    pDevice->SetStringDescriptor(5, {7, 3, 'A', 0, 'B', 0, 'C'});
    ASSERT_TRUE(LibUsb1::GetStringDescriptor(h, 5, 0x409, s, sError));
    EXPECT_EQ(s, "AB");
    pDevice->SetStringDescriptor(5, {8, 3, 'A', 0, 0, 0, 'C', 0});
    ASSERT_TRUE(LibUsb1::GetStringDescriptor(h, 5, 0x409, s, sError));
    EXPECT_EQ(s, "A");
    // UTF-16 with a surrogate pair and a lone surrogate.
    pDevice->SetStringDescriptor(5, {12, 3, 0xFC, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'x', 0});
    ASSERT_TRUE(LibUsb1::GetStringDescriptor(h, 5, 0x409, s, sError));
    EXPECT_EQ(s, "\xC3\xBC\xF0\x9F\x98\x80\xEF\xBF\xBDx");

    // The language list: too short, wrong type, bLength below 2 or beyond what arrived.
    for (auto v : std::vector<std::vector<std::uint8_t>>{
             {4, 3, 9}, {4, 2, 9, 4}, {1, 3, 9, 4}, {6, 3, 9, 4}}) {
        pDevice->SetStringDescriptor(0, v);
        EXPECT_FALSE(LibUsb1::GetStringLanguageList(h, lLanguages, sError));
        EXPECT_EQ(sError, "LibUsb1::GetStringLanguageList: " + LibUsb1::GetErrorText(-1));
    }
    // A device with an empty language list has no first language.
    pDevice->SetStringDescriptor(0, {2, 3, 0, 0});
    EXPECT_FALSE(LibUsb1::GetStringDescriptor(h, 1, 0, s, sError));
    pDevice->PushControlError(6, LIBUSB_ERROR_PIPE);
    EXPECT_FALSE(LibUsb1::GetStringLanguageList(h, lLanguages, sError));
    EXPECT_EQ(sError, "LibUsb1::GetStringLanguageList: " + LibUsb1::GetErrorText(LIBUSB_ERROR_PIPE));
    LibUsb1::Close(h);
}

TEST_F(LibUsb1Sim, TransfersReportCountsAndCodes) {
    libusb_device_handle* h = bus.Open1(pDevice);
    // A control answer shorter than asked succeeds with the smaller count.
    unsigned char aBuffer[24] = {};
    int iLength = 24;
    pDevice->PushControlReply(7, {1, 0, 0, 1});
    ASSERT_TRUE(LibUsb1::ControlTransfer(h, 0xA1, 7, 0, 0, aBuffer, iLength, 500, sError));
    EXPECT_EQ(iLength, 4);
    pDevice->PushControlError(7, LIBUSB_ERROR_TIMEOUT);
    iLength = 24;
    EXPECT_FALSE(LibUsb1::ControlTransfer(h, 0xA1, 7, 0, 0, aBuffer, iLength, 500, sError));
    EXPECT_EQ(sError, "LibUsb1::ControlTransfer: " + LibUsb1::GetErrorText(LIBUSB_ERROR_TIMEOUT));

    int iTransferred = -1, iCode = 1;
    EXPECT_FALSE(LibUsb1::BulkTransfer(h, 0x82, aBuffer, 24, &iTransferred, 10, &iCode, sError));
    EXPECT_EQ(iCode, LIBUSB_ERROR_TIMEOUT);
    EXPECT_EQ(iTransferred, 0);
    EXPECT_EQ(sError, "LibUsb1::BulkTransfer: " + LibUsb1::GetErrorText(LIBUSB_ERROR_TIMEOUT));
    EXPECT_FALSE(LibUsb1::BulkTransfer(h, 0x82, nullptr, 24, &iTransferred, 10, &iCode, sError));
    EXPECT_EQ(sError, "LibUsb1::BulkTransfer: Der Zeiger auf die Daten ist Null. *Data = 0");
    EXPECT_FALSE(LibUsb1::InterruptTransfer(h, 0x83, aBuffer, 0, nullptr, 10, nullptr, sError));
    EXPECT_EQ(sError, "LibUsb1::InterruptTransfer: Die Längenangabe der Daten ist Null. iLength = 0");
    pDevice->PushInterrupt({0x81, 0x50});
    ASSERT_TRUE(LibUsb1::InterruptTransfer(h, 0x83, aBuffer, 2, &iTransferred, 10, &iCode, sError));
    EXPECT_EQ(iTransferred, 2);
    EXPECT_EQ(iCode, 0);
    LibUsb1::Close(h);
}

} // namespace
