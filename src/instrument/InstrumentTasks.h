// The task procedures of the worker thread, one per task type, and the exchange they share.
// Each gets the instance's object, its record and the task-list element. They post what the
// window is to see (their result event, and a type 1 error event for a failure); the worker
// thread drops their result and text.
#pragma once

#include "instrument/InstrumentDefault.h"

#include <cstddef>
#include <string>

namespace InstrumentDefault {

bool TaskPrepare(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskConnect(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskDisconnect(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskGetIdn(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskScpiCommand(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskScreencopy(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskWaveform(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskLocal(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskRemote(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskTimeout(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);
bool TaskTerminationChar(uInstrumentObject& object, uInstance& instance, uTaskElement& element, std::string& sError);

// Before a task talks to the instrument: true when it is connected. A connection that was lost
// (it went away and could not be opened again) is opened afresh, once per task, with the
// interface's connect time-out; the request block stays as it was. False with the reason: "The
// instrument is not open." for an instance that nobody connected, else "The instrument is not
// connected. - " and why the connection could not be opened.
bool EnsureConnected(uInstance& instance, std::string& sError);

// Loads the model's command set and resets the request block to the defaults of the connection's
// interface and model.
void SetCommunicationDefaults(uInstance& instance);

// Runs the exchange that the request block describes through the instance's connection;
// transfer events go to iWindow. Without the send flag nothing is exchanged: false with "There
// is no command to send.". A task that was cancelled before its exchange began fails at once; an
// abort request left over from earlier is dropped. An answer buffer left in the block lends its
// memory to the answer (its bytes are dropped). The block unit of the block (eBlockUnit) holds for
// this exchange only and is Bytes again afterwards. A failure leaves its record in
// request.failure; the request goes out once more on a new connection where
// Instrument::SendsAgain says so, and a connection that went away (Instrument::Dropped) is opened
// again or the instrument is marked lost.
bool SendRequest(uInstance& instance, int iWindow, std::string& sError);

// Sends the command already in the request block as a query (no payload, no vendor-specific
// messages, no waiting) and takes the answer out of the block: iSize counts its bytes that
// arrived (0 when the read did not finish).
bool SendQuery(uInstance& instance, int iWindow, DataBuffer& answer, std::size_t& iSize, std::string& sError);

// Sends the query already in the request block's command, reads the answer and splits it into
// the identification record.
bool GetIdnDefault(uInstance& instance, int iWindow, uIdn& idn, std::string& sError);

} // namespace InstrumentDefault
