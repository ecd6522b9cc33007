#include "instrument/NetworkConnection.h"

#include "instrument/ChainedRead.h"
#include "instrument/ConnectionFailure.h"
#include "instrument/InstrumentDefault.h"
#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/InterfaceDefaults.h"
#include "transport/Lxi.h"
#include "transport/RawTcp.h"
#include "transport/Serial.h"
#include "transport/TransferStatus.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>

namespace InstrumentDefault {
namespace {

using TransferStatus::TransferReceiveError;
using TransferStatus::TransferSendError;

// The texts of one kind of connection.
struct uTexts {
    const char* pConnect;     // prefix of the connect procedure's texts
    const char* pDisconnect;  // prefix of the close texts
    const char* pName;        // the instrument as the texts name it
    const char* pNoConnection; // the connect step's own sentence
};

// One kind of connection: its transport module's calls and texts.
struct uLxiKind {
    using Instance = Lxi::uLxiInstance;
    using Settings = uNetworkSettings;
    static constexpr uTexts Texts{"InstrumentDefault::ConnectVxi: ", "InstrumentDefault::DisconnectVxi: ",
                                  "LXI instrument",
                                  "The network connection to the LXI instrument could not be established. - "};
    static constexpr auto New = &Lxi::NewInstance;
    static constexpr auto SetInstrument = &Lxi::SetInstrument;
    static constexpr auto Connect = &Lxi::Connect;
    static constexpr auto Delete = &Lxi::DeleteInstance;
};

struct uRawTcpKind {
    using Instance = RawTcp::uRawTcpInstance;
    using Settings = uNetworkSettings;
    static constexpr uTexts Texts{"InstrumentDefault::ConnectRawTcp: ", "InstrumentDefault::DisconnectRawTcp: ",
                                  "RawTCP instrument",
                                  "The network connection to the RawTCP instrument could not be established. - "};
    static constexpr const char* pExchange = "SendRequestRawTcp";
    static constexpr auto New = &RawTcp::NewInstance;
    static constexpr auto SetInstrument = &RawTcp::SetInstrument;
    static constexpr auto Connect = &RawTcp::Connect;
    static constexpr auto Delete = &RawTcp::DeleteInstance;
    static constexpr auto SetEndOfMessage = &RawTcp::SetEndOfMessage;
    static constexpr auto SetTimeout = &RawTcp::SetTimeout;
    static constexpr auto PrepareData = &RawTcp::PrepareData;
    static constexpr auto SendData = &RawTcp::SendData;
    static constexpr auto RequestData = &RawTcp::RequestData;
};

struct uSerialKind {
    using Instance = Serial::uSerialInstance;
    using Settings = uSerialSettings;
    static constexpr uTexts Texts{"InstrumentDefault::ConnectSerial: ", "InstrumentDefault::DisconnectSerial: ",
                                  "serial instrument",
                                  "The serial connection to the instrument could not be established. - "};
    static constexpr const char* pExchange = "SendRequestSerial";
    static constexpr auto New = &Serial::NewInstance;
    static constexpr auto SetInstrument = &Serial::SetInstrument;
    static constexpr auto Connect = &Serial::Connect;
    static constexpr auto Delete = &Serial::DeleteInstance;
    static constexpr auto SetEndOfMessage = &Serial::SetEndOfMessage;
    static constexpr auto SetTimeout = &Serial::SetTimeout;
    static constexpr auto PrepareData = &Serial::PrepareData;
    static constexpr auto SendData = &Serial::SendData;
    static constexpr auto RequestData = &Serial::RequestData;
};

// A failed step of the exchange: the transport's kind, the step (a send error is the send's,
// a receive error the answer's) and the bytes that left go into the request's failure record;
// the window sees the step's sentence unless the request goes out again on a new connection.
void FailStep(uInstance& instance, Failure::eKind eKind, int iWindow, TransferStatus::eTransferStatus eType,
              const char* pPrefix, const std::string& sError, const char* pProcedure) {
    Failure::uFailure& failure = instance.request.failure;
    failure.eType = eKind;
    failure.eAt = eType == TransferReceiveError ? Failure::eStep::Receive : Failure::eStep::Send;
    failure.iSent = instance.request.iSendTransferred;
    if (!Instrument::SendsAgain(failure, instance.fConnectTried)) {
        TransferStatus::PostError(iWindow, eType, pPrefix + sError, pProcedure, failure);
    }
}

const char* const cBuildError = "Error while creating the data for sending. - ";
const char* const cSendError = "Error while sending the data. - ";
const char* const cReceiveError = "Error while receiving the data. - ";

// The payload of the request block, or none.
const std::uint8_t* Payload(const uRequest& request) { return request.data.empty() ? nullptr : request.data.data(); }

// The open transport instance of one kind; it is deleted when the connection closes or goes.
template <class Kind> class uModuleConnection : public InstrumentTransport {
  public:
    explicit uModuleConnection(std::shared_ptr<typename Kind::Instance> pNew)
        : pInstance(std::move(pNew)), iAbortId(Instrument::AbortId(pInstance.get())) {}
    ~uModuleConnection() override {
        std::string sIgnored;
        CloseInstance(sIgnored);
    }

    // The transfer loops ask for requests under their own instance's address.
    std::uint64_t AbortId() const override { return iAbortId; }
    bool Close(std::string& sError) override { return CloseInstance(sError); }

  protected:
    bool CloseInstance(std::string& sError) {
        if (!pInstance) return true;
        std::string sLower;
        const bool fDeleted = Kind::Delete(*pInstance, sLower);
        pInstance.reset();
        if (!fDeleted) {
            sError = std::string(Kind::Texts.pDisconnect) + "Error deleting the instance of the " + Kind::Texts.pName +
                     ". - " + sLower;
        }
        return fDeleted;
    }

    bool Closed(uRequest& request, std::string& sError) const {
        if (pInstance) return false;
        request.failure.eType = Failure::eKind::NotConnected;
        sError = "InstrumentDefault::SendRequest: The instrument is not open.";
        return true;
    }

    std::shared_ptr<typename Kind::Instance> pInstance;
    const std::uint64_t iAbortId;
};

// VXI-11: every exchange and every local/remote request runs on a core link of its own.
class uLxiConnection final : public uModuleConnection<uLxiKind> {
  public:
    using uModuleConnection::uModuleConnection;

    bool Exchange(uInstance& instance, int iWindow, std::string& sError) override {
        static constexpr const char* pProcedure = "SendRequestVxi";
        if (Closed(instance.request, sError)) return false;
        Lxi::uLxiInstance& lxi = *pInstance;
        uRequest& request = instance.request;
        Lxi::SetTermChar(lxi, static_cast<std::uint8_t>(request.iTermChar), request.fTermCharEnabled != 0);
        // The configured time-out as it stands now: the preferences may have changed it.
        Lxi::SetTimeout(lxi, 0);
        Lxi::SetRequestSize(lxi, static_cast<std::uint32_t>(std::max<std::int64_t>(request.iRequestSize, 0)));
        if (!Lxi::PrepareData(lxi, request.sCommand, Payload(request), request.data.size(), sError)) {
            FailStep(instance, Failure::eKind::Other, iWindow, TransferSendError, cBuildError, sError, pProcedure);
            return false;
        }
        if (!Lxi::CreateLink(lxi, sError)) {
            FailStep(instance, lxi.eFailure, iWindow, TransferSendError,
                     "The link to the LXI instrument could not be created. - ", sError, pProcedure);
            return false;
        }
        std::size_t iSent = 0;
        bool fGood = Lxi::SendData(lxi, iSent, iWindow, sError);
        request.iSendTransferred = static_cast<std::int64_t>(iSent);
        request.fSendFinished = fGood ? 1 : 0;
        if (fGood) TransferStatus::Post(iWindow, TransferStatus::TransferSent, WindowNobody, request.iSendTransferred);
        else FailStep(instance, lxi.eFailure, iWindow, TransferSendError, cSendError, sError, pProcedure);
        if (fGood && request.fRequestData) {
            // A message cut by the time-out fails with nothing of it; a chain short of answers with
            // the whole ones. The record counts the cut message's bytes, which came but are not
            // handed on, and how long the read ran: every device_read has a time-out of its own.
            const auto start = std::chrono::steady_clock::now();
            fGood = Lxi::RequestData(lxi, request.requestData, iWindow, sError);
            Failure::eKind eFailed = lxi.eFailure;
            std::size_t iWhole = 0;
            if (fGood) {
                eFailed = ReadChainedMessages(
                    request,
                    [&](DataBuffer& next, std::string& sNext) {
                        return Lxi::RequestData(lxi, next, iWindow, sNext) ? Failure::eKind::None : lxi.eFailure;
                    },
                    iWhole, sError);
                fGood = eFailed == Failure::eKind::None;
            } else {
                request.requestData.release();
            }
            request.iRequestTransferred = static_cast<std::int64_t>(request.requestData.size());
            request.fRequestFinished = fGood ? 1 : 0;
            if (fGood) {
                TransferStatus::Post(iWindow, TransferStatus::TransferReceived, WindowNobody, request.iRequestTransferred);
            } else {
                Failure::uFailure& failure = request.failure;
                failure.iDropped = static_cast<std::int64_t>(lxi.iReceiveSize);
                failure.iReadMs =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
                Instrument::CountPart(failure, eFailed, request.iRequestTransferred + failure.iDropped,
                                      request.requestData.view(), iWhole, request.iAnswers,
                                      static_cast<std::int64_t>(lxi.mRpc.iIoTimeout), sError);
                FailStep(instance, eFailed, iWindow, TransferReceiveError, cReceiveError, sError, pProcedure);
            }
        }
        std::string sClose; // a link that does not close leaves the exchange's outcome alone
        if (!Lxi::DestroyLink(lxi, sClose)) {
            TransferStatus::PostError(iWindow, TransferSendError,
                                      std::string("The link to the LXI instrument could not be closed. - ") + sClose,
                                      pProcedure, Failure::uFailure{lxi.eFailure});
        }
        return fGood;
    }

    bool Gone() const override { return pInstance && pInstance->mSettings.iConnection == 0; }

    bool SetLocal(bool fLocal, Failure::uFailure& failure, std::string& sError) override {
        const std::string sPrefix = fLocal ? "InstrumentDefault::TaskLocal: " : "InstrumentDefault::TaskRemote: ";
        if (!pInstance) {
            sError = sPrefix + "The instrument is not open.";
            failure = {Failure::eKind::NotConnected, 0, sError};
            return false;
        }
        std::string sLower;
        // The kind of the call that failed is the transport's; the text is the task's.
        const auto fail = [&](const std::string& sText) {
            sError = sPrefix + sText + sLower;
            failure = {pInstance->eFailure, 0, sError};
            return false;
        };
        if (!Lxi::CreateLink(*pInstance, sLower)) return fail("The link to the LXI instrument could not be created. - ");
        const bool fSet = fLocal ? Lxi::DeviceLocal(*pInstance, sLower) : Lxi::DeviceRemote(*pInstance, sLower);
        if (!fSet) {
            fail(fLocal ? "The instrument could not be returned to local control. - "
                        : "The instrument could not be put under remote control. - ");
        }
        if (!Lxi::DestroyLink(*pInstance, sLower) && fSet) return fail("The link to the LXI instrument could not be closed. - ");
        return fSet;
    }
};

// Raw TCP and serial: the same message and answer rule over a socket or a port.
template <class Kind> class uStreamConnection final : public uModuleConnection<Kind> {
  public:
    using uModuleConnection<Kind>::uModuleConnection;

    bool KeepsAhead() const override { return true; }

    bool Exchange(uInstance& instance, int iWindow, std::string& sError) override {
        uRequest& request = instance.request;
        // Taken here, so that no later exchange keeps bytes it was not asked to.
        const std::size_t iKeep =
            std::min(static_cast<std::size_t>(std::max<std::int64_t>(request.iKeep, 0)), request.requestData.size());
        request.iKeep = 0;
        if (this->Closed(request, sError)) return false;
        auto& stream = *this->pInstance;
        stream.sInstrument = instance.idn.sModel; // for the transport's notes in the log
        Kind::SetEndOfMessage(stream, request.sTermination);
        Kind::SetTimeout(stream, request.iTimeout);
        stream.eBlockUnit = request.eBlockUnit;
        stream.blockEnds = request.blockEnds;
        stream.iAnswers = static_cast<std::size_t>(std::max<std::int64_t>(request.iAnswers, 0));
        if (!Kind::PrepareData(stream, request.sCommand, Payload(request), request.data.size(), sError)) {
            FailStep(instance, Failure::eKind::Other, iWindow, TransferSendError, cBuildError, sError, Kind::pExchange);
            return false;
        }
        std::size_t iSent = 0;
        bool fGood = Kind::SendData(stream, iSent, iWindow, sError);
        request.iSendTransferred = static_cast<std::int64_t>(iSent);
        request.fSendFinished = fGood ? 1 : 0;
        if (!fGood) {
            FailStep(instance, stream.eFailure, iWindow, TransferSendError, cSendError, sError, Kind::pExchange);
            return false;
        }
        TransferStatus::Post(iWindow, TransferStatus::TransferSent, WindowNobody, request.iSendTransferred);
        if (!request.fRequestData) return true;
        // The transport hands on what came of an answer its time-out cut and owes the rest: the
        // exchange fails with a part, also when it holds whole answers of a chained query.
        std::string sRead;
        fGood = Kind::RequestData(stream, request.requestData, iWindow, sRead, iKeep);
        request.iRequestTransferred = fGood ? static_cast<std::int64_t>(request.requestData.size() - iKeep) : 0;
        fGood = fGood && stream.eFailure != Failure::eKind::TimedOut;
        request.fRequestFinished = fGood ? 1 : 0;
        if (!fGood) {
            sError = sRead;
            // What came is the end of the buffer, behind the bytes kept ahead of it.
            const std::string_view sAll = request.requestData.view();
            const std::string_view sCame =
                sAll.substr(sAll.size() - std::min<std::size_t>(sAll.size(), request.iRequestTransferred));
            Instrument::CountPart(request.failure, stream.eFailure, request.iRequestTransferred, sCame,
                                  stream.iWholeAnswers, request.iAnswers, request.iTimeout, sError);
            FailStep(instance, stream.eFailure, iWindow, TransferReceiveError, cReceiveError, sError, Kind::pExchange);
            return false;
        }
        TransferStatus::Post(iWindow, TransferStatus::TransferReceived, WindowNobody, request.iRequestTransferred);
        return true;
    }
};

template <class Kind> struct uConnectionOf {
    using Type = uStreamConnection<Kind>;
};
template <> struct uConnectionOf<uLxiKind> {
    using Type = uLxiConnection;
};

// Creates the transport instance, hands it the settings, asks the portmapper when told to and
// connects. A failure leaves nothing behind: the connection object deletes its instance.
template <class Kind>
bool Open(uInstance& instance, typename Kind::Settings settings, bool fAskPort, std::string& sError) {
    const uTexts& texts = Kind::Texts;
    std::string sLower;
    auto pTransportInstance = Kind::New(sLower);
    if (!pTransportInstance) {
        sError = std::string(texts.pConnect) + "The " + texts.pName + " could not be created. - " + sLower;
        return false;
    }
    auto pConnection = std::make_shared<typename uConnectionOf<Kind>::Type>(pTransportInstance);
    bool fOpen = Kind::SetInstrument(*pTransportInstance, settings, sLower);
    if (!fOpen) {
        sError = std::string(texts.pConnect) + "The connection data for the " + texts.pName +
                 " could not be transferred. - " + sLower;
    }
    if constexpr (std::is_same_v<Kind, uLxiKind>) {
        if (fOpen && fAskPort) {
            const int iPort = Lxi::GetTcpRpcPort(*pTransportInstance, sLower);
            if (iPort == 0) {
                sError = std::string(texts.pConnect) + "The VXI-11 TCP port for the LXI instrument could not be determined. - " +
                         sLower;
                // Its connect succeeded when the portmapper answered without a port.
                Failure::uFailure& failure = pTransportInstance->connectFailure;
                if (failure.eType == Failure::eKind::None) failure = {Failure::eKind::BadAnswer, 0, sLower};
                failure.eAt = Failure::eStep::Portmapper;
                failure.iPort = settings.iPort;
                fOpen = false;
            } else {
                settings.iPort = iPort;
                std::string sIgnored; // the addresses were taken above and the port is not 0
                Lxi::SetInstrument(*pTransportInstance, settings, sIgnored);
            }
        }
    }
    if (fOpen && !Kind::Connect(*pTransportInstance, sLower)) {
        sError = std::string(texts.pConnect) + texts.pNoConnection + sLower;
        fOpen = false;
    }
    if (!fOpen) {
        instance.connectFailure = pTransportInstance->connectFailure;
        pConnection->Close(sError); // its own failure replaces the text
        return false;
    }
    SetTransport(instance, std::move(pConnection));
    return true;
}

std::uint32_t ParseIpv4(const std::string& sText, bool& fValid) {
    in_addr address{};
    fValid = inet_pton(AF_INET, sText.c_str(), &address) == 1;
    return fValid ? ntohl(address.s_addr) : 0;
}

} // namespace

bool ConnectVxi(uInstance& instance, std::string& sError) {
    const uTaskPrepare& connection = instance.uConnection;
    uNetworkSettings settings;
    settings.sAdapterIp = connection.vxi11.sAdapterIp;
    settings.sInstrumentIp = connection.vxi11.sInstrumentIp;
    settings.iTimeout = InterfaceDefaults::Timeout(InterfaceVxi11);
    // Instruments given by the user without a core port ask the portmapper at every connect;
    // found ones carry the port the search asked for.
    const bool fAskPort = connection.fUserModel != 0 && connection.vxi11.iCorePort == 0;
    settings.iPort = fAskPort ? connection.vxi11.iPortmapperPort : connection.vxi11.iCorePort;
    return Open<uLxiKind>(instance, settings, fAskPort, sError);
}

bool ConnectRawTcp(uInstance& instance, std::string& sError) {
    const uTaskPrepare& connection = instance.uConnection;
    uNetworkSettings settings;
    settings.sAdapterIp = connection.rawTcp.sAdapterIp;
    settings.sInstrumentIp = connection.rawTcp.sInstrumentIp;
    settings.iPort = connection.rawTcp.iPort;
    settings.iTimeout = InterfaceDefaults::Timeout(InterfaceRawTcp);
    return Open<uRawTcpKind>(instance, settings, false, sError);
}

bool ConnectSerial(uInstance& instance, std::string& sError) {
    const uConnectionSerial& serial = instance.uConnection.serial;
    uSerialSettings settings;
    settings.sPort = serial.sPort;
    settings.iBaudRate = serial.iBaudRate;
    settings.iDataBits = serial.iDataBits;
    settings.fStopBits = serial.fStopBits;
    settings.iParity = serial.iParity;
    settings.iHandshake = serial.iHandshake;
    settings.iTimeout = InterfaceDefaults::Timeout(InterfaceSerial);
    return Open<uSerialKind>(instance, settings, false, sError);
}

std::string ChooseAdapter(const std::vector<Network::uNetworkAdapter>& adapters, int iCount,
                          const std::string& sInstrumentIp) {
    // The adapter list leaves loopback out, and it may be the only adapter there is.
    if (Network::IsLoopbackAddress(sInstrumentIp)) return Network::LoopbackAdapter().sIpAddress;
    bool fInstrumentValid = false;
    const std::uint32_t iInstrument = ParseIpv4(sInstrumentIp, fInstrumentValid);
    std::string sChoice;
    int iBestRank = -1;
    const int iLast = std::min<int>(iCount, static_cast<int>(adapters.size()) - 1);
    for (int i = 1; i <= iLast; ++i) {
        const Network::uNetworkAdapter& adapter = adapters[static_cast<std::size_t>(i)];
        bool fValid = false;
        const std::uint32_t iAddress = ParseIpv4(adapter.sIpAddress, fValid);
        if (!fValid || iAddress == 0) continue;
        int iRank = 0;
        if (fInstrumentValid) {
            bool fMaskValid = false;
            const std::uint32_t iMask = ParseIpv4(adapter.sIpMask, fMaskValid);
            const bool fSameNetwork = fMaskValid && iMask != 0 && (iAddress & iMask) == (iInstrument & iMask);
            int iOctets = 0;
            while (iOctets < 4 && ((iAddress >> (24 - 8 * iOctets)) & 0xFF) == ((iInstrument >> (24 - 8 * iOctets)) & 0xFF)) {
                ++iOctets;
            }
            iRank = (fSameNetwork ? 8 : 0) + iOctets;
        }
        if (iRank > iBestRank) {
            iBestRank = iRank;
            sChoice = adapter.sIpAddress;
        }
    }
    return sChoice;
}

} // namespace InstrumentDefault
