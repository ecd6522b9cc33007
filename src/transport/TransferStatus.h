// The transfer-status event (EventTransferStatus) that every transport and the SCPI exchange
// post to the window that asked for a transfer: progress and outcome of sending and receiving.
//
// The event's type is an eTransferStatus; its data (Payload) is one std::int64_t: bytes so far,
// bytes in total, seconds waited, or an event-data key (a text where PostText says so). Progress
// events (types 4 and 7) carry the transport instance's address as object, every other type
// WindowNobody.
#pragma once

#include "common/Failure.h"

#include <cstdint>
#include <string>

namespace EventHub {
struct uEvent;
}

namespace TransferStatus {

enum eTransferStatus {
    TransferSending = 4,      // bytes of this transfer accepted so far
    TransferSent = 5,         // bytes sent
    TransferSendError = 6,    // event-data key of the error text
    TransferReceiving = 7,    // bytes of the answer received so far
    TransferReceived = 8,     // size of the answer
    TransferReceiveError = 10,// event-data key of the error text
    TransferWaiting = 11,     // seconds waited for the answer, rounded up
    TransferEventData = 13,   // an event-data key only; the receiver takes the record and drops it
    TransferAwaited = 14,     // ms the message waited for an earlier query's answer before it went
    TransferAwaiting = 17,    // the message begins to wait for an earlier answer (PostText: which one)
};

// Posts EventTransferStatus to iWindow; nothing when iWindow is WindowNobody.
// May be called from any thread.
void Post(int iWindow, eTransferStatus eType, std::intptr_t iObject, std::int64_t iData);

// Stores {0, sText, sModule, sProcedure} in the event-data store and posts its key with the
// type (TransferSendError, TransferReceiveError or TransferEventData); the receiving window
// takes the record with Utility::EventDataTake. Nothing is stored or posted for WindowNobody.
void PostError(int iWindow, eTransferStatus eType, const std::string& sText, const std::string& sProcedure,
               const std::string& sModule = "InstrumentDefault");
// The same with the failure record, for the reason the window shows.
void PostError(int iWindow, eTransferStatus eType, const std::string& sText, const std::string& sProcedure,
               const Failure::uFailure& failure);

// Posts EventTransferStatus to iWindow carrying sText (a std::string) in place of a number, at once;
// nothing for WindowNobody.
void PostText(int iWindow, eTransferStatus eType, const std::string& sText);

// The text an EventTransferStatus carries (empty when it carries none).
std::string Text(const EventHub::uEvent& event);

// The number an EventTransferStatus carries (0 when it carries none).
std::int64_t Data(const EventHub::uEvent& event);

// The progress rule of the VXI-11, raw TCP and serial transports: each time the bytes moved
// since the last progress event reach the step (>=), one event with the running total is posted
// and the count restarts at 0. No time throttle; a transfer smaller than the step posts nothing.
class uProgress {
  public:
    // pInstance is the transport instance (the event's object); eType TransferSending or
    // TransferReceiving; iStep the instance's progress step in bytes.
    uProgress(int iWindow, eTransferStatus eType, const void* pInstance, std::int64_t iStep)
        : iWindow(iWindow), eType(eType), pInstance(pInstance), iStep(iStep) {}

    // iMoved bytes went since the last call; iTotal is the running total of the transfer.
    void Add(std::int64_t iMoved, std::int64_t iTotal);

  private:
    int iWindow;
    eTransferStatus eType;
    const void* pInstance;
    std::int64_t iStep;
    std::int64_t iSinceLast = 0;
};

} // namespace TransferStatus
