#include "ScriptTestSupport.h"

#include "common/EventData.h"
#include "instrument/Instrument.h"
#include "instrument/TaskRecords.h"
#include "instrument/WaveformRead.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"
#include "platform/WindowRegistry.h"
#include "script/ScriptThread.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdint>
#include <filesystem>
#include <variant>

namespace ScriptTest {
namespace {

int argc = 1;
char name[] = "script-test";
char* argv[] = {name, nullptr};

class FakeProvider final : public InstrumentScript::InstrumentProvider {
  public:
    explicit FakeProvider(std::shared_ptr<FakeCore> pCore) : pCore(std::move(pCore)) {}
    InstrumentObject FindOrCreate(const uTaskPrepare& connection, bool& fCreated, std::string&) override {
        std::lock_guard lock(mutex);
        for (auto& [listed, pObject] : mObjects) {
            if (Instrument::SameInstrument(listed, connection)) {
                fCreated = false;
                return pObject;
            }
        }
        fCreated = true;
        mObjects.emplace_back(connection, pCore->NewObject());
        return mObjects.back().second;
    }

  private:
    std::shared_ptr<FakeCore> pCore;
    std::mutex mutex;
    std::vector<std::pair<uTaskPrepare, InstrumentObject>> mObjects;
};

} // namespace

void StartEngine() {
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    EventHub::Init();
    Utility::EventDataClear();
}

bool PumpUntil(const std::function<bool()>& fDone, int iMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMs);
    for (;;) {
        EventHub::Pump();
        if (fDone()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

Collector::Collector() : iWindow(WindowRegistry::NewWindowNumber()) {
    EventHub::Bind(EventScriptMessage, iWindow, [this](const EventHub::uEvent& event) {
        const auto* pOutput = event.pData.Get<InstrumentScript::uScriptOutput>();
        uMessage message{event.iType, pOutput ? pOutput->sText : std::string()};
        if (event.iType == InstrumentScript::ScriptMessageError && pOutput) {
            uEventData record;
            if (Utility::EventDataTake(std::to_string(pOutput->iData), record)) message.sText = record.sText;
        }
        mMessages.push_back(message);
        std::string sError;
        InstrumentScript::ScriptInstance pInstance = this->pInstance.lock();
        if (event.iType == InstrumentScript::ScriptMessageParsed && !fCheckOnly && pInstance)
            InstrumentScript::RunScript(pInstance, sError);
        if (fContinue && pInstance &&
            (event.iType == InstrumentScript::ScriptMessageWaitUser ||
             (event.iType == InstrumentScript::ScriptMessageError && message.sText.rfind("Script error: ", 0) == 0 &&
              PausedByInstrumentError(*pInstance))))
            InstrumentScript::RunScript(pInstance, sError);
    });
}

InstrumentScript::eSleep Sleeping(const InstrumentScript::uScriptInstance& instance) {
    std::lock_guard lock(InstrumentScript::ModuleMutex());
    return instance.pThread ? instance.pThread->eSleeping : InstrumentScript::eSleep::None;
}

bool PausedByInstrumentError(const InstrumentScript::uScriptInstance& instance) {
    std::lock_guard lock(InstrumentScript::ModuleMutex());
    return instance.pThread && instance.pThread->eSleeping == InstrumentScript::eSleep::Result &&
           instance.pThread->awaited.eState == InstrumentScript::eAwait::Failed;
}

Collector::~Collector() { WindowRegistry::Release(iWindow); }

std::vector<std::string> Collector::Texts(std::int64_t eType) const {
    std::vector<std::string> m;
    for (const uMessage& message : mMessages) {
        if (message.eType == eType) m.push_back(message.sText);
    }
    return m;
}

std::size_t Collector::Count(std::int64_t eType) const { return Texts(eType).size(); }

bool Collector::WaitFor(std::int64_t eType, std::size_t iCount, int iMs) {
    return PumpUntil([&] { return Count(eType) >= iCount; }, iMs);
}

bool Collector::WaitForText(const std::string& sText, int iMs) {
    return PumpUntil(
        [&] {
            for (const uMessage& message : mMessages) {
                if (message.sText == sText) return true;
            }
            return false;
        },
        iMs);
}

FakeCore::~FakeCore() {
    for (std::thread& thread : mLate) thread.join();
}

InstrumentObject FakeCore::NewObject() {
    auto pObject = std::make_shared<uInstrumentObject>();
    pObject->pInterface = this;
    std::lock_guard lock(mutex);
    pObject->iInstanceNumber = static_cast<std::int64_t>(mObjects.size()) + 1;
    mObjects.push_back(pObject);
    return pObject;
}

void FakeCore::SetAnswer(std::int64_t eTaskType, eAnswer eAnswer, int iLateMs) {
    std::lock_guard lock(mutex);
    mAnswers[eTaskType] = {eAnswer, iLateMs};
}

std::vector<FakeCore::uReceived> FakeCore::Received(const uInstrumentObject& object) {
    std::lock_guard lock(mutex);
    return mReceived[&object];
}

void FakeCore::PostResult(const uInstrumentObject& object, std::int64_t iWindow, std::int64_t eTaskType,
                          std::int64_t iTaskNumber) {
    const auto iObject = reinterpret_cast<std::intptr_t>(&object);
    EventHub::Payload data;
    if (eTaskType == InstrumentTaskScpiCommand) {
        auto pResult = std::make_unique<uTaskResultScpiCommand>();
        pResult->iTaskNumber = iTaskNumber;
        pResult->fSendFinished = 1;
        pResult->fRequestData = 1;
        pResult->requestData = DataBuffer::FromText(sScpiAnswer);
        pResult->iRequestTransferred = static_cast<std::int64_t>(sScpiAnswer.size());
        pResult->fRequestFinished = 1;
        data = EventHub::Payload::Of(std::move(pResult));
    } else if (eTaskType == InstrumentTaskScreencopy && fCaptureData) {
        QImage image(4, 3, QImage::Format_RGB32);
        image.fill(Qt::green);
        data = EventHub::Payload::Of<QImage>(std::move(image));
    } else if (eTaskType == InstrumentTaskWaveform && fCaptureData) {
        auto pData = std::make_unique<uWaveformData>();
        pData->idn = idn;
        pData->fVisible[WaveformChannel1] = 1;
        data = EventHub::Payload::Of(std::move(pData));
    } else if (eTaskType == InstrumentTaskError) {
        const std::int64_t iKey = Utility::EventDataStore(uEventData{0, sErrorText, "InstrumentDefault", "Task"});
        data = EventHub::Payload::Of<std::int64_t>(iKey);
    }
    EventHub::PostEvent(EventTaskFinished, static_cast<int>(iWindow), iObject, static_cast<std::intptr_t>(eTaskType),
                        std::move(data));
}

std::int64_t FakeCore::AddTask(uInstrumentObject& object, const uTask& task, std::string& sError) {
    const uTaskHead& head = TaskHeadOf(task);
    uReceived received{head.eTaskType, head.iWindow, 0, 0, 0, std::chrono::steady_clock::now(), TaskOwner(head)};
    if (const auto* pCancel = std::get_if<uTaskCancel>(&task)) {
        received.fAbort = pCancel->fAbort;
        received.fClearQueue = pCancel->fClearQueue;
        if (!pCancel->fAbort && !pCancel->fClearQueue) {
            sError = "FakeCore::AddTask: a cancel task without a flag.";
            return 0;
        }
    }
    std::pair<eAnswer, int> answer{eAnswer::Success, 0};
    {
        std::lock_guard lock(mutex);
        received.iTaskNumber = ++iLastNumber;
        mReceived[&object].push_back(received);
        mRecords[&object].push_back(task);
        auto it = mAnswers.find(head.eTaskType);
        if (it != mAnswers.end()) answer = it->second;
    }
    if (head.iWindow == WindowNobody || head.eTaskType == InstrumentTaskCancel) return received.iTaskNumber;
    switch (answer.first) {
    case eAnswer::Success: PostResult(object, head.iWindow, head.eTaskType, received.iTaskNumber); break;
    case eAnswer::Error: PostResult(object, head.iWindow, InstrumentTaskError, received.iTaskNumber); break;
    case eAnswer::Late: {
        InstrumentObject pObject = object.shared_from_this();
        std::lock_guard lock(mutex);
        mLate.emplace_back([this, pObject, iWindow = head.iWindow, eType = head.eTaskType,
                            iNumber = received.iTaskNumber, iMs = answer.second] {
            std::this_thread::sleep_for(std::chrono::milliseconds(iMs));
            PostResult(*pObject, iWindow, eType, iNumber);
        });
        break;
    }
    case eAnswer::Never: break;
    }
    return received.iTaskNumber;
}

std::vector<uTask> FakeCore::Records(const uInstrumentObject& object) {
    std::lock_guard lock(mutex);
    return mRecords[&object];
}

FixedEnvironment::FixedEnvironment(std::string sFolder, QDateTime time) : sFolder(std::move(sFolder)), time(std::move(time)) {}

std::chrono::nanoseconds FixedEnvironment::ElapsedTime() {
    std::lock_guard lock(mutex);
    // Past the nanoseconds' range the clock stands at its end, where every wait has ended.
    constexpr std::int64_t Limit = std::chrono::nanoseconds::max().count() / 1000000;
    return iElapsed > Limit ? std::chrono::nanoseconds::max() : std::chrono::nanoseconds(iElapsed * 1000000);
}

QDateTime FixedEnvironment::LocalTime() {
    std::lock_guard lock(mutex);
    return time;
}

std::chrono::milliseconds FixedEnvironment::SleepTime(std::int64_t iMilliseconds) {
    std::lock_guard lock(mutex);
    if (iMilliseconds > 0) {
        // The clock stops at its end rather than wrap.
        if (__builtin_add_overflow(iElapsed, iMilliseconds, &iElapsed)) iElapsed = INT64_MAX;
        time = time.addMSecs(iMilliseconds);
    }
    return std::chrono::milliseconds(0);
}

bool FixedEnvironment::Beep(std::int64_t eType) {
    std::lock_guard lock(mutex);
    mBeeps.push_back(eType);
    return true;
}

bool FixedEnvironment::SetClipboardText(const std::string& sText) {
    std::lock_guard lock(mutex);
    sClipboard = sText;
    return true;
}

bool FixedEnvironment::SetClipboardImage(const QImage& image) {
    std::lock_guard lock(mutex);
    clipboardImage = image;
    return true;
}

bool FixedEnvironment::MapFilePath(const std::string& sPath, std::string& sMapped, std::string& sError) {
    namespace fs = std::filesystem;
    const fs::path relative = fs::path(sPath).relative_path().lexically_normal();
    if (relative.empty() || *relative.begin() == "..") {
        sError = "The file is outside the test folder:  >" + sPath + "<";
        return false;
    }
    sMapped = (fs::path(sFolder) / relative).string();
    return true;
}

std::vector<std::int64_t> FixedEnvironment::Beeps() {
    std::lock_guard lock(mutex);
    return mBeeps;
}

std::string FixedEnvironment::ClipboardText() {
    std::lock_guard lock(mutex);
    return sClipboard;
}

Seams::Seams(const std::string& sFolder, QDateTime time)
    : pEnvironment(std::make_shared<FixedEnvironment>(sFolder, std::move(time))) {
    InstrumentScript::SetEnvironment(pEnvironment);
    InstrumentScript::SetInstrumentProvider(std::make_shared<FakeProvider>(pCore));
}

Seams::~Seams() {
    InstrumentScript::SetEnvironment(nullptr);
    InstrumentScript::SetInstrumentProvider(nullptr);
}

} // namespace ScriptTest
