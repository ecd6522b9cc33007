#include "windows/capture/ScreenshotPump.h"

#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/ModelTable.h"
#include "instrument/TaskRecords.h"
#include "transport/BlockHeader.h"
#include "windows/capture/PumpSupport.h"

#include <cctype>
#include <utility>

namespace ScreenshotPump {

namespace {

std::string Prefix(const uScreenshotPump& pump) { return pump.instrument.sModel + " - "; }

bool IsHameg(std::int64_t eModel) {
    return eModel == ModelHamegHM2008 || eModel == ModelHamegHM1508 || eModel == ModelHamegHM1008;
}

bool FirstKindIs(const uScreenshotPump& pump, std::int64_t eKind) {
    return pump.fRequestList && !pump.mRequestList.empty() && pump.mRequestList.front().eKind == eKind;
}

uScreenshotRequest Element(std::int64_t eKind, const std::string& sCommand, bool fResponse = false) {
    uScreenshotRequest request;
    request.eKind = eKind;
    request.fSend = 1;
    request.fResponse = fResponse ? 1 : 0;
    request.sCommand = sCommand;
    return request;
}

bool IsScreenRequest(const uScreenshotRequest& request) {
    return request.eKind == RequestScreenshot || request.eKind == RequestDisplayDump;
}

// Sends the screenshot query at once (direct mode), or lets the pump work the list off.
void BeginShot(uScreenshotPump& pump) {
    pump.iRequestTime = WaveformPump::ElapsedMilliseconds();
    if (CreateSendRequestList(pump)) {
        pump.pTimers->Start(TimerPump, 0); // the first step at the loop's next turn
    } else if (pump.sScreenshotCommand.empty()) {
        // Nothing to ask for: an empty command would reach the instrument as it stands.
        pump.pWindow->SetStatus(PumpSupport::NotSent);
        pump.pWindow->AddError(Prefix(pump) + PumpSupport::NotSent);
        StopRequestData(pump, PumpSupport::NotSent);
    } else {
        SendRequestData(pump, true, true);
    }
}

// One step of the list (see PumpSupport::Continue). While a request's result is awaited, the
// step timer ticks as a fallback; the result itself continues the pump.
void PumpStep(uScreenshotPump& pump) {
    pump.pTimers->Stop(TimerPump);
    if (pump.mRequestList.empty()) {
        pump.fRequestList = false;
        if (pump.fAutomatic)
            pump.pTimers->Start(TimerInterval, static_cast<int>(pump.iInterval));
        else
            StopRequestData(pump);
        return;
    }
    auto it = pump.mRequestList.begin();
    uScreenshotRequest& request = *it;
    const std::int64_t iStops = pump.iStops;
    if (request.eKind == RequestScreenshotWait) {
        pump.pTimers->Start(TimerPump, request.iWait > 0 ? static_cast<int>(request.iWait) : PumpTick);
        pump.mRequestList.erase(it);
    } else if (request.fResponse && request.fArrived && !IsScreenRequest(request)) {
        const bool fMatched = CheckInstrumentResponse(pump, request.sResponse);
        PumpSupport::AfterCheck(pump, it, fMatched, iStops, &Continue, TimerPump, PumpTick);
    } else if (request.fPending) {
        request.fPending = 0;
        request.fAwaiting = 1;
        pump.sRequestCommand = request.sCommand;
        SendRequestData(pump, request.fSend != 0, request.fResponse != 0);
        if (pump.iStops == iStops) pump.pTimers->Start(TimerPump, PumpTick);
    } else if (request.fAwaiting) {
        pump.pTimers->Start(TimerPump, PumpTick);
    } else if (request.fArrived) {
        pump.mRequestList.erase(it);
        Continue(pump);
    }
}

} // namespace

void SetInstrument(uScreenshotPump& pump, uScreenshotPumpInstrument instrument) {
    // The same object connected again or lost (a regain, a loss under a read): the tasks queued
    // for it still report, and the read waits for them. Another object's tasks never will.
    const bool fSame = instrument.pInstrument && instrument.pInstrument == pump.instrument.pInstrument;
    pump.instrument = std::move(instrument);
    if (fSame) return;
    pump.mOutstanding.clear();
    pump.iCurrentTask = 0;
}

void SetScreenshotCommand(uScreenshotPump& pump) {
    pump.sScreenshotCommand = pump.instrument.commands.sScreenCopy;
    // A window without an instrument (one a workspace opened) has no command to tell.
    if (pump.instrument.fConnected) {
        pump.pWindow->AddLine(pump.instrument.sModel + " - Screenshot SCPI Command: " + pump.sScreenshotCommand);
    }
    pump.sDisplayDumpCommand = IsHameg(pump.instrument.eModel) ? pump.instrument.commands.sDisplayDump : "";
}

bool CreateSendRequestList(uScreenshotPump& pump) {
    pump.mRequestList.clear();
    pump.fRequestList = false;
    const uWaveformOptionState& c = pump.control;
    auto Control = [&pump](std::int64_t eKind, const std::string& sCommand) {
        pump.mRequestList.push_back(Element(eKind, sCommand));
        pump.fRequestList = true;
    };
    if (c.fBefore) {
        if (c.fStopComplete) Control(2006, c.sStopComplete);
        if (c.fStop) Control(2001, c.sStop);
        if (c.fSingle) Control(2002, c.sSingle);
        for (const auto& [fChecked, iWait] : {std::pair{c.fWaitShort, c.iWaitShort}, std::pair{c.fWaitLong, c.iWaitLong}}) {
            if (!fChecked) continue;
            uScreenshotRequest wait;
            wait.eKind = RequestScreenshotWait;
            wait.iWait = iWait;
            pump.mRequestList.push_back(wait);
            pump.fRequestList = true;
        }
        if (c.fTrigger) {
            uScreenshotRequest poll = Element(RequestScreenshotTrigger, c.sTriggerStatus, true);
            poll.sResponse = c.sTriggerStatusStop;
            pump.mRequestList.push_back(poll);
            pump.fRequestList = true;
        }
    }
    if (!pump.sScreenshotCommand.empty()) {
        const uScreenshotDumpRows& d = pump.dump;
        if (d.fDisplayDump && !pump.sDisplayDumpCommand.empty() && (d.f1024 || d.f768 || d.f512)) {
            pump.mRequestList.push_back(Element(RequestDisplayDump, pump.sDisplayDumpCommand, true));
            pump.fRequestList = true;
        } else {
            pump.mRequestList.push_back(Element(RequestScreenshot, pump.sScreenshotCommand, true));
        }
    }
    if (c.fAfter) {
        if (c.fTriggerAuto) Control(2021, c.sTriggerAuto);
        if (c.fTriggerNormal) Control(2022, c.sTriggerNormal);
        if (c.fRun) Control(2023, c.sRun);
        if (c.fSingleAfter) Control(2024, c.sSingleAfter);
        if (c.fLocal) Control(2025, c.sLocal);
    }
    return pump.fRequestList;
}

void EventTimer(uScreenshotPump& pump, int iTimer) {
    // Only the reading's timers need the instrument: the option list's deferred update and the
    // viewer's picture still run without one (a swallowed timer 15 would leave the list's
    // update pending for good).
    if (!pump.instrument.fConnected && (iTimer == TimerInterval || iTimer == TimerPump)) {
        pump.pTimers->Stop(iTimer);
        StopRequestData(pump);
        return;
    }
    switch (iTimer) {
    case TimerInterval:
        pump.pTimers->Stop(TimerInterval);
        if (pump.fAutomatic)
            BeginShot(pump);
        else
            StopRequestData(pump);
        break;
    case TimerReprocess:
        pump.pTimers->Stop(TimerReprocess);
        pump.pWindow->Reprocess();
        break;
    case TimerOptions:
        pump.pTimers->Stop(TimerOptions);
        pump.pWindow->PostOptionsEvent();
        break;
    case TimerPump: Continue(pump); break;
    default: pump.pTimers->Stop(iTimer); break;
    }
}

void Continue(uScreenshotPump& pump) { PumpSupport::Continue(pump, &PumpStep); }

void SendRequestData(uScreenshotPump& pump, bool fSend, bool fResponse) {
    bool ok = PumpSupport::InterfaceConnected(pump);
    pump.fDiscardResult = false;
    ok = ok && pump.instrument.fConnected;
    const std::string sCommand = pump.fRequestList ? pump.sRequestCommand : pump.sScreenshotCommand;
    std::string sRefused;
    if (ok) {
        pump.answer.release();
        uTaskScpiCommand task;
        task.head = {InstrumentTaskScpiCommand, 0, pump.iWindow};
        task.fSend = fSend ? 1 : 0;
        if (fSend) task.sCommand = sCommand;
        task.fRequestData = fResponse ? 1 : 0;
        pump.iSendTime = WaveformPump::ElapsedMilliseconds();
        std::string sError;
        if (PumpSupport::QueueTask(pump, task, sError) == 0) {
            ok = false;
            sRefused = PumpSupport::CommunicationError + sError;
            pump.pWindow->SetStatus(sRefused);
            pump.pWindow->AddError(sRefused);
        }
    }
    if (ok && !pump.fAutomatic && fSend && !FirstKindIs(pump, RequestScreenshotTrigger))
        pump.pWindow->AddLine(Prefix(pump) + "SCPI command sent: " + sCommand);
    if (!ok) {
        // A refused task is in the log; otherwise there is no instrument to ask, which the status
        // line says before the stop adds its own words. An automatic reading says why it stopped.
        const bool fAutomatic = pump.fAutomatic;
        if (sRefused.empty()) pump.pWindow->SetStatus(Instrument::NotConnectedText);
        StopRequestData(pump, sRefused.empty() ? std::string(Instrument::NotConnectedText) : sRefused);
        if (!sRefused.empty() && !fAutomatic) pump.pWindow->SetStatus("");
    }
}

bool CheckInstrumentResponse(uScreenshotPump& pump, const std::string& sExpected) {
    const std::uint8_t* pAnswer = pump.answer.data();
    const std::size_t iSize = pump.answer.size();
    if (!pAnswer || iSize == 0) return false;
    std::uint64_t iCount = 0;
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(pAnswer, 0, iSize, &iCount);
    std::string sText;
    if (iHeader == 0) {
        sText.assign(reinterpret_cast<const char*>(pAnswer), iSize);
    } else {
        if (iSize - iHeader < iCount) return false;
        sText.assign(reinterpret_cast<const char*>(pAnswer + iHeader), iSize - iHeader);
    }
    sText = Utility::TrimCharacters(sText, " \t\r\n");
    if (sText.size() != sExpected.size()) return false;
    for (std::size_t i = 0; i < sText.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(sText[i])) != std::toupper(static_cast<unsigned char>(sExpected[i])))
            return false;
    return true;
}

void StartReading(uScreenshotPump& pump, const uScreenshotStart& start) {
    // The window of an instrument without screenshots behaves as disconnected.
    if (!pump.instrument.fConnected || !pump.instrument.fScreenshot) {
        pump.pWindow->SetStatus(Instrument::NotConnectedText);
        return;
    }
    ScreenshotPumpWindow& window = *pump.pWindow;
    window.SetStatus("");
    if (!PumpSupport::TakeStart(pump, start)) return;
    window.DisableGadgets(true);
    if (start.fAutomatically) {
        pump.fAutomatic = true;
        pump.iCount = 0;
        pump.iSaved = 0;
        pump.sEnded.clear();
        ++pump.iRun;
    } else {
        window.SetStatus("");
    }
    BeginShot(pump);
    if (start.fAutomatically) {
        window.PostViewerSync();
        window.AddLine(Prefix(pump) + "The screenshots are read in automatically, every " +
                       Utility::StrDLocalized(static_cast<double>(pump.iInterval), -1) + " Milliseconds");
        if (pump.fSaveAutomatically)
            window.AddLine(Prefix(pump) + "The screenshots are saved in the folder: " + pump.sAutomaticFolder);
    }
}

void Cancel(uScreenshotPump& pump) {
    const bool fAutomatic = pump.fAutomatic;
    pump.fDiscardResult = true;
    StopRequestData(pump);
    if (!fAutomatic) return;
    pump.sEnded = PumpSupport::AutomaticCancelled;
    pump.pWindow->SetStatus(pump.sEnded + " " + Counts(pump));
}

void StopRequestData(uScreenshotPump& pump, const std::string& sWhy) {
    ScreenshotPumpWindow& window = *pump.pWindow;
    ++pump.iStops;
    const bool fEndedByItself = pump.fAutomatic && !pump.fDiscardResult;
    if (pump.fAutomatic)
        window.AddLine(Prefix(pump) + "The automatic reading of the screenshots was stopped. Count: " +
                       Utility::StrDLocalized(static_cast<double>(pump.iCount), -1));
    pump.fAutomatic = false;
    pump.fRequestList = false;
    pump.pTimers->Stop(TimerInterval);
    pump.pTimers->Stop(TimerPump);
    PumpSupport::CancelTransfer(pump);
    if (fEndedByItself) pump.sEnded = PumpSupport::SayStopped(pump, sWhy, Counts(pump));
}

void ImageCounted(uScreenshotPump& pump, std::int64_t iRun, bool fSaved) {
    if (iRun != pump.iRun) return;
    ++pump.iCount;
    if (fSaved) ++pump.iSaved;
    pump.pWindow->SetStatus(pump.fAutomatic ? "Screenshots: " + PumpSupport::Number(pump.iCount)
                                            : pump.sEnded + " " + Counts(pump));
}

std::string Counts(const uScreenshotPump& pump) {
    const std::string sText = "Screenshots: " + PumpSupport::Number(pump.iCount);
    return pump.fSaveAutomatically ? sText + " - Saved: " + PumpSupport::Number(pump.iSaved) : sText;
}

} // namespace ScreenshotPump
