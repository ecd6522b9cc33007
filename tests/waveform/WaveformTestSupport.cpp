#include "WaveformTestSupport.h"

#include "app/Main.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"

#include <QDir>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace WaveformTest {

EventRecorder::EventRecorder() : iWindow(WindowRegistry::NewWindowNumber()) {}

void EventRecorder::Bind() {
    events.clear();
    EventHub::Bind(EventWaveformSaveStatus, iWindow, [this](const EventHub::uEvent& e) {
        uSaveEvent event{static_cast<std::int64_t>(e.iObject), static_cast<std::int64_t>(e.iType), 0, ""};
        if (const auto* p = e.pData.Get<std::int64_t>()) event.iData = *p;
        if (const auto* p = e.pData.Get<uSaveStatusText>()) event.sText = p->sText;
        events.push_back(event);
    });
}

EventRecorder::~EventRecorder() { EventHub::Unbind(EventWaveformSaveStatus, iWindow); }

std::vector<std::int64_t> EventRecorder::Types() const {
    std::vector<std::int64_t> v;
    for (const uSaveEvent& e : events) v.push_back(e.eType);
    return v;
}

std::vector<std::int64_t> EventRecorder::Data(std::int64_t eType) const {
    std::vector<std::int64_t> v;
    for (const uSaveEvent& e : events)
        if (e.eType == eType) v.push_back(e.iData);
    return v;
}

std::size_t EventRecorder::Count(std::int64_t eType) const { return Data(eType).size(); }

bool PumpUntil(const std::function<bool()>& fCondition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        EventHub::Pump();
        if (fCondition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void LogFixture::SetUpTestSuite() { TestApplication::Ensure(); }

void LogFixture::SetUp() {
    EventHub::Init();
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir().mkpath(dir.filePath("user")));
    Main::SetResourceFolders(dir.filePath("user/").toStdString(), dir.filePath("none/").toStdString());
    WindowLog::Create();
    UseRealClock();
}

void LogFixture::TearDown() {
    UseRealClock();
    WindowLog::Close(1);
    EventHub::Pump();
    Main::SetConfigSaveAtExit(false);
    Main::CloseConfig();
}

std::vector<std::string> LogFixture::LogTexts() {
    EventHub::Pump();
    std::vector<std::string> texts;
    std::istringstream in(WindowLog::Text());
    std::string sLine;
    while (std::getline(in, sLine)) {
        const std::size_t i = sLine.find("] ");
        if (i != std::string::npos) texts.push_back(sLine.substr(i + 2));
    }
    return texts;
}

namespace {
std::atomic<std::int64_t> mNow{0};
std::atomic<std::int64_t> mStep{0};
std::atomic<std::int64_t> mReads{0};
std::int64_t SteppingClock() {
    ++mReads;
    return mNow.fetch_add(mStep.load()) + mStep.load();
}
} // namespace

void UseSteppingClock(std::int64_t iStep) {
    mNow = 1000000;
    mStep = iStep;
    mReads = 0;
    WaveformData::SetClock(SteppingClock);
}

void UseRealClock() { WaveformData::SetClock(nullptr); }

std::int64_t ClockReads() { return mReads.load(); }

std::string Block(const std::string& sData) {
    const std::string sCount = std::to_string(sData.size());
    return "#" + std::to_string(sCount.size()) + sCount + sData;
}

DataBuffer Bytes(const std::string& s) { return DataBuffer::FromText(s); }

std::string ReadFile(const std::string& sName) {
    std::ifstream in(sName, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FileExists(const std::string& sName) { return std::ifstream(sName).good(); }

} // namespace WaveformTest
