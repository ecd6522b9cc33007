// Script instruments at run time: a declaration finds or makes the instrument object of its
// connection and has it prepared or connected, a selection makes a declared instrument the
// active one, and a settings line queues local, remote, time-out or termination-character
// tasks or stores the SCPI wait mode and pause. Also the handlers of the prepare, connect and
// disconnect results (GUI thread).
#pragma once

#include "instrument/ConnectionDescription.h"
#include "platform/EventHub.h"
#include "script/ScriptThread.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace InstrumentScript {

// A hexadecimal id as typed in a declaration ("0699", "0x0699" or "0X0699").
std::int64_t HexIdValue(std::string_view sText);

// The connection description of a declaration (without the USB-library selectors).
uTaskPrepare ConnectionDescription(const uScriptInstrument& declaration);

// The first declaration named sName whose instrument has run (fRan) or any (not fRan); nullptr
// when there is none.
uScriptTask* FindDeclaration(const uScriptProgram& program, const std::string& sName, bool fRan);

bool TaskInstrument(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskInstrumentSelect(uScriptThread& thread, uScriptTask& task, std::string& sError);
bool TaskInstrumentSet(uScriptThread& thread, uScriptTask& task, std::string& sError);

bool EventInstrumentPrepare(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                            const EventHub::uEvent& event, std::string& sError);
bool EventInstrumentConnect(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                            const EventHub::uEvent& event, std::string& sError);
bool EventInstrumentDisconnect(uScriptThread& thread, uInstrumentObject& instrument, uScriptTask& task,
                               const EventHub::uEvent& event, std::string& sError);

// At the end of a run: each instrument that the run created and that never connected (its
// connect refused) is no instrument anybody found. Unless a window connected it meanwhile, it
// leaves the instrument list.
void ReleaseRefused(const uScriptProgram& program);

// The maker and model of the instrument's identification ("" when GetInfo fails).
std::string MakerAndModel(uInstrumentObject& instrument);

} // namespace InstrumentScript
