// USB devices plugged and pulled on the simulated bus reach the main window through libusb's
// hot-plug notices; a burst of them gives one refresh of its instrument list, 500 ms after the
// last.
#include "app/DeviceChanges.h"
#include "app/FrameTestSupport.h"
#include "common/WindowLog.h"
#include "sim/SimUsb.h"

#include <chrono>
#include <thread>

namespace {

using namespace FrameTestSupport;
using Clock = std::chrono::steady_clock;

class DeviceChangesTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        bus.Install();
        WindowLog::Create();
        WindowLog::Clear(0);
    }
    void TearDown() override {
        DeviceChanges::Stop();
        FrameTest::TearDown();
        bus.Uninstall();
    }
    std::vector<EventHub::uEvent> Refreshes(int iList) const {
        return children.EventsOf(iList, EventRefreshInstrumentList);
    }

    SimUsb::Bus bus;
};

TEST_F(DeviceChangesTest, ABurstOfNoticesFromAnotherThreadGivesOneRefreshHalfASecondAfterTheLast) {
    ASSERT_TRUE(DeviceChanges::Start());
    EXPECT_EQ(bus.HotplugCallbacks(), 1);
    const int iMain = OpenMain();
    const int iList = ChildrenOf(iMain, WindowKindSelectInstrument).at(0).iWindow;

    Clock::time_point lastNotice;
    std::thread plugger([&] {
        std::vector<std::shared_ptr<SimUsb::Device>> devices;
        for (int i = 0; i < 5; ++i) {
            if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(90));
            lastNotice = Clock::now();
            if (i < 3) devices.push_back(bus.AddDevice());
            else bus.RemoveDevice(devices.at(static_cast<std::size_t>(i - 3)));
        }
    });
    // The main window keeps working while the notices come.
    ASSERT_TRUE(WaitFor([&] { return !Refreshes(iList).empty(); }, 5000));
    const Clock::time_point refreshed = Clock::now();
    plugger.join();
    EXPECT_GE(refreshed - lastNotice, std::chrono::milliseconds(500));
    // No second refresh follows.
    WaitFor([] { return false; }, 700);
    const auto refreshes = Refreshes(iList);
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(refreshes[0].iObject, 1);
    EXPECT_FALSE(WindowRegistry::TimerActive(iMain, WindowStart::TimerDeviceChange));

    // Stopping ends the thread and gives the context back.
    DeviceChanges::Stop();
    EXPECT_FALSE(DeviceChanges::Running());
    EXPECT_EQ(bus.HotplugCallbacks(), 0);
    EXPECT_EQ(bus.OpenContexts(), 0);
}

TEST_F(DeviceChangesTest, AMainWindowWithoutInstrumentListOnlyDropsItsTimer) {
    ASSERT_TRUE(DeviceChanges::Start());
    const int iMain = OpenMain();
    const int iList = ChildrenOf(iMain, WindowKindSelectInstrument).at(0).iWindow;
    EventHub::PostEvent(EventCloseWindow, iList, 0, 0, ChildWindow::Data(0));
    Settle();
    ASSERT_TRUE(ChildrenOf(iMain, WindowKindSelectInstrument).empty());
    bus.AddDevice();
    ASSERT_TRUE(WaitFor([&] { return WindowRegistry::TimerActive(iMain, WindowStart::TimerDeviceChange); }));
    ASSERT_TRUE(WaitFor([&] { return !WindowRegistry::TimerActive(iMain, WindowStart::TimerDeviceChange); }));
    Settle();
    EXPECT_TRUE(Refreshes(iList).empty());
}

TEST_F(DeviceChangesTest, WithoutHotPlugOneLogLineAndNoNotices) {
    bus.SetHotplug(false);
    EXPECT_FALSE(DeviceChanges::Start());
    EXPECT_FALSE(DeviceChanges::Running());
    const int iMain = OpenMain();
    bus.AddDevice();
    WaitFor([] { return false; }, 200);
    EXPECT_FALSE(WindowRegistry::TimerActive(iMain, WindowStart::TimerDeviceChange));
    EXPECT_EQ(bus.OpenContexts(), 0);
    const std::string sLog = WindowLog::Text();
    const std::string sLine = "USB: device changes are not reported on this system.\n";
    ASSERT_NE(sLog.find(sLine), std::string::npos) << sLog;
    EXPECT_EQ(sLog.find(sLine, sLog.find(sLine) + 1), std::string::npos);
}

} // namespace
