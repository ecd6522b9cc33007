// The USB part of the instrument search over the simulated bus, through both USB libraries,
// and the search thread's start, refusal and end.
#include "SearchTestSupport.h"

#include "instrument/Instrument.h"
#include "instrument/InstrumentSearch.h"
#include "platform/ProgramEvents.h"
#include "sim/SimUsb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int Window = 5150;

SimUsb::uInterface UsbTmcInterface(std::uint8_t iNumber, std::uint8_t iProtocol = 1) {
    SimUsb::uInterface f;
    f.iNumber = iNumber;
    f.iProtocol = iProtocol;
    f.lEndpoints = {{0x02, 2, 64}, {0x81, 2, 64}, {0x83, 3, 8}, {0x04, 2, 512}, {0x85, 2, 512}};
    return f;
}

SimUsb::uInterface OtherInterface(std::uint8_t iNumber) {
    SimUsb::uInterface f;
    f.iNumber = iNumber;
    f.iClass = 0x08; // mass storage
    f.iSubClass = 6;
    f.iProtocol = 0x50;
    f.lEndpoints = {{0x01, 2, 512}, {0x82, 2, 512}};
    return f;
}

SimUsb::uDeviceConfig Named(const std::string& sSerial, int iPort) {
    SimUsb::uDeviceConfig c;
    c.sSerialNumber = sSerial;
    c.iPortNumber = iPort;
    return c;
}

class InstrumentSearchUsbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SearchSupport::Start();
        pRecorder = std::make_unique<SearchSupport::Recorder>(Window);
        // A USB488 instrument as most are, and its twin with the same serial number.
        plain = bus.AddDevice(Named("DS1ZA000000001", 1));
        twin = bus.AddDevice(Named("DS1ZA000000001", 2));
        // A composite device: class 0xEF on the device, a USBTMC interface all the same.
        SimUsb::uDeviceConfig composite = Named("COMPOSITE", 3);
        composite.iDeviceClass = 0xEF;
        composite.iDeviceSubClass = 2;
        composite.iDeviceProtocol = 1;
        skippedComposite = bus.AddDevice(composite);
        // Plain USBTMC, not USB488.
        SimUsb::uDeviceConfig plainTmc = Named("PLAINTMC", 4);
        plainTmc.lConfigurations = {{1, {UsbTmcInterface(0, 0)}}};
        skippedProtocol0 = bus.AddDevice(plainTmc);
        // The USBTMC interface is the second one of its configuration.
        SimUsb::uDeviceConfig second = Named("SECONDIF", 5);
        second.lConfigurations = {{1, {OtherInterface(0), UsbTmcInterface(1)}}};
        skippedSecondInterface = bus.AddDevice(second);
        // The USBTMC interface lies in the second configuration (value 3); the device is in
        // its first.
        SimUsb::uDeviceConfig config2 = Named("CONFIG2", 6);
        config2.iVendorId = 0x0AAD;
        config2.iProductId = 0x01D6;
        config2.sManufacturer = "Rohde&Schwarz";
        config2.sProduct = "RTB2004";
        config2.lConfigurations = {{1, {OtherInterface(0)}}, {3, {UsbTmcInterface(2)}}};
        secondConfiguration = bus.AddDevice(config2);
        bus.Install();
    }
    void TearDown() override {
        SearchSupport::ReleaseAll();
        bus.Uninstall();
    }

    // Runs a USB search through one library and waits for its end and for every chain.
    void Search(bool fLibUsb1, bool fLibUsb0) {
        uStartSearch order;
        order.iWindow = Window;
        order.fUsb = 1;
        order.fLibUsb1 = fLibUsb1;
        order.fLibUsb0 = fLibUsb0;
        std::string sError;
        const int iEnds = recorder().Ends();
        ASSERT_TRUE(InstrumentSearch::StartSearch(&order, sError)) << sError;
        ASSERT_TRUE(recorder().WaitForEnds(iEnds + 1));
        ASSERT_TRUE(recorder().WaitForChains(SearchSupport::Listed()));
    }

    // The description of the listed instrument with this serial number and port.
    static std::vector<uTaskPrepare> Found() {
        std::vector<uTaskPrepare> found;
        for (const auto& object : SearchSupport::Listed()) found.push_back(SearchSupport::InfoOf(object).connection);
        return found;
    }

    // Devices the search must not have touched.
    void ExpectUntouched() {
        for (const auto& device : {skippedComposite, skippedProtocol0, skippedSecondInterface}) {
            EXPECT_EQ(device->Opens(), 0) << device->Config().sSerialNumber;
            EXPECT_TRUE(device->SetConfigurationLog().empty()) << device->Config().sSerialNumber;
        }
    }

    // The configurations set while the search held the device (its first open).
    static std::vector<int> SetBySearch(const std::shared_ptr<SimUsb::Device>& device) {
        std::vector<int> values;
        for (const auto& [iOpen, iValue] : device->SetConfigurationLog()) {
            if (iOpen == 1) values.push_back(iValue);
        }
        return values;
    }

    SimUsb::Bus bus;
    std::shared_ptr<SimUsb::Device> plain, twin, skippedComposite, skippedProtocol0, skippedSecondInterface,
        secondConfiguration;
    std::unique_ptr<SearchSupport::Recorder> pRecorder;
    SearchSupport::Recorder& recorder() { return *pRecorder; }
};

TEST_F(InstrumentSearchUsbTest, LibUsb1TakesUsb488InterfacesOfAnyConfigurationAndTouchesNothingElse) {
    Search(true, false);
    const auto found = Found();
    ASSERT_EQ(found.size(), 3u);
    // Two identical instruments are two objects, told apart by bus and port.
    for (int i = 0; i < 2; ++i) {
        const uTaskPrepare& p = found[static_cast<std::size_t>(i)];
        EXPECT_EQ(p.head.eTaskType, InstrumentTaskPrepare);
        EXPECT_EQ(p.head.iEvent, EventSearchFinished);
        EXPECT_EQ(p.head.iWindow, Window);
        EXPECT_EQ(p.eProtocol, ProtocolUsbTmc);
        EXPECT_EQ(p.eInterface, InterfaceUsbTmc);
        EXPECT_EQ(p.fLibUsb1, 1);
        EXPECT_EQ(p.fLibUsb0, 0);
        EXPECT_EQ(p.usb.iVendorId, 0x1AB1);
        EXPECT_EQ(p.usb.iProductId, 0x04CE);
        EXPECT_EQ(p.usb.sManufacturer, "Rigol Technologies");
        EXPECT_EQ(p.usb.sProduct, "DS1000Z Series");
        EXPECT_EQ(p.usb.sSerialNumber, "DS1ZA000000001");
        EXPECT_EQ(p.usb.iBusNumber, 1);
        EXPECT_EQ(p.usb.iPortNumber, i + 1);
        EXPECT_EQ(p.usb.iConfiguration, 1);
        EXPECT_EQ(p.usb.iInterface, 0);
        EXPECT_EQ(p.usb.iBulkOut, 0x01);
        EXPECT_EQ(p.usb.iBulkIn, 0x82);
        EXPECT_EQ(p.usb.iBulkInMaxPacketSize, 512);
        EXPECT_EQ(p.usb.iBulkOutMaxPacketSize, 512);
        EXPECT_EQ(p.usb.iInterruptIn, 0x83);
    }
    // Found in its second configuration, with that configuration's value; of several bulk
    // endpoints of a kind the last counts.
    const uTaskPrepare& p = found[2];
    EXPECT_EQ(p.usb.iVendorId, 0x0AAD);
    EXPECT_EQ(p.usb.sManufacturer, "Rohde&Schwarz");
    EXPECT_EQ(p.usb.sSerialNumber, "CONFIG2");
    EXPECT_EQ(p.usb.iConfiguration, 3);
    EXPECT_EQ(p.usb.iInterface, 2);
    EXPECT_EQ(p.usb.iBulkOut, 0x04);
    EXPECT_EQ(p.usb.iBulkIn, 0x85);
    EXPECT_EQ(p.usb.iInterruptIn, 0x83);

    // Only the instruments were opened; a configuration was set only where it differed.
    ExpectUntouched();
    EXPECT_TRUE(SetBySearch(plain).empty());
    EXPECT_TRUE(SetBySearch(twin).empty());
    EXPECT_EQ(SetBySearch(secondConfiguration), std::vector<int>{3});
    EXPECT_EQ(bus.OpenConfigDescriptors(), 0);
}

TEST_F(InstrumentSearchUsbTest, LibUsb0LooksAtTheFirstConfigurationOnly) {
    Search(false, true);
    const auto found = Found();
    ASSERT_EQ(found.size(), 2u);
    for (const uTaskPrepare& p : found) {
        EXPECT_EQ(p.fLibUsb0, 1);
        EXPECT_EQ(p.fLibUsb1, 0);
        EXPECT_EQ(p.usb.sSerialNumber, "DS1ZA000000001");
        EXPECT_EQ(p.usb.sProduct, "DS1000Z Series");
        EXPECT_EQ(p.usb.iBusNumber, 0);
        EXPECT_EQ(p.usb.iPortNumber, 0);
        EXPECT_EQ(p.usb.iConfiguration, 1);
        EXPECT_EQ(p.usb.iBulkIn, 0x82);
        EXPECT_EQ(p.usb.iInterruptIn, 0x83);
    }
    ExpectUntouched();
    EXPECT_EQ(secondConfiguration->Opens(), 0);
    EXPECT_TRUE(SetBySearch(plain).empty());
}

TEST_F(InstrumentSearchUsbTest, BothLibrariesRunOneAfterTheOther) {
    Search(true, true);
    const auto found = Found();
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ(std::count_if(found.begin(), found.end(), [](const uTaskPrepare& p) { return p.fLibUsb1 == 1; }), 3);
    // libusb-1.0 first.
    EXPECT_EQ(found.front().fLibUsb1, 1);
    EXPECT_EQ(found.back().fLibUsb0, 1);
}

TEST_F(InstrumentSearchUsbTest, LibraryFailuresEndTheEnumerationWithTheirLine) {
    bus.SetInitError(LIBUSB_ERROR_NO_MEM);
    Search(true, false);
    EXPECT_TRUE(SearchSupport::Listed().empty());
    ASSERT_EQ(recorder().CountLog("InstrumentSearch::SearchUsbTmcLibUsb1: The Libusb1 DLL could not be initialized. - "
                                "LibUsb1::Init: "),
              1);
    EXPECT_EQ(recorder().Ends(), 1);

    bus.SetInitError(0);
    bus.SetDeviceListError(LIBUSB_ERROR_IO);
    Search(true, false);
    EXPECT_TRUE(SearchSupport::Listed().empty());
    EXPECT_EQ(recorder().CountLog("InstrumentSearch::SearchUsbTmcLibUsb1: The list with the WinUSB/libusb1 devices "
                                "could not be determined."),
              1);
    EXPECT_EQ(bus.OpenContexts(), 0);
}

// The log line of a device the user may not open, as either library names it.
std::string DeniedLine(const char* pProcedure, const char* pDevice) {
    return std::string("InstrumentSearch::") + pProcedure + ": The user has no permission to open the USB device " +
           pDevice +
           ". The udev rule 70-orvanto-usbtmc.rules (packaging/udev/ of the program) grants it: copy it to "
           "/etc/udev/rules.d/, run 'udevadm control --reload' and plug the device in again.";
}

TEST_F(InstrumentSearchUsbTest, ADeviceTheUserMayNotOpenIsNamedWithItsRuleAndTheSearchGoesOn) {
    // The first instrument's device file is root's; the next one is found all the same.
    plain->SetOpenError(LIBUSB_ERROR_ACCESS);
    Search(true, false);
    std::vector<std::string> lSerials;
    for (const uTaskPrepare& p : Found()) lSerials.push_back(p.usb.sSerialNumber);
    EXPECT_EQ(lSerials, (std::vector<std::string>{"DS1ZA000000001", "CONFIG2"}));
    EXPECT_EQ(Found()[0].usb.iPortNumber, 2); // the twin
    EXPECT_EQ(recorder().CountLog(DeniedLine("SearchUsbTmcLibUsb1", "1ab1:04ce (bus 001, address 001)")), 1);

    // libusb 0.1 fails the open with EACCES.
    SearchSupport::ReleaseAll();
    Search(false, true);
    EXPECT_EQ(Found().size(), 1u);
    EXPECT_EQ(recorder().CountLog(DeniedLine("SearchUsbTmcLibUsb0", "1ab1:04ce (bus 001, address 001)")), 1);

    // The old library opens a device file it may only read and fails at the claim.
    plain->SetOpenError(0);
    twin->SetClaimError(LIBUSB_ERROR_ACCESS);
    SearchSupport::ReleaseAll();
    Search(false, true);
    EXPECT_EQ(Found().size(), 1u);
    EXPECT_EQ(recorder().CountLog(DeniedLine("SearchUsbTmcLibUsb0", "1ab1:04ce (bus 001, address 002)")), 1);
}

TEST_F(InstrumentSearchUsbTest, OtherOpenFailuresSkipTheDeviceWithoutThePermissionLine) {
    plain->SetOpenError(LIBUSB_ERROR_IO);
    twin->SetOpenError(LIBUSB_ERROR_BUSY);
    secondConfiguration->SetOpenError(LIBUSB_ERROR_NO_DEVICE);
    Search(true, true);
    EXPECT_TRUE(Found().empty());
    plain->SetOpenError(0);
    plain->SetClaimError(LIBUSB_ERROR_BUSY);
    Search(false, true);
    EXPECT_TRUE(Found().empty());
    EXPECT_EQ(recorder().CountLog("InstrumentSearch::SearchUsbTmcLibUsb1: The user has no permission"), 0);
    EXPECT_EQ(recorder().CountLog("InstrumentSearch::SearchUsbTmcLibUsb0: The user has no permission"), 0);
}

TEST_F(InstrumentSearchUsbTest, NothingToSearchEndsAtOnceAndASecondStartIsRefusedWhileOneRuns) {
    uStartSearch nothing;
    nothing.iWindow = Window;
    std::string sError;
    ASSERT_TRUE(InstrumentSearch::StartSearch(&nothing, sError)) << sError;
    ASSERT_TRUE(recorder().WaitForEnds(1));
    const EventHub::uEvent& end = recorder().EndEvents().front();
    EXPECT_EQ(end.iObject, WindowNobody);
    EXPECT_EQ(end.iType, 3);
    EXPECT_FALSE(end.pData);
    EXPECT_TRUE(SearchSupport::Listed().empty());

    // A raw broadcast on loopback that nobody answers keeps the search busy for its time-out.
    uStartSearch slow;
    slow.iWindow = Window;
    slow.fRawTcp = 1;
    slow.lAddress.push_back({"127.0.0.1", "127.0.0.1", 111, 9, 1500});
    ASSERT_TRUE(InstrumentSearch::StartSearch(&slow, sError)) << sError;
    EXPECT_TRUE(InstrumentSearch::IsRunning());
    EXPECT_FALSE(InstrumentSearch::StartSearch(&nothing, sError));
    EXPECT_EQ(sError,
              "InstrumentSearch::StartSearch: A search for instruments has already been started, and is still ongoing.");
    EXPECT_FALSE(InstrumentSearch::StartSearch(nullptr, sError));
    EXPECT_EQ(sError, "InstrumentSearch::StartSearch: The pointer to the structure is zero: *uStartSearch.uStartSearch");
    ASSERT_TRUE(recorder().WaitForEnds(2));
    EXPECT_FALSE(InstrumentSearch::IsRunning());
    // Once it has ended, the next one starts.
    ASSERT_TRUE(InstrumentSearch::StartSearch(&nothing, sError)) << sError;
    ASSERT_TRUE(recorder().WaitForEnds(3));
}

TEST_F(InstrumentSearchUsbTest, AStopEndsTheSearchAndNothingIsListedAfterwards) {
    // Enough instruments to keep the enumeration busy for a while (a pause after each one).
    for (int i = 0; i < 30; ++i) bus.AddDevice(Named("MANY" + std::to_string(i), 10 + i));
    bus.Install();
    uStartSearch order;
    order.iWindow = Window;
    order.fUsb = order.fLibUsb1 = 1;
    // And a broadcast that nobody answers for a minute.
    order.fRawTcp = 1;
    order.lAddress.push_back({"127.0.0.1", "127.0.0.1", 111, 9, 60000});
    std::string sError;
    ASSERT_TRUE(InstrumentSearch::StartSearch(&order, sError)) << sError;
    ASSERT_TRUE(recorder().WaitFor([] { return !SearchSupport::Listed().empty(); }));

    // The bound is generous: without the stop the search would go on for more than a minute.
    ASSERT_TRUE(InstrumentSearch::StopSearch(std::chrono::seconds(20), sError)) << sError;
    EXPECT_FALSE(InstrumentSearch::IsRunning());
    const std::size_t iListed = SearchSupport::Listed().size();
    // The end event still comes, and nothing was listed after the stop.
    ASSERT_TRUE(recorder().WaitForEnds(1));
    EXPECT_EQ(SearchSupport::Listed().size(), iListed);
    ASSERT_TRUE(recorder().WaitForChains(SearchSupport::Listed()));

    // A stop with no search running returns at once, and the next search runs in full.
    EXPECT_TRUE(InstrumentSearch::StopSearch(std::chrono::seconds(0), sError));
    SearchSupport::ReleaseAll();
    Search(true, false);
    EXPECT_EQ(SearchSupport::Listed().size(), 33u);
}

TEST_F(InstrumentSearchUsbTest, UsbFlagsCountOnlyWithTheUsbFlag) {
    uStartSearch order;
    order.iWindow = Window;
    order.fLibUsb1 = 1;
    order.fLibUsb0 = 1;
    std::string sError;
    ASSERT_TRUE(InstrumentSearch::StartSearch(&order, sError)) << sError;
    ASSERT_TRUE(recorder().WaitForEnds());
    EXPECT_TRUE(SearchSupport::Listed().empty());
    EXPECT_EQ(plain->Opens(), 0);
}

} // namespace
