#include "transport/TransferStatus.h"

#include "common/EventData.h"
#include "platform/EventHub.h"
#include "platform/ProgramEvents.h"

namespace TransferStatus {

void Post(int iWindow, eTransferStatus eType, std::intptr_t iObject, std::int64_t iData) {
    if (iWindow == WindowNobody) return;
    // Reports may wait for the hub's next turn: progress comes in streams, and the task's result
    // (or error) that follows a transfer's outcome wakes the window anyway. Errors wake it at once.
    const bool fError = eType == TransferSendError || eType == TransferReceiveError || eType == TransferEventData;
    (fError ? EventHub::PostEvent : EventHub::PostProgress)(EventTransferStatus, iWindow, iObject,
                                                               static_cast<std::intptr_t>(eType),
                                                               EventHub::Payload::Of<std::int64_t>(iData));
}

namespace {

void PostRecord(int iWindow, eTransferStatus eType, const uEventData& record) {
    if (iWindow == WindowNobody) return;
    Post(iWindow, eType, WindowNobody, Utility::EventDataStore(record));
}

} // namespace

void PostError(int iWindow, eTransferStatus eType, const std::string& sText, const std::string& sProcedure,
               const std::string& sModule) {
    PostRecord(iWindow, eType, {0, sText, sModule, sProcedure});
}

void PostError(int iWindow, eTransferStatus eType, const std::string& sText, const std::string& sProcedure,
               const Failure::uFailure& failure) {
    PostRecord(iWindow, eType, {0, sText, "InstrumentDefault", sProcedure, failure});
}

void PostText(int iWindow, eTransferStatus eType, const std::string& sText) {
    if (iWindow == WindowNobody) return;
    EventHub::PostEvent(EventTransferStatus, iWindow, WindowNobody, static_cast<std::intptr_t>(eType),
                        EventHub::Payload::Of<std::string>(sText));
}

std::string Text(const EventHub::uEvent& event) {
    const std::string* p = event.pData.Get<std::string>();
    return p ? *p : std::string();
}

std::int64_t Data(const EventHub::uEvent& event) {
    const std::int64_t* p = event.pData.Get<std::int64_t>();
    return p ? *p : 0;
}

void uProgress::Add(std::int64_t iMoved, std::int64_t iTotal) {
    if (iWindow == WindowNobody || iStep <= 0) return;
    iSinceLast += iMoved;
    if (iSinceLast >= iStep) {
        Post(iWindow, eType, reinterpret_cast<std::intptr_t>(pInstance), iTotal);
        iSinceLast = 0;
    }
}

} // namespace TransferStatus
