// Shared pieces of the waveform tests: the log window in a scratch folder, a recorder of the
// save-status events of one window, a clock the test drives, and answer builders.
#pragma once

#include "common/DataBuffer.h"
#include "waveform/WaveformData.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace WaveformTest {

struct uSaveEvent {
    std::int64_t iInstance = 0;
    std::int64_t eType = 0;
    std::int64_t iData = 0;
    std::string sText;
};

// Collects every EventWaveformSaveStatus posted to its window, in order.
class EventRecorder {
  public:
    EventRecorder();
    ~EventRecorder();
    // Binds the recorder; call after the hub was started afresh.
    void Bind();
    int Window() const { return iWindow; }
    const std::vector<uSaveEvent>& Events() const { return events; }
    std::vector<std::int64_t> Types() const;
    std::vector<std::int64_t> Data(std::int64_t eType) const;
    std::size_t Count(std::int64_t eType) const;

  private:
    int iWindow = 0;
    std::vector<uSaveEvent> events;
};

// Pumps the event hub until the condition holds or 10 s have passed.
bool PumpUntil(const std::function<bool()>& fCondition);

// Log window in a scratch folder; the event hub started afresh.
class LogFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    // The log's lines after pumping, without the numbering and time.
    std::vector<std::string> LogTexts();
    std::string Folder() const { return dir.path().toStdString(); }
    QTemporaryDir dir;
};

// A clock that moves iStep ms each time it is read.
void UseSteppingClock(std::int64_t iStep);
void UseRealClock();
std::int64_t ClockReads();

std::string Block(const std::string& sData);
DataBuffer Bytes(const std::string& s);
std::string ReadFile(const std::string& sName);
bool FileExists(const std::string& sName);

// A free-standing instance for procedures called without the module (the combiners, the frame).
struct uLooseInstance {
    explicit uLooseInstance(int iWindow) {
        instance.iInstance = 77;
        instance.iWindow = iWindow;
    }
    WaveformDataInstance instance;
};

} // namespace WaveformTest
