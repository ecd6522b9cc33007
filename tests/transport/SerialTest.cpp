// The serial transport's own parts, on a pseudo-terminal: pieces of a write, the line settings
// as the kernel keeps them, exclusive use of a port, settings and time-outs.
#include "StreamTransportFixture.h"
#include "app/Main.h"
#include "transport/BlockHeader.h"
#include "transport/InterfaceDefaults.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

using namespace StreamTest;
using SerialTest = Fixture<SerialSide>;

constexpr tcflag_t SpeedOther = 0010000; // BOTHER

TEST_F(SerialTest, AWriteOf5000BytesLeavesIn2048And2048And904) {
    pInstance->iProgressStep = 1; // an event after every pass that did not finish
    std::string sHeader;
    const std::string sCommand = "SIM:DATA ";
    const std::size_t iPayload = 5000 - sCommand.size() - 6 - 1;
    ASSERT_EQ(Instrument::CreateBlockHeader(iPayload, sHeader), 6u);
    Bytes payload(iPayload);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(0x20 + i % 90);

    std::string sError;
    std::size_t iSent = 0;
    ASSERT_TRUE(Serial::PrepareData(*pInstance, sCommand + sHeader, payload.data(), payload.size(), sError));
    ASSERT_TRUE(Serial::SendData(*pInstance, iSent, Window, sError)) << sError;
    EXPECT_EQ(iSent, 5000u);
    EXPECT_EQ(EventData(TransferStatus::TransferSending), (std::vector<std::int64_t>{2048, 4096}));
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*OPC?", answer, sError)) << sError;
    EXPECT_EQ(mPeer.Device().LastData(), payload);
}

// Connects with the settings and returns the line settings the kernel kept for the port.
termios ConnectAndRead(Serial::uSerialInstance& instance, const uSerialSettings& settings, int iLineFd) {
    std::string sError;
    EXPECT_TRUE(Serial::SetInstrument(instance, settings, sError)) << sError;
    EXPECT_TRUE(Serial::Connect(instance, sError)) << sError;
    termios t{};
    EXPECT_EQ(tcgetattr(iLineFd, &t), 0);
    return t;
}

TEST_F(SerialTest, EveryConfigurationCodeReadsBackFromThePort) {
    const uSerialSettings base = SerialSide::Settings(mPeer, 2000);
    const int iLine = mPeer.LineFd();
    auto with = [&](auto change) {
        uSerialSettings s = base;
        change(s);
        return s;
    };

    // Raw, 8-bit clean, no echo; 115200 baud; one stop bit; no parity; no handshake.
    termios t = ConnectAndRead(*pInstance, base, iLine);
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_EQ(cfgetispeed(&t), B115200);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP), 0u);
    EXPECT_NE(t.c_iflag & INPCK, 0u); // parity checking is on in every case
    EXPECT_EQ(t.c_cflag & (CSTOPB | PARODD | CMSPAR | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & (CLOCAL | CREAD), 0u);

    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.iBaudRate = 9600; }), iLine);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.iBaudRate = 921600; }), iLine);
    EXPECT_EQ(cfgetospeed(&t), B921600);
    // A rate without a B constant is set exactly (BOTHER).
    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.iBaudRate = 128000; }), iLine);
    EXPECT_EQ(t.c_cflag & CBAUD, SpeedOther);

    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.fStopBits = 2.0F; }), iLine);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    // Linux has no 1.5 stop bits: the port opens with two.
    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.fStopBits = 1.5F; }), iLine);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);

    // A pseudo-terminal has no line: it keeps 8 data bits and no parity bit whatever it is
    // given, so the transport refuses 5 to 7 data bits and parity on it, as it refuses any
    // setting a port does not keep. The rest of the parity setting reads back all the same.
    const std::string sFailed = "Serial::Connect: The serial connection could not be created. Port: " + base.sPort;
    std::string sError;
    const struct {
        std::int64_t iParity;
        tcflag_t iFlags; // PARENB | PARODD | CMSPAR as given
    } parities[] = {{Serial::ParityOdd, PARENB | PARODD},
                    {Serial::ParityEven, PARENB},
                    {Serial::ParityMark, PARENB | PARODD | CMSPAR},
                    {Serial::ParitySpace, PARENB | CMSPAR}};
    for (const auto& p : parities) {
        const uSerialSettings s = with([&](uSerialSettings& s) { s.iParity = p.iParity; });
        termios made{};
        std::string sReason;
        ASSERT_TRUE(Serial::MakeLineSettings(s, made, sReason));
        EXPECT_EQ(made.c_cflag & (PARENB | PARODD | CMSPAR), p.iFlags);
        ASSERT_TRUE(Serial::SetInstrument(*pInstance, s, sError));
        EXPECT_FALSE(Serial::Connect(*pInstance, sError));
        EXPECT_EQ(sError, sFailed);
        ASSERT_EQ(tcgetattr(iLine, &t), 0);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), p.iFlags & ~static_cast<tcflag_t>(PARENB)) << p.iParity;
    }
    const struct {
        std::int64_t iBits;
        tcflag_t iSize;
    } sizes[] = {{5, CS5}, {6, CS6}, {7, CS7}};
    for (const auto& z : sizes) {
        const uSerialSettings s = with([&](uSerialSettings& s) { s.iDataBits = z.iBits; });
        termios made{};
        std::string sReason;
        ASSERT_TRUE(Serial::MakeLineSettings(s, made, sReason));
        EXPECT_EQ(made.c_cflag & CSIZE, z.iSize);
        ASSERT_TRUE(Serial::SetInstrument(*pInstance, s, sError));
        EXPECT_FALSE(Serial::Connect(*pInstance, sError));
        EXPECT_EQ(sError, sFailed);
        ASSERT_EQ(tcgetattr(iLine, &t), 0);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    }

    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.iHandshake = Serial::HandshakeRtsOn; }), iLine);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.iHandshake = Serial::HandshakeRtsCts; }), iLine);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    t = ConnectAndRead(*pInstance, with([](uSerialSettings& s) { s.iHandshake = Serial::HandshakeXonXoff; }), iLine);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);

    // The port still carries an exchange after all this.
    ASSERT_TRUE(ConnectAndRead(*pInstance, base, iLine).c_cflag != 0);
    DataBuffer answer;
    ASSERT_TRUE(Exchange("*IDN?", answer, sError)) << sError;
    EXPECT_EQ(answer.view(), mPeer.Device().Idn() + "\n");
}

TEST_F(SerialTest, SettingsAPortCannotTakeAndAPortInUseFailToConnect) {
    const std::string sFailed = "Serial::Connect: The serial connection could not be created. Port: ";
    const uSerialSettings base = SerialSide::Settings(mPeer, 2000);
    std::string sError;
    for (auto change : {+[](uSerialSettings& s) { s.iDataBits = 9; }, +[](uSerialSettings& s) { s.iDataBits = 4; },
                        +[](uSerialSettings& s) { s.iParity = 5; }, +[](uSerialSettings& s) { s.iHandshake = 4; },
                        +[](uSerialSettings& s) { s.iBaudRate = -9600; },
                        +[](uSerialSettings& s) { s.sPort = "/dev/null"; },
                        +[](uSerialSettings& s) { s.sPort = "ttyDoesNotExist"; }}) {
        uSerialSettings s = base;
        change(s);
        ASSERT_TRUE(Serial::SetInstrument(*pInstance, s, sError)) << sError;
        EXPECT_FALSE(Serial::Connect(*pInstance, sError));
        EXPECT_EQ(sError, sFailed + s.sPort);
        EXPECT_FALSE(pInstance->mPort.IsOpen());
        EXPECT_EQ(pInstance->mSettings.iPortHandle, 0);
    }

    // The port belongs to one instance at a time, root or not.
    ASSERT_TRUE(Serial::SetInstrument(*pInstance, base, sError));
    ASSERT_TRUE(Serial::Connect(*pInstance, sError)) << sError;
    EXPECT_EQ(pInstance->mSettings.iPortHandle, 1);
    auto other = Serial::NewInstance(sError);
    ASSERT_TRUE(other);
    // A name without /dev/ is a device of /dev.
    uSerialSettings shortName = base;
    shortName.sPort = base.sPort.substr(5);
    ASSERT_TRUE(Serial::SetInstrument(*other, shortName, sError));
    EXPECT_FALSE(Serial::Connect(*other, sError));
    EXPECT_EQ(sError, sFailed + shortName.sPort);
    Serial::Disconnect(*pInstance);
    EXPECT_TRUE(Serial::Connect(*other, sError)) << sError;
    EXPECT_TRUE(Serial::DeleteInstance(*other, sError));
}

// A second instance that fails to take a port in use leaves the holder's exclusive use alone:
// root passes TIOCEXCL at open, and the failed connect must not clear the flag on its way out.
TEST_F(SerialTest, AFailedConnectToAPortInUseKeepsTheHoldersExclusiveUse) {
    const uSerialSettings base = SerialSide::Settings(mPeer, 2000);
    // Opened ahead of the holder, so that it can look at the flag as any user.
    const int iWatch = open(base.sPort.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(iWatch, 0);
    const auto exclusive = [&] {
        int iExclusive = -1;
        EXPECT_EQ(ioctl(iWatch, TIOCGEXCL, &iExclusive), 0);
        return iExclusive;
    };
    std::string sError;
    ASSERT_TRUE(Serial::SetInstrument(*pInstance, base, sError));
    ASSERT_TRUE(Serial::Connect(*pInstance, sError)) << sError;
    EXPECT_EQ(exclusive(), 1);
    auto other = Serial::NewInstance(sError);
    ASSERT_TRUE(other);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(Serial::SetInstrument(*other, base, sError));
        EXPECT_FALSE(Serial::Connect(*other, sError));
        EXPECT_EQ(exclusive(), 1);
    }
    EXPECT_TRUE(Serial::DeleteInstance(*other, sError));
    EXPECT_EQ(exclusive(), 1);
    // The holder gives it up when it closes.
    Serial::Disconnect(*pInstance);
    EXPECT_EQ(exclusive(), 0);
    close(iWatch);
}

TEST_F(SerialTest, SettingsAreCheckedInOrderAndTheTimeOutComesFromThePreferences) {
    EXPECT_EQ(pInstance->iProgressStep, 20480);
    std::string sError;
    uSerialSettings s;
    EXPECT_FALSE(Serial::SetInstrument(*pInstance, s, sError));
    EXPECT_EQ(sError, "Serial::SetInstrument: Der Port für die serielle Schnittstelle ist leer.");
    EXPECT_FALSE(pInstance->mPort.IsOpen()); // the open port was closed first
    s.sPort = "ttyS0";
    EXPECT_FALSE(Serial::SetInstrument(*pInstance, s, sError));
    EXPECT_EQ(sError, "Serial::SetInstrument: Die Geschwindigkeit für die serielle Schnittstelle ist Null.");
    s.iBaudRate = 9600;
    EXPECT_FALSE(Serial::SetInstrument(*pInstance, s, sError));
    EXPECT_EQ(sError, "Serial::SetInstrument: Die Daten-Bits für die serielle Schnittstelle ist Null.");
    s.iDataBits = 8;
    EXPECT_FALSE(Serial::SetInstrument(*pInstance, s, sError));
    EXPECT_EQ(sError, "Serial::SetInstrument: Die Stopp-Bits für die serielle Schnittstelle ist Null.");
    s.fStopBits = 1.5F;
    EXPECT_TRUE(Serial::SetInstrument(*pInstance, s, sError));
    EXPECT_EQ(pInstance->mSettings.fStopBits, 1.5F); // kept as given

    // The serial preference, not the raw TCP one.
    char folder[] = "/tmp/orvanto-serial-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string sFolder = std::string(folder) + "/";
    std::ofstream(sFolder + "config.ini") << "[Instrument]\nTimeOutDeviceResponseSerial=3000\n";
    Main::SetResourceFolders(sFolder, sFolder);
    Main::OpenConfig();
    Main::ReadInstrumentTimeouts();
    Main::CloseConfig();
    Serial::SetTimeout(*pInstance, 0);
    EXPECT_EQ(pInstance->mSettings.iTimeout, 3000);
    EXPECT_EQ(InterfaceDefaults::Timeout(3), 2000);
    Serial::SetTimeout(*pInstance, 250);
    EXPECT_EQ(pInstance->mSettings.iTimeout, 250);
    std::remove((sFolder + "config.ini").c_str());
    std::remove(folder);
}

} // namespace
