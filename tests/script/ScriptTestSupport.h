// Shared pieces of the script-engine tests, the script runner and the fuzz target: a headless
// collector of engine messages, a fake instrument core with scripted answers and a fixed
// environment (clock, local time, files kept inside one folder).
#pragma once

#include "instrument/InstrumentObject.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptInstance.h"

#include <QDateTime>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ScriptTest {

// The QCoreApplication (made once) and a fresh event hub and event-data store.
void StartEngine();

// Delivers events until the predicate holds or iMs pass; true when it held.
bool PumpUntil(const std::function<bool()>& fDone, int iMs = 5000);

// Records every EventScriptMessage of one window, as the script window receives them: an
// error's text is taken from the event-data store, and a parse result (type 4) is answered
// with RunScript unless only a check was asked for.
class Collector {
  public:
    struct uMessage {
        std::int64_t eType = 0;
        std::string sText;
    };

    Collector();
    ~Collector();
    int Window() const { return iWindow; }
    void Attach(InstrumentScript::ScriptInstance pInstance) { this->pInstance = std::move(pInstance); }
    void SetCheckOnly(bool fCheck) { fCheckOnly = fCheck; }
    // Answers each user wait (type 6) and each instrument-error pause with Run (an error that
    // ended the run is not answered: Run would start the script again).
    void SetContinue(bool f) { fContinue = f; }

    std::vector<uMessage> Messages() const { return mMessages; }
    std::vector<std::string> Texts(std::int64_t eType) const;
    std::size_t Count(std::int64_t eType) const;
    bool WaitFor(std::int64_t eType, std::size_t iCount = 1, int iMs = 5000);
    bool WaitForText(const std::string& sText, int iMs = 5000);
    void Clear() { mMessages.clear(); }

  private:
    int iWindow = 0;
    bool fCheckOnly = false;
    bool fContinue = false;
    std::weak_ptr<InstrumentScript::uScriptInstance> pInstance; // the window does not keep it alive
    std::vector<uMessage> mMessages;
};

// Why the instance's interpreter thread sleeps (None when it runs or there is none).
InstrumentScript::eSleep Sleeping(const InstrumentScript::uScriptInstance& instance);
// Whether the run sleeps after an instrument's error result (until Run or Stop).
bool PausedByInstrumentError(const InstrumentScript::uScriptInstance& instance);

// A fake instrument core: its objects answer each task type as told.
class FakeCore final : public InstrumentInterface {
  public:
    enum class eAnswer { Success, Error, Late, Never };
    struct uReceived {
        std::int64_t eTaskType = 0;
        std::int64_t iWindow = 0;
        std::int64_t fAbort = 0;
        std::int64_t fClearQueue = 0;
        std::int64_t iTaskNumber = 0;
        std::chrono::steady_clock::time_point at; // when AddTask took it
        std::int64_t iOwner = 0;                  // TaskOwner of its head
    };

    FakeCore() = default;
    ~FakeCore();

    InstrumentObject NewObject();
    void SetAnswer(std::int64_t eTaskType, eAnswer eAnswer, int iLateMs = 100);
    void SetErrorText(const std::string& sText) { sErrorText = sText; }
    void SetScpiAnswer(const std::string& sAnswer) { sScpiAnswer = sAnswer; }
    // Whether screen-copy and waveform results carry an image or waveform data (default yes).
    void SetCaptureData(bool f) { fCaptureData = f; }
    // What GetInfo reports for every object.
    void SetIdn(const uIdn& idn) { this->idn = idn; }
    // The full records the objects received (in order).
    std::vector<uTask> Records(const uInstrumentObject& object);
    std::vector<uReceived> Received(const uInstrumentObject& object);
    // Posts the result of task type eTaskType (and SCPI task number) to iWindow now.
    void PostResult(const uInstrumentObject& object, std::int64_t iWindow, std::int64_t eTaskType,
                    std::int64_t iTaskNumber);

    uInstrumentIcon GetIcon(uInstrumentObject&, int, std::string&) override { return {}; }
    bool GetInfo(uInstrumentObject&, uInfo& info, std::string&) override {
        info.idn = idn;
        return true;
    }
    bool IsConnected(uInstrumentObject&) override { return true; }
    std::int64_t AddTask(uInstrumentObject& object, const uTask& task, std::string& sError) override;
    bool NewInstance(uInstrumentObject&, std::string&) override { return true; }
    bool DeleteInstance(uInstrumentObject&, std::string&) override { return true; }

  private:
    std::mutex mutex;
    std::map<std::int64_t, std::pair<eAnswer, int>> mAnswers;
    std::map<const uInstrumentObject*, std::vector<uReceived>> mReceived;
    std::map<const uInstrumentObject*, std::vector<uTask>> mRecords;
    bool fCaptureData = true;
    uIdn idn{"FAKE,Scope One,0001,1.0", "FAKE", "Scope One", "0001", "1.0"};
    std::vector<InstrumentObject> mObjects;
    std::vector<std::thread> mLate;
    std::int64_t iLastNumber = 0;
    std::string sErrorText = "Fake instrument error.";
    std::string sScpiAnswer = "1.25\n";
};

// A fixed clock and local time; a script wait passes at once and moves the clock on. File names
// are taken inside one folder; names that leave it are refused.
class FixedEnvironment final : public InstrumentScript::ScriptEnvironment {
  public:
    static QDateTime DefaultTime() { return QDateTime(QDate(2026, 12, 6), QTime(13, 14, 15, 16)); }
    explicit FixedEnvironment(std::string sFolder, QDateTime time = DefaultTime());
    std::chrono::nanoseconds ElapsedTime() override;
    QDateTime LocalTime() override;
    std::chrono::milliseconds SleepTime(std::int64_t iMilliseconds) override;
    bool Beep(std::int64_t eType) override;
    bool SetClipboardText(const std::string& sText) override;
    bool SetClipboardImage(const QImage& image) override;
    bool MapFilePath(const std::string& sPath, std::string& sMapped, std::string& sError) override;
    std::size_t ValueLimit() override { return iValueLimit.load(); }

    void SetValueLimit(std::size_t iBytes) { iValueLimit.store(iBytes); }
    std::vector<std::int64_t> Beeps();
    std::string ClipboardText();

  private:
    std::mutex mutex;
    std::string sFolder;
    QDateTime time;
    std::int64_t iElapsed = 1000;
    std::vector<std::int64_t> mBeeps;
    std::string sClipboard;
    QImage clipboardImage;
    std::atomic<std::size_t> iValueLimit{InstrumentScript::DefaultValueLimit};
};

// Installs the fixed environment and the fake core's provider for one test, and puts the
// defaults back afterwards.
class Seams {
  public:
    explicit Seams(const std::string& sFolder, QDateTime time = FixedEnvironment::DefaultTime());
    ~Seams();
    FakeCore& Core() { return *pCore; }
    FixedEnvironment& Env() { return *pEnvironment; }

  private:
    std::shared_ptr<FakeCore> pCore = std::make_shared<FakeCore>();
    std::shared_ptr<FixedEnvironment> pEnvironment;
};

} // namespace ScriptTest
