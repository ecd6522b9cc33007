// Test peers of the waveform pump: a window that records what it is told, timers fired by hand,
// and a scripted instrument that records the tasks it is handed.
#pragma once

#include "common/Failure.h"
#include "instrument/InstrumentObject.h"
#include "platform/EventHub.h"
#include "windows/capture/WaveformPump.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace PumpTest {

class RecordingWindow : public WaveformPumpWindow {
  public:
    void SetStatus(const std::string& sText) override { mStatus.push_back(sText); }
    void AddLine(const std::string& sText) override { mLog.push_back(sText); }
    // As the window: the pump notes a read's failures, and an automatic run logs a repeat once.
    void AddError(const std::string& sText) override {
        if (!pPump || WaveformPump::NoteReadFailure(*pPump, sText)) mLog.push_back("Error: " + sText);
    }
    void AutomaticStopped(const std::string& sText) override { mStatus.push_back(sText); }
    void DisableGadgets(bool fDisable) override { mGadgets.push_back(fDisable); }
    bool ChannelTicked() override { return fTicked; }
    std::size_t CreateSendRequestList(uWaveformPump& pump) override;
    void SaveWaveform(uWaveformPump& pump) override;
    void MessageRequester(const std::string& sText) override { mRequesters.push_back(sText); }
    void PostOptionsEvent() override { ++iOptionEvents; }

    bool fTicked = true;
    uWaveformPump* pPump = nullptr;
    // Each build appends these requests (a copy) to the pump's list.
    std::vector<uWaveformRequest> mBuild;
    int iBuilds = 0;
    int iSaves = 0;
    int iOptionEvents = 0;
    std::vector<std::string> mStatus, mLog, mRequesters;
    std::vector<bool> mGadgets;
    std::vector<std::shared_ptr<uWaveformRecord>> mSavedRecords;
};

// Timers armed by the pump, fired by the test.
class HandTimers : public WaveformPumpTimers {
  public:
    void Start(int iTimer, int iMilliseconds) override { mArmed[iTimer] = iMilliseconds; }
    void Stop(int iTimer) override { mArmed.erase(iTimer); }
    bool Armed(int iTimer) const { return mArmed.count(iTimer) != 0; }
    int Period(int iTimer) const { return Armed(iTimer) ? mArmed.at(iTimer) : -1; }
    std::map<int, int> mArmed;
};

// An instrument that takes tasks without running them; the test answers on cue.
class ScriptedInstrument : public InstrumentInterface {
  public:
    uInstrumentIcon GetIcon(uInstrumentObject&, int, std::string&) override { return {}; }
    bool GetInfo(uInstrumentObject&, uInfo&, std::string&) override { return false; }
    bool IsConnected(uInstrumentObject&) override { return fConnected; }
    std::int64_t AddTask(uInstrumentObject&, const uTask& task, std::string& sError) override;
    bool NewInstance(uInstrumentObject&, std::string&) override { return true; }
    bool DeleteInstance(uInstrumentObject&, std::string&) override { return true; }

    bool fConnected = true;
    std::string sFail; // AddTask fails with this text when not empty
    std::int64_t iNextTask = 100;
    struct uSent {
        std::int64_t iTask;
        uTask task;
    };
    std::vector<uSent> mTasks;
    std::vector<std::string> Commands() const; // SCPI commands, in order
    int Cancels() const;
};

// A pump wired to the three peers, with a connected instrument of the model.
struct Rig {
    explicit Rig(std::int64_t eModel = 6, const std::string& sModel = "DS1104Z");
    ~Rig();
    RecordingWindow window;
    HandTimers timers;
    ScriptedInstrument instrument;
    InstrumentObject pObject;
    uWaveformPump pump;

    // Fires the timer when it is armed; false when it is not.
    bool Fire(int iTimer);
    // The type 8 result of the task (by number), with an answer unless fNoRecord.
    void Result(std::int64_t iTask, const std::string& sAnswer, bool fRequestData = true, bool fFinished = true);
    void ResultWithoutRecord();
    void TaskError(const std::string& sText, const Failure::uFailure& failure = {});
    void Transfer(int eType, std::int64_t iData);
    void TransferError(int eType, const std::string& sText, const Failure::uFailure& failure = {});
    std::int64_t LastTask() const;
    bool LogHas(const std::string& sPart) const;
};

// The events of a task error and of a transfer error of window iWindow, each with its record.
EventHub::uEvent TaskErrorEvent(int iWindow, const std::string& sText, const Failure::uFailure& failure = {});
EventHub::uEvent TransferErrorEvent(int iWindow, int eType, const std::string& sText,
                                    const Failure::uFailure& failure = {});

uWaveformRequest Request(std::int64_t eKind, const std::string& sCommand, bool fResponse = false);
uWaveformRequest Wait(std::int64_t iMs);
uWaveformRequest End();

} // namespace PumpTest
