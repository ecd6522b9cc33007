#include "SearchTestSupport.h"

#include "InstrumentTestSupport.h"

#include "common/EventData.h"
#include "common/TestApplication.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/TaskHead.h"
#include "platform/ProgramEvents.h"

#include <algorithm>

namespace SearchSupport {

void Start() {
    TestApplication::Ensure();
    EventHub::Init();
    WindowLog::Create();
    std::string sError;
    Instrument::InitModuleInstrument(sError);
    ReleaseAll();
}

void ReleaseAll() {
    // The recorder tells objects apart by their address. A released object stays allocated until
    // the process ends, so that an object made later never takes its address and never inherits
    // its events (an identification seen for the old one would end a later wait at once).
    static auto* pReleased = new std::vector<InstrumentObject>;
    for (InstrumentObject& object : Listed()) pReleased->push_back(std::move(object));
    std::string sError;
    Instrument::ReleaseAll(true, 0, sError);
}

Recorder::Recorder(int iNewWindow) : iWindow(iNewWindow), iLogWindow(WindowLog::WindowNumber()) {
    EventHub::Bind(EventTaskFinished, iWindow, [this](const EventHub::uEvent& event) {
        mTasks.push_back(event);
        std::string sRecord;
        uEventData record;
        const auto* pKey = event.pData.Get<std::int64_t>();
        if (event.iType == InstrumentTaskError && pKey && Utility::EventDataTake(std::to_string(*pKey), record)) {
            sRecord = record.sProcedure + " | " + record.sText;
        }
        mErrors.push_back(sRecord);
        Delivered();
    });
    EventHub::Bind(EventSearchFinished, iWindow, [this](const EventHub::uEvent& event) {
        mEnds.push_back(event);
        Delivered();
    });
    EventHub::Bind(EventLogLine, iLogWindow, [this](const EventHub::uEvent& event) {
        if (const auto* pText = event.pData.Get<std::string>()) mLog.push_back(*pText);
        Delivered();
    });
}

Recorder::~Recorder() {
    EventHub::Unbind(EventTaskFinished, iWindow);
    EventHub::Unbind(EventSearchFinished, iWindow);
    EventHub::Unbind(EventLogLine, iLogWindow);
}

void Recorder::Delivered() {
    if (fnDelivered) fnDelivered();
}

bool Recorder::WaitFor(const std::function<bool()>& condition, int iMs) {
    return TestSupport::PumpUntil(condition, iMs, fnDelivered);
}

bool Recorder::WaitForEnds(int iCount, int iMs) {
    return WaitFor([&] { return Ends() >= iCount; }, iMs);
}

bool Recorder::WaitForChains(const std::vector<InstrumentObject>& objects, int iMs) {
    return WaitFor(
        [&] {
            return std::all_of(objects.begin(), objects.end(), [&](const InstrumentObject& object) {
                const auto events = TasksOf(object);
                const auto errors = ErrorsOf(object);
                return std::any_of(events.begin(), events.end(),
                                   [](const EventHub::uEvent& e) { return e.iType == InstrumentTaskIdentified; }) ||
                       std::any_of(errors.begin(), errors.end(), [](const std::string& s) {
                           return s.starts_with("TaskConnect |") || s.starts_with("TaskDisconnect |");
                       });
            });
        },
        iMs);
}

std::vector<EventHub::uEvent> Recorder::Tasks(std::int64_t eType) const {
    std::vector<EventHub::uEvent> result;
    for (const auto& event : mTasks) {
        if (event.iType == eType) result.push_back(event);
    }
    return result;
}

std::vector<EventHub::uEvent> Recorder::TasksOf(const InstrumentObject& object) const {
    std::vector<EventHub::uEvent> result;
    for (const auto& event : mTasks) {
        if (event.iObject == reinterpret_cast<std::intptr_t>(object.get())) result.push_back(event);
    }
    return result;
}

std::vector<std::string> Recorder::ErrorsOf(const InstrumentObject& object) const {
    std::vector<std::string> result;
    for (std::size_t i = 0; i < mTasks.size(); ++i) {
        const auto& event = mTasks[i];
        if (event.iType == InstrumentTaskError && event.iObject == reinterpret_cast<std::intptr_t>(object.get())) {
            result.push_back(mErrors[i]);
        }
    }
    return result;
}

int Recorder::CountLog(const std::string& sStart) const {
    return static_cast<int>(std::count_if(mLog.begin(), mLog.end(), [&](const std::string& s) {
        return s.compare(0, sStart.size(), sStart) == 0;
    }));
}

std::vector<InstrumentObject> Listed() {
    std::vector<InstrumentObject> list;
    Instrument::CopyInstrumentList(list);
    return list;
}

uInfo InfoOf(const InstrumentObject& object) {
    uInfo info;
    std::string sError;
    object->pInterface->GetInfo(*object, info, sError);
    return info;
}

} // namespace SearchSupport
