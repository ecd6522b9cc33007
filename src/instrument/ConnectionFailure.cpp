#include "instrument/ConnectionFailure.h"

#include "transport/TcpSocket.h"
#include "transport/UsbAccess.h"
#include "transport/InterfaceDefaults.h"

#include <cerrno>
#include <string>

namespace Instrument {
namespace {

bool Has(std::string_view sText, std::string_view sPart) { return sText.find(sPart) != std::string_view::npos; }

// The decimal number that begins at sText[i] (0 when none; it stops growing past 100000).
int NumberAt(std::string_view sText, std::size_t i) {
    int iNumber = 0;
    for (std::size_t k = i; k < sText.size() && sText[k] >= '0' && sText[k] <= '9' && iNumber < 100000; ++k) {
        iNumber = iNumber * 10 + (sText[k] - '0');
    }
    return iNumber;
}

// The error code that the transports append as "Code = n" (the last one when several).
int Code(std::string_view sText) {
    const std::size_t i = sText.rfind("Code = ");
    return i == std::string_view::npos ? 0 : NumberAt(sText, i + 7);
}

// The port the transport tried, from its text "Instrument: 10.0.0.5:5025 - " (0 when it names
// none): an LXI instrument entered without a core port learns it from the portmapper only.
int TriedPort(std::string_view sText) {
    const std::size_t i = sText.rfind("Instrument: ");
    if (i == std::string_view::npos) return 0;
    const std::size_t iColon = sText.find(':', i + 12);
    return iColon < sText.find(" - ", i + 12) ? NumberAt(sText, iColon + 1) : 0;
}

// The milliseconds of "No connection within n ms.".
std::string Within(std::string_view sText) {
    const std::size_t i = sText.find("No connection within ");
    if (i == std::string_view::npos) return "";
    const std::size_t iStart = i + 21, iEnd = sText.find(' ', iStart);
    return std::string(sText.substr(iStart, iEnd == std::string_view::npos ? std::string_view::npos : iEnd - iStart));
}

std::string LanReason(const uTaskPrepare& c, Failure::eKind eKind, std::string_view sError) {
    const bool fLxi = c.eInterface == InterfaceVxi11;
    const std::string sIp = fLxi ? c.vxi11.sInstrumentIp : c.rawTcp.sInstrumentIp;
    const std::string sAt = " at " + sIp;
    // The description's faults, which the transport refuses before any connect, in the order it
    // checks them: they are read from the description the connect was made with, not its text.
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
    // A connect reported without its kind: the system's error code in the text names it.
    if (eKind == Failure::eKind::None) {
        const int iCode = Code(sError);
        if (iCode == ECONNREFUSED) eKind = Failure::eKind::Refused;
        else if (!Within(sError).empty()) eKind = Failure::eKind::TimedOut;
        else if (iCode == ENETUNREACH || iCode == EHOSTUNREACH) eKind = Failure::eKind::Unreachable;
        else if (ConnectionDropped(sError)) eKind = Failure::eKind::GoneBefore;
    }
    // LXI asks the portmapper first: an instrument that only takes raw SCPI has none, or one
    // that knows no VXI-11 service.
    const bool fPortmapper = fLxi && Has(sError, "VXI-11 TCP port");
    const std::string sRawHint = " If the instrument takes SCPI over a raw socket (port 5025), add it as \"Raw TCP\".";
    if (eKind == Failure::eKind::Refused) {
        if (fPortmapper) {
            return "No LXI (VXI-11) service" + sAt + ": port " + std::to_string(c.vxi11.iPortmapperPort) +
                   " refused the connection." + sRawHint;
        }
        // Without a given VXI-11 port, the core port is the one the portmapper named.
        const std::int64_t iRefused = fLxi && c.vxi11.iCorePort == 0 ? TriedPort(sError) : iPort;
        return "The instrument" + sAt + " refused the connection on port " + std::to_string(iRefused) +
               ": nothing accepts connections there. Check the port and that the instrument's network interface is on.";
    }
    const std::string sMs = Within(sError);
    if (eKind == Failure::eKind::TimedOut && !sMs.empty()) {
        return "No answer from " + sIp + " within " + sMs +
               " ms. Check the IP address, the cable and that the instrument is switched on.";
    }
    if (eKind == Failure::eKind::Unreachable) {
        return "The address " + sIp + " cannot be reached from this PC. Check the IP address and the network adapter.";
    }
    if (fPortmapper) return "No LXI (VXI-11) service answered" + sAt + "." + sRawHint;
    if (Failure::Gone(eKind)) return "The instrument" + sAt + " closed the connection at once.";
    return "The network connection to the instrument" + sAt + " could not be established.";
}

} // namespace

std::string ConnectFailureReason(const uTaskPrepare& c, Failure::eKind eKind, std::string_view sError) {
    switch (c.eInterface) {
    case InterfaceVxi11:
    case InterfaceRawTcp: return LanReason(c, eKind, sError);
    case InterfaceSerial:
        if (c.serial.sPort.empty()) return "No serial port was given.";
        return "The serial port " + c.serial.sPort +
               " could not be opened: it does not exist, another program uses it, or its settings are not possible.";
    case InterfaceUsbTmc: {
        // No permission: the transport's sentence names the device and the udev rule that grants it.
        // Without the connect's kind the sentence itself tells.
        const std::size_t iDenied = sError.find(UsbAccess::cDeniedStart);
        const bool fDenied = eKind == Failure::eKind::None || eKind == Failure::eKind::NotPermitted;
        if (fDenied && iDenied != std::string_view::npos) return std::string(sError.substr(iDenied));
        return "The USB instrument could not be opened: it was unplugged or another program uses it.";
    }
    default: return "The instrument has no interface that can be connected.";
    }
}

std::string ExchangeFailureReason(const uTaskPrepare& c, Failure::eKind eKind, std::string_view sError,
                                  std::int64_t iTimeoutMs) {
    if (sError.empty()) return "";
    // A connect made for the request: the connect step's sentences, the socket's own text.
    if (Has(sError, "could not be established.") || Has(sError, "TcpSocket::Connect:") ||
        Has(sError, "no connection could be established.")) {
        return "The instrument could not be connected: " + ConnectFailureReason(c, Failure::eKind::None, sError);
    }
    switch (eKind) {
    case Failure::eKind::GoneBefore:
    case Failure::eKind::GoneAfter: return DroppedText;
    case Failure::eKind::NotConnected: return NotConnectedText;
    case Failure::eKind::TimedOut: break;
    default: return "";
    }
    // A text that says how long it waited (USBTMC's wait for the answer) is believed first.
    const std::size_t iReady = sError.find("did not have the answer ready within ");
    if (iReady != std::string_view::npos) {
        const std::size_t iStart = iReady + 37, iEnd = sError.find(' ', iStart);
        return "The instrument did not answer within " +
               std::string(sError.substr(iStart, iEnd == std::string_view::npos ? std::string_view::npos : iEnd - iStart)) +
               " ms.";
    }
    const std::string sWithin = iTimeoutMs > 0 ? " within " + std::to_string(iTimeoutMs) + " ms." : " in time.";
    if (Has(sError, "Die Wartezeit für das Senden wurde überschritten.")) {
        return "The instrument did not take the data" + sWithin;
    }
    return "The instrument did not answer" + sWithin;
}

std::string ExchangeFailureReason(const InstrumentObject& pInstrument, Failure::eKind eKind, std::string_view sError) {
    if (!pInstrument || !pInstrument->pInterface) return NotConnectedText;
    uInfo details;
    std::string sIgnored;
    // Without its description (the instance has gone) the kind and the text say what they can.
    if (!pInstrument->pInterface->GetInfo(*pInstrument, details, sIgnored)) details = uInfo{};
    const auto eInterface = static_cast<int>(details.connection.eInterface);
    return ExchangeFailureReason(details.connection, eKind, sError, InterfaceDefaults::Timeout(eInterface));
}

std::string NoIdentificationText(const uTaskPrepare& c) {
    return "No instrument answered the identification (*IDN?) at " + ConnectionPlace(c) +
           ": check the cable, the connection's settings and that the instrument is switched on.";
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

bool SendsAgain(const Failure::uFailure& f, bool fConnectTried) {
    const bool fBefore = f.eType == Failure::eKind::GoneBefore || f.eType == Failure::eKind::NotConnected;
    return !fConnectTried && fBefore && f.iSent == 0;
}

bool Dropped(const Failure::uFailure& f) {
    return Failure::Gone(f.eType) || f.eType == Failure::eKind::NotConnected;
}

bool ConnectionDropped(std::string_view sError) {
    // "Die Netzwerkverbindung ...", "Die serielle Verbindung ...".
    if (Has(sError, "erbindung wurde unterbrochen.")) return true;
    // A USB instrument that was unplugged: libusb-1.0 names the code, the 0.1 library gives the
    // negative errno behind its sentence.
    if (Has(sError, "LIBUSB_ERROR_NO_DEVICE")) return true;
    if (const std::size_t i = sError.find(" Transfer: -" + std::to_string(ENODEV)); i != std::string_view::npos) {
        const std::size_t iEnd = i + 12 + std::to_string(ENODEV).size();
        if (iEnd == sError.size() || sError[iEnd] < '0' || sError[iEnd] > '9') return true;
    }
    const int iCode = Code(sError);
    return iCode == ECONNRESET || iCode == EPIPE || iCode == ECONNABORTED;
}

} // namespace Instrument
