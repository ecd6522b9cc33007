#include "transport/RawTcp.h"

#include "transport/InstanceList.h"
#include "transport/InterfaceDefaults.h"

#include <cerrno>

namespace RawTcp {
namespace {

// Never destroyed: a worker thread that outlived its stop wait may still close its connection
// while the process exits.
InstanceList::uList<uRawTcpInstance>& Instances() {
    static auto* pList = new InstanceList::uList<uRawTcpInstance>;
    return *pList;
}

const StreamTransfer::uNames Names{"RawTcp", "SocketWrite", "SocketRead", "SocketReadEmpty",
                                   "Die Netzwerkverbindung"};

// The connection as the transfer loops see it. A receive of 0 bytes is the instrument's
// close; sends never raise SIGPIPE.
class uTcpChannel final : public StreamTransfer::uChannel {
  public:
    explicit uTcpChannel(uRawTcpInstance& instance) : mInstance(instance), mSocket(instance.mConnection) {}

    bool IsOpen() const override { return mSocket.IsOpen(); }

    StreamTransfer::eWait WaitInput(StreamTransfer::Clock::time_point deadline) override {
        return Convert(TcpSocket::WaitReadable(mSocket, deadline));
    }

    std::int64_t Read(std::uint8_t* pData, std::size_t iMax, std::int64_t& iCode) override {
        const std::int64_t n = TcpSocket::Receive(mSocket, pData, iMax);
        if (n > 0) return n;
        if (n == TcpSocket::ReceiveNothing) return StreamTransfer::ReadNothing;
        if (n == TcpSocket::ReceiveClosed) return StreamTransfer::ReadClosed;
        iCode = errno;
        return StreamTransfer::ReadFailed;
    }

    StreamTransfer::eWait WaitOutput(StreamTransfer::Clock::time_point deadline) override {
        return Convert(TcpSocket::WaitWritable(mSocket, deadline));
    }

    std::int64_t Write(const std::uint8_t* pData, std::size_t iSize, std::int64_t& iCode) override {
        const std::int64_t n = TcpSocket::Send(mSocket, pData, iSize);
        if (n < 0) iCode = errno; // EPIPE, ECONNRESET: the instrument is gone
        return n;
    }

    bool Renews() const override { return true; }

    // The same instrument on a new connection; what the transfer loops know of the peer stays.
    bool Renew(std::string& sError) override {
        Disconnect(mInstance);
        return TcpSocket::ConnectInstrument("RawTcp", mInstance.mConnection, mInstance.mSettings, ConnectTimeoutMs,
                                            sError);
    }

  private:
    static StreamTransfer::eWait Convert(TcpSocket::eWait w) {
        if (w == TcpSocket::WaitReady) return StreamTransfer::eWait::Ready;
        return w == TcpSocket::WaitTimeout ? StreamTransfer::eWait::Timeout : StreamTransfer::eWait::Closed;
    }

    uRawTcpInstance& mInstance;
    const TcpSocket::uSocket& mSocket;
};

StreamTransfer::uTransfer Transfer(uRawTcpInstance& instance, uTcpChannel& channel) {
    return {instance, channel, Names, &instance, instance.mSettings.iTimeout, InterfaceDefaults::Timeout(InterfaceRawTcp)};
}

} // namespace

std::shared_ptr<uRawTcpInstance> NewInstance(std::string& sError) {
    std::shared_ptr<uRawTcpInstance> instance = Instances().Add();
    if (!instance) {
        sError = "RawTcp::Constructor: Es konnte keine neue Instanz erstellt werden. Fehler beim Hinzufügen zu der Liste.";
        return nullptr;
    }
    instance->iProgressStep = InterfaceDefaults::ProgressStep(InterfaceRawTcp);
    instance->mSettings.iTimeout = InterfaceDefaults::Timeout(InterfaceRawTcp);
    return instance;
}

bool Destructor(uRawTcpInstance& instance, std::string& sError) {
    const auto keep = Instances().Remove(instance); // alive until its buffers are freed
    if (!keep) {
        sError = InstanceList::MissingText("RawTcp", &instance);
        return false;
    }
    StreamTransfer::FreeMemory(instance);
    return true;
}

bool DeleteInstance(uRawTcpInstance& instance, std::string& sError) {
    Disconnect(instance);
    return Destructor(instance, sError);
}

std::size_t LiveInstances() { return Instances().Live(); }
std::size_t CreatedInstances() { return Instances().Created(); }

bool SetInstrument(uRawTcpInstance& instance, const uNetworkSettings& settings, std::string& sError) {
    Disconnect(instance);
    instance.mSettings = settings;
    instance.mSettings.iConnection = 0;
    return TcpSocket::CheckSettings("RawTcp", settings, sError);
}

bool Connect(uRawTcpInstance& instance, std::string& sError) {
    BetweenMessages::NewConnection(instance);
    return TcpSocket::ConnectInstrument("RawTcp", instance.mConnection, instance.mSettings, ConnectTimeoutMs, sError,
                                        &instance.connectFailure);
}

void Disconnect(uRawTcpInstance& instance) {
    instance.mConnection.Close();
    instance.mSettings.iConnection = 0;
}

void SetTimeout(uRawTcpInstance& instance, std::int64_t iTimeoutMs) {
    instance.mSettings.iTimeout = iTimeoutMs != 0 ? iTimeoutMs : InterfaceDefaults::Timeout(InterfaceRawTcp);
}

void SetEndOfMessage(uRawTcpInstance& instance, const std::string& sEndOfMessage) {
    instance.sEndOfMessage = sEndOfMessage;
}

bool PrepareData(uRawTcpInstance& instance, const std::string& sCommand, const std::uint8_t* pPayload,
                 std::size_t iPayloadSize, std::string& sError) {
    return StreamTransfer::Prepare(instance, Names.pModule, sCommand, pPayload, iPayloadSize, sError);
}

bool SendData(uRawTcpInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError) {
    return SocketWrite(instance, iBytesSent, iWindow, sError);
}

bool SocketWrite(uRawTcpInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError) {
    uTcpChannel channel(instance);
    return StreamTransfer::Write(Transfer(instance, channel), PieceSize, iBytesSent, iWindow, sError);
}

bool RequestData(uRawTcpInstance& instance, DataBuffer& answer, int iWindow, std::string& sError, std::size_t iKeep) {
    // The body of SocketRead, with the answer read into the caller's buffer.
    uTcpChannel channel(instance);
    return StreamTransfer::ReadAnswer(Transfer(instance, channel), answer, iWindow, sError, iKeep);
}

bool SocketRead(uRawTcpInstance& instance, int iWindow, std::string& sError) {
    uTcpChannel channel(instance);
    return StreamTransfer::Read(Transfer(instance, channel), iWindow, sError);
}

bool SocketReadEmpty(uRawTcpInstance& instance, std::string& sError) {
    uTcpChannel channel(instance);
    return StreamTransfer::Drain(Transfer(instance, channel), sError);
}

} // namespace RawTcp
