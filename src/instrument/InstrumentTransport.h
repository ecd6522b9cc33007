// What an instrument instance knows of its open connection: one object of a transport module
// (USBTMC, VXI-11, raw TCP, serial) behind this interface, held by the instance while connected.
// The instance's worker thread is the only one that exchanges through it; other threads only ask
// it to stop (abort requests) and wake it.
#pragma once

#include "common/Failure.h"
#include "transport/AbortRequests.h"

#include <cstdint>
#include <string>

namespace InstrumentDefault {
struct uInstance;
}

class InstrumentTransport {
  public:
    InstrumentTransport() = default;
    InstrumentTransport(const InstrumentTransport&) = delete;
    InstrumentTransport& operator=(const InstrumentTransport&) = delete;
    virtual ~InstrumentTransport() = default;

    // The key of this connection's abort requests: the identity that the transport's transfer
    // loops pass to Instrument::TakeAbortRequest.
    virtual std::uint64_t AbortId() const { return Instrument::AbortId(this); }

    // Makes a transfer of this connection that is waiting (for data, for room to send) look at
    // its abort request now. Any thread; never blocks.
    virtual void Wake() {}

    // One exchange as the instance's request block describes it; transfer-status events go to
    // iWindow (WindowNobody: none). Called on the instance's worker thread only.
    virtual bool Exchange(InstrumentDefault::uInstance& instance, int iWindow, std::string& sError) = 0;

    // Closes the connection and frees what the transport module holds for it; an object that is
    // destroyed unclosed closes itself and drops the text. True when nothing failed; a failure
    // leaves the connection closed all the same, with the reason in sError. Worker thread only.
    virtual bool Close(std::string& sError) {
        (void)sError;
        return true;
    }

    // Whether the connection is gone for good: one that opens itself again after a failed call
    // (VXI-11) could not. Worker thread only.
    virtual bool Gone() const { return false; }

    // Whether an exchange reads its answer behind the request block's iKeep bytes of
    // requestData (raw TCP, serial); others replace requestData whole.
    virtual bool KeepsAhead() const { return false; }

    // Returns the instrument to local operation (fLocal) or puts it under remote control; only
    // connections that have such a request (VXI-11) do something; a failure's record goes into
    // failure. Worker thread only.
    virtual bool SetLocal(bool fLocal, Failure::uFailure& failure, std::string& sError) {
        (void)fLocal;
        (void)failure;
        (void)sError;
        return true;
    }
};
