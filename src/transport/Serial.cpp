#include "transport/Serial.h"

#include "transport/InstanceList.h"
#include "transport/InterfaceDefaults.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace Serial {
namespace {

// Never destroyed: a worker thread that outlived its stop wait may still close its connection
// while the process exits.
InstanceList::uList<uSerialInstance>& Instances() {
    static auto* pList = new InstanceList::uList<uSerialInstance>;
    return *pList;
}

const StreamTransfer::uNames Names{"Serial", "PortWrite", "PortRead", "PortReadEmpty", "Die serielle Verbindung"};

std::string PortPath(const uSerialSettings& s) {
    return !s.sPort.empty() && s.sPort[0] == '/' ? s.sPort : "/dev/" + s.sPort;
}

// The kernel's termios2, for a speed that has no B constant (BOTHER). glibc's <termios.h>
// cannot be mixed with <asm/termbits.h>, so the record is spelt out here.
struct uTermios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
static_assert(sizeof(uTermios2) == 44, "the kernel's termios2 record");
constexpr unsigned long GetTermios2 = _IOR('T', 0x2A, uTermios2);
constexpr unsigned long SetTermios2 = _IOW('T', 0x2B, uTermios2);
constexpr tcflag_t SpeedOther = 0010000; // BOTHER
constexpr tcflag_t SpeedMask = 0010017;  // CBAUD

struct uSpeed {
    std::int64_t iBaud;
    speed_t iCode;
};
constexpr uSpeed Speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// The B constant of a baud rate, or B0 when it has none.
speed_t SpeedCode(std::int64_t iBaud) {
    for (const uSpeed& s : Speeds) {
        if (s.iBaud == iBaud) return s.iCode;
    }
    return B0;
}

// Any speed, exactly, for drivers that take BOTHER.
bool SetOtherSpeed(int iFd, std::int64_t iBaud) {
    uTermios2 t{};
    if (ioctl(iFd, GetTermios2, &t) != 0) return false;
    t.c_cflag = (t.c_cflag & ~SpeedMask) | SpeedOther;
    t.c_cflag &= ~(SpeedMask << 16); // input speed follows the output speed
    t.c_ispeed = t.c_ospeed = static_cast<speed_t>(iBaud);
    return ioctl(iFd, SetTermios2, &t) == 0;
}

// True when the port kept the line settings it was given. A driver that cannot do something
// (5 or 6 data bits, mark and space parity, hardware handshake on some adapters; anything but 8
// data bits without parity on a pseudo-terminal, which has no line) leaves its own value, and
// the port is not used with settings other than the instrument's.
bool KeptLine(const termios& wanted, const termios& kept) {
    const tcflag_t iLine = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;
    const tcflag_t iInput = IXON | IXOFF | INPCK;
    if ((wanted.c_cflag & iLine) != (kept.c_cflag & iLine) || (wanted.c_iflag & iInput) != (kept.c_iflag & iInput)) {
        return false;
    }
    // A speed set with BOTHER is what the driver could make of it.
    return (kept.c_cflag & SpeedMask) == SpeedOther || cfgetospeed(&wanted) == cfgetospeed(&kept);
}

// RTS as the handshake wants it. Pseudo-terminals and some adapters have no modem lines; the
// line is then left as it is.
void SetRts(int iFd, std::int64_t iHandshake) {
    int bits = TIOCM_RTS;
    if (iHandshake == HandshakeNone) {
        ioctl(iFd, TIOCMBIC, &bits);
    } else if (iHandshake == HandshakeRtsOn) {
        ioctl(iFd, TIOCMBIS, &bits);
    }
}

// The port as the transfer loops see it: a read takes what waits, also bytes the driver has
// received and not yet handed on (FIONREAD does not count those: a line end that came just
// before the next message would be taken as that message's answer); an empty port reads EAGAIN
// (O_NONBLOCK, VMIN 1), and a read of 0 bytes or EIO is a lost device (an unplugged adapter, a
// closed pseudo-terminal).
class uPortChannel final : public StreamTransfer::uChannel {
  public:
    explicit uPortChannel(const uPort& port) : mPort(port) {}

    bool IsOpen() const override { return mPort.IsOpen(); }

    StreamTransfer::eWait WaitInput(StreamTransfer::Clock::time_point deadline) override {
        return Wait(POLLIN, deadline);
    }

    std::int64_t Read(std::uint8_t* pData, std::size_t iMax, std::int64_t& iCode) override {
        for (;;) {
            const ssize_t n = read(mPort.Fd(), pData, iMax);
            if (n > 0) return n;
            if (n == 0) {
                iCode = 0; // end of file: the device went away
                return StreamTransfer::ReadFailed;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return StreamTransfer::ReadNothing;
            iCode = errno;
            return StreamTransfer::ReadFailed;
        }
    }

    StreamTransfer::eWait WaitOutput(StreamTransfer::Clock::time_point deadline) override {
        return Wait(POLLOUT, deadline);
    }

    std::int64_t Write(const std::uint8_t* pData, std::size_t iSize, std::int64_t& iCode) override {
        for (;;) {
            const ssize_t n = write(mPort.Fd(), pData, iSize);
            if (n >= 0) return n;
            if (errno == EINTR) continue;
            // Output held by flow control or a full buffer: the same bytes are offered again.
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            iCode = errno;
            return -1;
        }
    }

  private:
    StreamTransfer::eWait Wait(short iEvents, StreamTransfer::Clock::time_point deadline) {
        if (!mPort.IsOpen()) return StreamTransfer::eWait::Closed;
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - StreamTransfer::Clock::now()).count();
            pollfd p{mPort.Fd(), iEvents, 0};
            const int n = poll(&p, 1, left <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(left, 0x7FFFFFFF)));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || (p.revents & POLLNVAL)) return StreamTransfer::eWait::Closed;
            // A hang-up or an error counts as ready: the next read or write reports it.
            return n == 0 ? StreamTransfer::eWait::Timeout : StreamTransfer::eWait::Ready;
        }
    }

    const uPort& mPort;
};

StreamTransfer::uTransfer Transfer(uSerialInstance& instance, uPortChannel& channel) {
    return {instance, channel, Names, &instance, instance.mSettings.iTimeout, InterfaceDefaults::Timeout(InterfaceSerial)};
}

} // namespace

void uPort::Adopt(int iNewFd) {
    Close();
    iFd = iNewFd;
}

void uPort::Close() {
    if (iFd < 0) return;
    // The flag belongs to the device, not to this descriptor: it is cleared only when this port
    // set it, so that a failed open does not take it from the port's holder.
    if (fExclusive) ioctl(iFd, TIOCNXCL);
    fExclusive = false;
    close(iFd); // also releases the lock
    iFd = -1;
}

bool uPort::TakeExclusive() {
    // The lock first: it refuses a second open by this program or another that locks, root
    // included. Then TIOCEXCL refuses further opens by anyone else (root passes it).
    if (iFd < 0 || flock(iFd, LOCK_EX | LOCK_NB) != 0 || ioctl(iFd, TIOCEXCL) != 0) return false;
    fExclusive = true;
    return true;
}

std::shared_ptr<uSerialInstance> NewInstance(std::string& sError) {
    std::shared_ptr<uSerialInstance> instance = Instances().Add();
    if (!instance) {
        sError = "Serial::Constructor: Es konnte keine neue Instanz erstellt werden. Fehler beim Hinzufügen zu der Liste.";
        return nullptr;
    }
    instance->iProgressStep = InterfaceDefaults::ProgressStep(InterfaceSerial);
    instance->mSettings.iTimeout = InterfaceDefaults::Timeout(InterfaceSerial);
    return instance;
}

bool Destructor(uSerialInstance& instance, std::string& sError) {
    const auto keep = Instances().Remove(instance); // alive until its buffers are freed
    if (!keep) {
        sError = InstanceList::MissingText("Serial", &instance);
        return false;
    }
    StreamTransfer::FreeMemory(instance);
    return true;
}

bool DeleteInstance(uSerialInstance& instance, std::string& sError) {
    Disconnect(instance);
    return Destructor(instance, sError);
}

std::size_t LiveInstances() { return Instances().Live(); }
std::size_t CreatedInstances() { return Instances().Created(); }

bool SetInstrument(uSerialInstance& instance, const uSerialSettings& settings, std::string& sError) {
    Disconnect(instance);
    instance.mSettings = settings;
    instance.mSettings.iPortHandle = 0;
    if (settings.sPort.empty()) {
        sError = "Serial::SetInstrument: Der Port für die serielle Schnittstelle ist leer.";
        return false;
    }
    if (settings.iBaudRate == 0) {
        sError = "Serial::SetInstrument: Die Geschwindigkeit für die serielle Schnittstelle ist Null.";
        return false;
    }
    if (settings.iDataBits == 0) {
        sError = "Serial::SetInstrument: Die Daten-Bits für die serielle Schnittstelle ist Null.";
        return false;
    }
    if (settings.fStopBits == 0.0F) {
        sError = "Serial::SetInstrument: Die Stopp-Bits für die serielle Schnittstelle ist Null.";
        return false;
    }
    return true;
}

bool MakeLineSettings(const uSerialSettings& settings, termios& t, std::string& sReason) {
    cfmakeraw(&t); // no echo, no line editing, no character translation in either direction
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // With the port opened O_NONBLOCK, a read of an empty port then fails with EAGAIN, and a
    // read of 0 bytes is end of file.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;

    switch (settings.iDataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default:
        sReason = "A Linux port takes 5 to 8 data bits.";
        return false;
    }

    // Linux has no setting for one and a half stop bits: every value but 1 and 2 (1.5 above
    // all) sets two stop bits. A 16550-type UART sends that as 1.5 stop bits with 5 data bits,
    // and as 2 otherwise, which a receiver that expects 1.5 takes as well. Nothing is refused.
    if (settings.fStopBits != 1.0F) t.c_cflag |= CSTOPB;

    // Parity is generated and checked in every case (INPCK); mark and space parity are a
    // fixed parity bit (CMSPAR), 1 for mark (with PARODD), 0 for space.
    t.c_iflag |= INPCK;
    switch (settings.iParity) {
    case ParityNone: break;
    case ParityOdd: t.c_cflag |= PARENB | PARODD; break;
    case ParityEven: t.c_cflag |= PARENB; break;
    case ParityMark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case ParitySpace: t.c_cflag |= PARENB | CMSPAR; break;
    default:
        sReason = "Unknown parity code " + std::to_string(settings.iParity) + ".";
        return false;
    }

    switch (settings.iHandshake) {
    case HandshakeNone:
    case HandshakeRtsOn: break; // RTS is set by Connect
    case HandshakeRtsCts: t.c_cflag |= CRTSCTS; break;
    case HandshakeXonXoff:
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
        break;
    default:
        sReason = "Unknown handshake code " + std::to_string(settings.iHandshake) + ".";
        return false;
    }

    if (settings.iBaudRate <= 0 || settings.iBaudRate > 0x7FFFFFFF) {
        sReason = "The baud rate " + std::to_string(settings.iBaudRate) + " is not possible.";
        return false;
    }
    const speed_t code = SpeedCode(settings.iBaudRate);
    if (code != B0) {
        cfsetispeed(&t, code);
        cfsetospeed(&t, code);
    }
    // The program's 2048-byte input and output buffers have no counterpart here: the kernel
    // keeps buffers of its own size for every port.
    return true;
}

bool Connect(uSerialInstance& instance, std::string& sError) {
    BetweenMessages::NewConnection(instance);
    uSerialSettings& s = instance.mSettings;
    const std::string sPath = PortPath(s);
    // iCode: the system's error number of the failed call, 0 for settings the port did not keep.
    auto fail = [&](int iCode) {
        instance.mPort.Close();
        s.iPortHandle = 0;
        sError = "Serial::Connect: The serial connection could not be created. Port: " + s.sPort;
        instance.connectFailure = {iCode == 0 ? Failure::eKind::Other : Failure::OfErrno(iCode, 0), 0, sError,
                                   Failure::eStep::Connect};
        return false;
    };
    instance.connectFailure = {};
    instance.mPort.Adopt(open(sPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    const int iFd = instance.mPort.Fd();
    if (iFd < 0) return fail(errno);
    // The port belongs to this program alone.
    if (!instance.mPort.TakeExclusive()) return fail(errno);
    termios t{};
    std::string sReason;
    if (tcgetattr(iFd, &t) != 0) return fail(errno);
    if (!MakeLineSettings(s, t, sReason)) return fail(0);
    // glibc reports EINVAL when the port did not keep the data bits or the parity bit; the
    // settings are compared below in any case.
    if (tcsetattr(iFd, TCSANOW, &t) != 0 && errno != EINVAL) return fail(errno);
    if (SpeedCode(s.iBaudRate) == B0 && !SetOtherSpeed(iFd, s.iBaudRate)) return fail(errno);
    termios kept{};
    if (tcgetattr(iFd, &kept) != 0) return fail(errno);
    if (!KeptLine(t, kept)) return fail(0);
    SetRts(iFd, s.iHandshake);
    s.iPortHandle = 1;
    // What the port's last open was owed is not: an answer of it that has begun on the line is
    // read to its end by the first write.
    instance.mOwed.fAnswer = instance.mOwed.fUnknown = true;
    return true;
}

void Disconnect(uSerialInstance& instance) {
    instance.mPort.Close();
    instance.mSettings.iPortHandle = 0;
}

void SetTimeout(uSerialInstance& instance, std::int64_t iTimeoutMs) {
    instance.mSettings.iTimeout = iTimeoutMs != 0 ? iTimeoutMs : InterfaceDefaults::Timeout(InterfaceSerial);
}

void SetEndOfMessage(uSerialInstance& instance, const std::string& sEndOfMessage) {
    instance.sEndOfMessage = sEndOfMessage;
}

bool PrepareData(uSerialInstance& instance, const std::string& sCommand, const std::uint8_t* pPayload,
                 std::size_t iPayloadSize, std::string& sError) {
    return StreamTransfer::Prepare(instance, Names.pModule, sCommand, pPayload, iPayloadSize, sError);
}

bool SendData(uSerialInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError) {
    return PortWrite(instance, iBytesSent, iWindow, sError);
}

bool PortWrite(uSerialInstance& instance, std::size_t& iBytesSent, int iWindow, std::string& sError) {
    uPortChannel channel(instance.mPort);
    return StreamTransfer::Write(Transfer(instance, channel), PieceSize, iBytesSent, iWindow, sError);
}

bool RequestData(uSerialInstance& instance, DataBuffer& answer, int iWindow, std::string& sError, std::size_t iKeep) {
    // The body of PortRead, with the answer read into the caller's buffer.
    uPortChannel channel(instance.mPort);
    return StreamTransfer::ReadAnswer(Transfer(instance, channel), answer, iWindow, sError, iKeep);
}

bool PortRead(uSerialInstance& instance, int iWindow, std::string& sError) {
    uPortChannel channel(instance.mPort);
    return StreamTransfer::Read(Transfer(instance, channel), iWindow, sError);
}

bool PortReadEmpty(uSerialInstance& instance, std::string& sError) {
    uPortChannel channel(instance.mPort);
    return StreamTransfer::Drain(Transfer(instance, channel), sError);
}

} // namespace Serial
