// The request block: one SCPI exchange of an instrument instance (send a command with an
// optional payload, optionally wait for the answer, optionally read it), as the instance's
// worker thread hands it to the connection's transport.
#pragma once

#include "common/DataBuffer.h"
#include "transport/BlockHeader.h"
#include "transport/ChainedAnswers.h"
#include "common/Failure.h"

#include <cstdint>
#include <string>

struct uRequest {
    std::int64_t iTimeout = 0;         // answer time-out in ms
    // iTimeout is the interface's configured time-out: taken anew before each task, so that a
    // change in the preferences reaches an open connection from its next exchange on.
    bool fTimeoutConfigured = false;
    std::int64_t iTermChar = 0;        // termination character of USBTMC reads and VXI-11 device_read
    std::int64_t fRemoveTermChar = 0;  // USBTMC: drop the last byte of a finished answer
    std::int64_t fTermCharEnabled = 0; // USBTMC and VXI-11: the instrument ends the answer at iTermChar
    std::int64_t iProgressStep = 0;    // USBTMC: bytes between two progress events of a read
    std::int64_t fSend = 0;            // send sCommand and the payload
    std::string sCommand;
    DataBuffer data; // payload sent after the command (the exchange's own copy)
    std::int64_t iSendTransferred = 0;
    std::int64_t fSendFinished = 0;
    // Why the last exchange failed: its kind (decided by the transport), the bytes that left and
    // the text; None after a success.
    Failure::uFailure failure;
    std::int64_t fRequestData = 0; // read an answer
    DataBuffer requestData;        // the answer; handed over to whoever asked
    // Bytes at the start of requestData that stay, the answer read behind them, on connections
    // that keep bytes ahead of an answer (InstrumentTransport::KeepsAhead); taken by the exchange.
    std::int64_t iKeep = 0;
    std::int64_t iRequestTransferred = 0; // the answer's bytes (the kept ones not counted)
    // 1: the answer came whole. A read cut by its time-out after part of the answer fails the
    // exchange (TimedOut, failure.iReceived the part's bytes), and requestData keeps the part,
    // counted by iRequestTransferred, for the one place that shows answers to a user; on raw TCP
    // and serial the transport owes the rest.
    std::int64_t fRequestFinished = 0;
    std::int64_t iControlTimeout = 0; // USBTMC control-request time-out in ms; 0 = the transport's default
    std::int64_t iWaitTime = 0;       // USBTMC interrupt wait time in ms; 0 = the transport's default
    std::int64_t fVendorSpecific = 0; // USBTMC: vendor-specific messages
    std::int64_t eWait = 0;           // before reading: 0 none, 1 poll the status byte, 2 service request
    std::int64_t iRequestSize = 0;    // VXI-11 device_read request size; 0 = the transport's default
    std::string sTermination;         // end-of-message text of raw TCP and serial answers
    // The line ends behind a definite-length block in each answer, as the model sends them for its
    // query (Instrument::BlockLineEnds), set by the exchange with iAnswers.
    Instrument::uBlockEnds blockEnds;
    // What the count of the answer's definite-length block counts: raw TCP and serial find the
    // end of an answer by it. Bits for a Siglent logic line; set for one exchange, then Bytes.
    Instrument::eBlockUnit eBlockUnit = Instrument::eBlockUnit::Bytes;
    // The answers that the answer must hold (0 or 1: one), set by the exchange itself from the
    // message it sends (InstrumentDefault::SendRequest). An answer whose message ends before all
    // are in is read on.
    std::int64_t iAnswers = 0;
};
