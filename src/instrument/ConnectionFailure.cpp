#include "instrument/ConnectionFailure.h"

#include "common/TextRoutines.h"
#include "instrument/ModelCommands.h"
#include "instrument/ModelTable.h"
#include "transport/InterfaceDefaults.h"
#include "transport/TcpSocket.h"

#include <string>

namespace Instrument {
namespace {

std::string LanReason(const uTaskPrepare& c, const Failure::uFailure& f) {
    const bool fLxi = c.eInterface == InterfaceVxi11;
    const std::string sIp = fLxi ? c.vxi11.sInstrumentIp : c.rawTcp.sInstrumentIp;
    const std::string sAt = " at " + sIp;
    // The description's faults, which the transport refuses before any connect, in the order it
    // checks them: they are read from the description the connect was made with.
    if (sIp.empty()) return "The instrument has no IP address.";
    if ((fLxi ? c.vxi11.sAdapterIp : c.rawTcp.sAdapterIp).empty()) {
        return "No network adapter of this PC was found for the instrument" + sAt + ".";
    }
    // The port the connect was made to: the portmapper's when no VXI-11 port is given.
    const std::int64_t iPort = fLxi ? (c.vxi11.iCorePort != 0 ? c.vxi11.iCorePort : c.vxi11.iPortmapperPort) : c.rawTcp.iPort;
    if (iPort < 1 || iPort > 65535) {
        return "The port " + std::to_string(iPort) + " of the instrument" + sAt + " is not a port number from 1 to 65535.";
    }
    if (!TcpSocket::IsAddress(sIp)) return "\"" + sIp + "\" is not a whole IPv4 address.";
    // LXI asks the portmapper first: an instrument that only takes raw SCPI has none, or one
    // that knows no VXI-11 service.
    const bool fPortmapper = fLxi && f.eAt == Failure::eStep::Portmapper;
    const std::string sRawHint = " If the instrument takes SCPI over a raw socket (port 5025), add it as \"Raw TCP\".";
    switch (f.eConnect) {
    case Failure::eKind::Refused:
        if (fPortmapper) {
            return "No LXI (VXI-11) service" + sAt + ": port " + std::to_string(c.vxi11.iPortmapperPort) +
                   " refused the connection." + sRawHint;
        }
        // Without a given VXI-11 port, the core port is the one the portmapper named.
        return "The instrument" + sAt + " refused the connection on port " + std::to_string(f.iPort != 0 ? f.iPort : iPort) +
               ": nothing accepts connections there. Check the port and that the instrument's network interface is on.";
    case Failure::eKind::TimedOut:
        if (f.iWaitedMs <= 0) break;
        return "No answer from " + sIp + " within " + std::to_string(f.iWaitedMs) +
               " ms. Check the IP address, the cable and that the instrument is switched on.";
    case Failure::eKind::Unreachable:
        return "The address " + sIp + " cannot be reached from this PC. Check the IP address and the network adapter.";
    default: break;
    }
    if (fPortmapper) return "No LXI (VXI-11) service answered" + sAt + "." + sRawHint;
    if (Failure::Gone(f.eConnect)) return "The instrument" + sAt + " closed the connection at once.";
    return "The network connection to the instrument" + sAt + " could not be established.";
}

} // namespace

std::string ConnectFailureReason(const uTaskPrepare& c, const Failure::uFailure& failure) {
    switch (c.eInterface) {
    case InterfaceVxi11:
    case InterfaceRawTcp: return LanReason(c, failure);
    case InterfaceSerial:
        if (c.serial.sPort.empty()) return "No serial port was given.";
        return "The serial port " + c.serial.sPort +
               " could not be opened: it does not exist, another program uses it, or its settings are not possible.";
    case InterfaceUsbTmc:
        // No permission: the transport's sentence names the device and the udev rule that grants it.
        if (failure.eConnect == Failure::eKind::NotPermitted && !failure.sText.empty()) return failure.sText;
        return "The USB instrument could not be opened: it was unplugged or another program uses it.";
    default: return "The instrument has no interface that can be connected.";
    }
}

std::string ExchangeFailureReason(const uTaskPrepare& c, const Failure::uFailure& failure, std::int64_t iTimeoutMs) {
    // A connect made for the request says why as the connect task does.
    if (failure.eConnect != Failure::eKind::None) {
        return ConnectFailedText + ConnectFailureReason(c, failure);
    }
    switch (failure.eType) {
    case Failure::eKind::GoneBefore:
    case Failure::eKind::GoneAfter: return DroppedText;
    case Failure::eKind::NotConnected: return NotConnectedText;
    case Failure::eKind::Arriving: return "An earlier answer is still arriving.";
    case Failure::eKind::TimedOut: break;
    default: return "";
    }
    // The time the failing call waited (USBTMC's wait for the answer) is believed first.
    const std::int64_t iMs = failure.iWaitedMs > 0 ? failure.iWaitedMs : iTimeoutMs;
    const std::string sWithin = iMs > 0 ? " within " + std::to_string(iMs) + " ms." : " in time.";
    if (failure.eAt == Failure::eStep::Send) return "The instrument did not take the data" + sWithin;
    if (failure.iReceived > 0) return CutAnswerText(failure, iMs);
    return "The instrument did not answer" + sWithin;
}

std::string AnswerCountText(const Failure::uFailure& failure) {
    if (failure.iAnswersAwaited <= 0) return {};
    return ", answers received / expected: " + std::to_string(failure.iAnswers) + " / " +
           std::to_string(failure.iAnswersAwaited);
}

std::string CutAnswerText(const Failure::uFailure& failure, std::int64_t iTimeoutMs) {
    const std::string sMs = iTimeoutMs > 0 ? " (" + std::to_string(iTimeoutMs) + " ms)" : "";
    std::string sText = "The time-out" + sMs + " cut the answer after " + std::to_string(failure.iReceived) + " bytes" +
                        AnswerCountText(failure) + ".";
    if (failure.iDropped <= 0) return sText;
    sText += failure.iDropped >= failure.iReceived
                 ? " None of them is handed on"
                 : " The " + std::to_string(failure.iDropped) + " bytes of the message it cut are not handed on";
    return sText + "; the read waited " + std::to_string(failure.iReadMs) + " ms in all.";
}

void CountPart(Failure::uFailure& failure, Failure::eKind eKind, std::int64_t iBytes, std::string_view sCame,
               std::size_t iAnswers, std::int64_t iAwaited, std::int64_t iTimeoutMs, std::string& sError) {
    failure.iReceived = iBytes;
    failure.fNoText = !AnswerText(sCame);
    // The read waited its request's time-out: the reason names that one, not the interface's default.
    if (eKind == Failure::eKind::TimedOut && iTimeoutMs > 0 && failure.iWaitedMs <= 0) failure.iWaitedMs = iTimeoutMs;
    const bool fChain = iAnswers > 0 && static_cast<std::int64_t>(iAnswers) < iAwaited;
    failure.iAnswers = fChain ? static_cast<std::int64_t>(iAnswers) : 0;
    failure.iAnswersAwaited = fChain ? iAwaited : 0;
    if (eKind == Failure::eKind::TimedOut && iBytes > 0) sError = CutAnswerText(failure, iTimeoutMs) + " - " + sError;
}

std::string ExchangeFailureReason(const InstrumentObject& pInstrument, const Failure::uFailure& failure) {
    if (!pInstrument || !pInstrument->pInterface) return NotConnectedText;
    uInfo details;
    std::string sIgnored;
    // Without its description (the instance has gone) the kind and the text say what they can.
    if (!pInstrument->pInterface->GetInfo(*pInstrument, details, sIgnored)) details = uInfo{};
    const auto eInterface = static_cast<int>(details.connection.eInterface);
    return ExchangeFailureReason(details.connection, failure, InterfaceDefaults::Timeout(eInterface));
}

std::string NotIdentifiedText(const uTaskPrepare& c, const uIdn& idn) {
    if (!idn.sManufacturer.empty() || !idn.sModel.empty()) return {};
    // Found by a search and never asked: its description is all there is to tell.
    if (c.fUserModel == 0 && idn.failure.eType == Failure::eKind::None) return {};
    const std::string sAnswer = IdentificationAnswerText(c, idn.failure);
    if (!sAnswer.empty()) return sAnswer;
    return "No instrument answered the identification (*IDN?) at " + ConnectionPlace(c) +
           ": check the cable, the connection's settings and that the instrument is switched on.";
}

std::string IdentificationAnswerText(const uTaskPrepare& c, const Failure::uFailure& failure) {
    const std::string sModel =
        c.fUserModel == 0 ? "" : Utility::TrimCharacters(c.sUserManufacturer + " " + c.sUserModel, " ");
    if (failure.fEmpty || failure.fNoNames) {
        return "The instrument answered the identification (*IDN?) at " + ConnectionPlace(c) + " with " +
               (failure.fEmpty ? "an empty line" : "an identification that names no maker or model") +
               ": check " +
               (sModel.empty() ? "" : "that the model chosen, " + sModel + ", is the instrument's, and ") +
               "the instrument's settings for remote control.";
    }
    if (failure.iReceived <= 0 || (failure.eType != Failure::eKind::TimedOut && !failure.fNoText)) return {};
    const std::string sGot = "The identification (*IDN?) at " + ConnectionPlace(c) + " got ";
    const bool fStream = c.eInterface == InterfaceRawTcp || c.eInterface == InterfaceSerial;
    if (!fStream && !failure.fNoText) {
        return sGot + "an answer whose message did not end: " + CutAnswerText(failure, failure.iWaitedMs);
    }
    std::string sEnd;
    for (const char cEnd : AnswerEndText(c.eModel)) {
        sEnd += (sEnd.empty() ? "" : " and ") + std::string(cEnd == '\r' ? "carriage return" : "line feed");
    }
    const std::string sBytes = std::to_string(failure.iReceived) + " bytes";
    if (failure.fNoText) {
        // Noise, ended or not: a line whose speed, data bits or parity are not the instrument's,
        // or a port that speaks something else; the end text only tells when an answer is text.
        static const char* const aParity[] = {"no", "odd", "even", "mark", "space"};
        const auto& s = c.serial;
        std::string sCheck; // the settings of the line or socket, then the model chosen
        if (c.eInterface == InterfaceSerial) {
            sCheck = "the serial line's settings (baud rate " + std::to_string(s.iBaudRate) + ", " +
                     std::to_string(s.iDataBits) + " data bits, " +
                     (s.iParity >= 0 && s.iParity < 5 ? aParity[s.iParity] : "unknown") + " parity, end text " +
                     sEnd + ")";
        } else if (fStream) {
            sCheck = "the connection's settings (port " + std::to_string(c.rawTcp.iPort) + ", end text " + sEnd + ")";
        }
        if (!sModel.empty()) {
            sCheck += std::string(sCheck.empty() ? "" : " and ") + "that the model chosen, " + sModel +
                      ", is the instrument's";
        }
        return sGot + sBytes + " that are no text" + (sCheck.empty() ? "." : ": check " + sCheck + ".");
    }
    return sGot + "an answer of " + sBytes + " that did not end with " + sEnd +
           (sModel.empty() ? "."
                           : ", as the answers of the chosen model " + sModel +
                                 " end: check that the model chosen is the instrument's.");
}

std::string ConnectionPlace(const uTaskPrepare& c) {
    switch (c.eInterface) {
    case InterfaceVxi11: return c.vxi11.sInstrumentIp;
    case InterfaceRawTcp: return c.rawTcp.sInstrumentIp + ":" + std::to_string(c.rawTcp.iPort);
    case InterfaceSerial: return c.serial.sPort;
    case InterfaceUsbTmc:
        return c.usb.sSerialNumber.empty() ? std::string("the USB instrument") : "the USB instrument " + c.usb.sSerialNumber;
    default: return "the instrument";
    }
}

std::string ShownName(const uTaskPrepare& connection, const uIdn& idn) {
    return idn.sModel.empty() ? ConnectionPlace(connection) : idn.sModel;
}

bool SendsAgain(const Failure::uFailure& f, bool fConnectTried) {
    const bool fBefore = f.eType == Failure::eKind::GoneBefore || f.eType == Failure::eKind::NotConnected;
    return !fConnectTried && fBefore && f.iSent == 0;
}

bool Dropped(const Failure::uFailure& f) {
    return Failure::Gone(f.eType) || f.eType == Failure::eKind::NotConnected;
}

} // namespace Instrument
