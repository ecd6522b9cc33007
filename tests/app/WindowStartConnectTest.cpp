// What the main window says while its connect runs and when nothing answers on the connection:
// "Connecting to ..." for as long as a connect to a port that takes no connection waits, where
// the connect was asked for; and a serial line with nothing on it, which opens but where no
// instrument answers the identification; and an identification that shows its text, or that does
// not end as the chosen model's do, that is an empty line, or that is no text (also a search's, of an
// instrument it found).
#include "app/FrameTestSupport.h"
#include "common/EventData.h"
#include "common/Failure.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "platform/WindowRegistry.h"
#include "sim/Loopback.h"
#include "sim/RawTcpServer.h"
#include "sim/SerialDevice.h"

#include <QStatusBar>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <vector>

namespace {

using namespace FrameTestSupport;

class WindowStartConnectTest : public InstrumentFrameTest {
  protected:
    void TearDown() override {
        InstrumentFrameTest::TearDown();
        for (int fd : mFds) close(fd);
    }

    // An instrument described by hand (its connect reads *IDN?).
    static InstrumentObject Described(uTaskPrepare prepare) {
        std::string sError;
        InstrumentObject object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        if (!object) return nullptr;
        prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
        prepare.fUserModel = 1;
        EXPECT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
        // Prepared before it is chosen, as the instrument list's objects are.
        uInfo info;
        EXPECT_TRUE(WaitFor([&] {
            return object->pInterface->GetInfo(*object, info, sError) && info.connection.eInterface == prepare.eInterface;
        }));
        return object;
    }
    // An instrument that a search found: its description without names, identified by the
    // search's chain (connect, *IDN?, disconnect), as the instrument list's objects are. The
    // chain's time-out is short: one that a loaded machine left without the answer (which keeps
    // nothing) runs again, as the list's next search would, until an answer is kept.
    static InstrumentObject Found(uTaskPrepare prepare) {
        std::string sError;
        InstrumentObject object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        if (!object) return nullptr;
        const int iList = WindowRegistry::NewWindowNumber();
        int iEnded = 0;
        EventHub::Bind(EventTaskFinished, iList, [&iEnded](const EventHub::uEvent& event) {
            uEventData record; // a failed *IDN?'s record, which the list takes and drops
            if (event.iType == InstrumentTaskIdentified) ++iEnded;
            else if (const std::int64_t* pKey = event.pData.Get<std::int64_t>())
                Utility::EventDataTake(std::to_string(*pKey), record);
        });
        prepare.head = {InstrumentTaskPrepare, EventSearchFinished, iList};
        uInfo info;
        for (int i = 1; i <= 10 && info.idn.sIdn.empty() && info.idn.failure.eType == Failure::eKind::None; ++i) {
            EXPECT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
            EXPECT_TRUE(WaitFor([&] { return iEnded == i; }));
            EXPECT_TRUE(object->pInterface->GetInfo(*object, info, sError)) << sError;
        }
        EventHub::Unbind(EventTaskFinished, iList);
        return object;
    }
    // The event the instrument list posts when the user chooses the instrument; delivered at
    // once (the connect's own outcome can only come after its wait).
    static void RequestConnect(int iMain, int iList, const InstrumentObject& object) {
        EventHub::PostEvent(EventConnectInstrument, iMain, reinterpret_cast<std::intptr_t>(object.get()), iList,
                            EventHub::Payload::Of<InstrumentObject>(object));
        EventHub::Pump();
    }
    static std::string Status(int iMain) { return Utility::StatusLabel(Record(iMain)->pStatusBar)->text().toStdString(); }

    // A port on 127.0.0.1 that listens but takes no further connection: its queue of
    // connections not yet accepted (backlog 1: two of them) is full, so the system drops every
    // new connect's first packet, and a connect waits for its whole time-out.
    int FullPort() {
        int iPort = 0;
        std::string sError;
        const int iListen = Sim::BindTcp("127.0.0.1", 0, 1, iPort, sError);
        EXPECT_GE(iListen, 0) << sError;
        mFds.push_back(iListen);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(iPort));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < 2; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            mFds.push_back(fd);
            EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0) << errno;
        }
        return iPort;
    }

    std::vector<int> mFds;
};

// While the connect waits, the window that asked for it (the instrument list; the main window
// itself when none did) says where it connects; the outcome replaces the text.
TEST_F(WindowStartConnectTest, AWaitingConnectSaysWhereItConnectsUntilItsOutcome) {
    const int iPort = FullPort();
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
    prepare.rawTcp = {"127.0.0.1", "127.0.0.1", iPort};
    const std::string sConnecting = "Connecting to 127.0.0.1:" + std::to_string(iPort) + " ...";
    const std::string sFailed = "The instrument could not be connected: No answer from 127.0.0.1 within 2000 ms. Check "
                                "the IP address, the cable and that the instrument is switched on.";
    const int iMain = OpenMain();
    // Asked by the main window itself.
    RequestConnect(iMain, 0, Described(prepare));
    EXPECT_EQ(Status(iMain), sConnecting);
    ASSERT_TRUE(WaitFor([&] { return Status(iMain) != sConnecting; }, 20000)) << WindowLog::Text();
    EXPECT_EQ(Status(iMain), sFailed);
    EXPECT_FALSE(Record(iMain)->info.fConnected);
    // Asked by an instrument list: its status line has both texts, the main window's none.
    Choose(iMain, WindowStart::MenuSelect);
    const auto lists = ChildrenOf(iMain, WindowKindSelectInstrument);
    ASSERT_EQ(lists.size(), 1u);
    const int iList = lists[0].iWindow;
    std::vector<std::string> shown;
    EventHub::Bind(EventStatusText, iList, [&shown](const EventHub::uEvent& e) {
        if (const std::string* p = e.pData.Get<std::string>()) shown.push_back(*p);
    });
    Utility::StatusLabel(Record(iMain)->pStatusBar)->setText("");
    RequestConnect(iMain, iList, Described(prepare));
    EXPECT_EQ(shown, std::vector<std::string>{sConnecting});
    ASSERT_TRUE(WaitFor([&] { return shown.size() == 2; }, 20000)) << WindowLog::Text();
    EXPECT_EQ(shown[1], sFailed);
    EXPECT_EQ(Status(iMain), "");
}

// A serial line with nothing on it: the port opens, the identification gets no answer, and the
// status line says that no instrument answered instead of an empty maker, serial number and
// firmware; the maker and model typed into the form are no identification, and the port names it.
// The connection stays open, as any connect's does.
TEST_F(WindowStartConnectTest, ASerialLineWithNothingOnItSaysThatNoInstrumentAnswered) {
    // A pseudo-terminal whose other side nobody reads or answers.
    const int iMaster = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(iMaster, 0) << errno;
    mFds.push_back(iMaster);
    ASSERT_EQ(grantpt(iMaster), 0);
    ASSERT_EQ(unlockpt(iMaster), 0);
    const std::string sPort = ptsname(iMaster);
    uTaskPrepare prepare;
    prepare.eProtocol = prepare.eInterface = InterfaceSerial;
    prepare.serial = {sPort, 115200, 8, 1.0F, 0, 0};
    prepare.sUserManufacturer = "Keysight";
    prepare.sUserModel = "34465A";
    const int iMain = OpenMain();
    const InstrumentObject object = Described(prepare);
    RequestConnect(iMain, 0, object);
    EXPECT_EQ(Status(iMain), "Connecting to " + sPort + " ...");
    ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }, 20000)) << WindowLog::Text();
    const std::string sText = "No instrument answered the identification (*IDN?) at " + sPort +
                              ": check the cable, the connection's settings and that the instrument is switched on.";
    EXPECT_EQ(Status(iMain), sText);
    // No model: the title and the log name the port (the children take the same name).
    EXPECT_EQ(Record(iMain)->pFrame->windowTitle().toStdString(), std::string(WindowStart::Title) + " - " + sPort);
    EXPECT_NE(WindowLog::Text().find("Connect to the instrument: " + sPort + "\n"), std::string::npos);
    EXPECT_NE(WindowLog::Text().find("] " + sPort + ": connected\n"), std::string::npos) << WindowLog::Text();
    EXPECT_NE(WindowLog::Text().find("Error: " + sText), std::string::npos) << WindowLog::Text();
    EXPECT_TRUE(object->pInterface->IsConnected(*object));
    // The query went out on the line: nothing but the silence kept the instrument from answering.
    pollfd p{iMaster, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 0), 1);
    char sQuery[64] = {};
    EXPECT_GT(read(iMaster, sQuery, sizeof sQuery - 1), 0);
    EXPECT_NE(std::string(sQuery).find("*IDN?"), std::string::npos) << sQuery;
}

// An identification shows its text as it came (UTF-8 or Windows-1252), without the NULs that pad it
// (a NUL before the line feed, several, one ahead), or says why it is none: an answer
// that did not end as the chosen model's do (a HAMEG HM2008's end with line feed and carriage return;
// text with µ, Ω, É ended by a carriage return alone; cut inside a character), an empty line, or
// noise from a serial line at another speed, with a line feed or without, where the line's settings
// come first, or an answer that names no maker and no model; also noise and an empty line that a
// search's identification got from an instrument it found, whose connect asks nothing. Why goes
// to the log as an error line as well, and the search's line says how its read refused the answer.
TEST_F(WindowStartConnectTest, AnIdentificationShowsItsTextOrSaysWhyItIsNone) {
    struct uRow {
        bool fSerial;
        const char* pMaker;
        const char* pModel;
        std::string sIdn, sEnd, sStatus; // "@": the identification at the place; "{at}": the place; "%": the port
        Sim::ScpiDevice::uNuls nuls{};
        std::string sRefused{}; // found by a search, not described by hand: how its read refused the answer
    };
    const std::string sNoise("\x80\xF8\x00\xFE\x78\x80\xE0\x00\xF8\x86\x1E\xFC", 12);
    const std::string sLine = "(baud rate 9600, 8 data bits, no parity, end text line feed) and that the model chosen, "
                              "Rigol DS1104Z, is the instrument's.";
    const std::string sNotEnded = " that did not end with line feed, as the answers of the chosen model Rigol DS1104Z "
                                  "end: check that the model chosen is the instrument's.";
    const std::string sMeter = "ACME,X1 METER,SN0001,1.0";
    const std::string sMeterShown = "ACME X1 METER - Serial number: SN0001 - Firmware: 1.0";
    const std::string sEmpty = "The instrument answered the identification (*IDN?) at {at} with an empty line: check "
                               "that the model chosen, Rigol DS1104Z, is the instrument's, and the instrument's "
                               "settings for remote control.";
    std::string sNoNames = sEmpty;
    sNoNames.replace(sNoNames.find("an empty line"), 13, "an identification that names no maker or model");
    const uRow aRows[] = {
        {false, "HAMEG", "HM2008", "HAMEG,HMO2024,012345678,05.886", "\n",
         "@ got an answer of 31 bytes that did not end with line feed and carriage return, as the answers of "
         "the chosen model HAMEG HM2008 end: check that the model chosen is the instrument's."},
        {true, "Rigol", "DS1104Z", sNoise, "",
         "@ got 12 bytes that are no text: check the serial line's settings " + sLine},
        {true, "Rigol", "DS1104Z", sNoise.substr(0, 5) + "\n" + sNoise.substr(5), "",
         "@ got 6 bytes that are no text: check the serial line's settings " + sLine},
        {true, "Rigol", "DS1104Z", "ACME,X1 \xB5V METER,SN0001,1.0", "\r", "@ got an answer of 28 bytes" + sNotEnded},
        {true, "Rigol", "DS1104Z", "ACME,X1 \xCE\xA9 METER \xC3\x89,SN0001,1.0", "\r",
         "@ got an answer of 31 bytes" + sNotEnded},
        {true, "Rigol", "DS1104Z", "ACME,X1 \xE2\x82\xAC METER \xE2\x82", "",
         "@ got an answer of 20 bytes" + sNotEnded},
        {true, "Rigol", "DS1104Z", "ACME,X1 \xB5V METER,SN0001,1.0", "\r\n",
         "ACME X1 \xC2\xB5V METER - Serial number: SN0001 - Firmware: 1.0"},
        {true, "Rigol", "DS1104Z", "ACME,X1 \xCE\xA9 METER \xC3\x89,SN0001,1.0", "\n",
         "ACME X1 \xCE\xA9 METER \xC3\x89 - Serial number: SN0001 - Firmware: 1.0"},
        {true, "Rigol", "DS1104Z", sMeter, "\n", sMeterShown, {0, 2, 0}},
        {true, "Rigol", "DS1104Z", sMeter, "\n", sMeterShown, {1, 0, 0}},
        {true, "Rigol", "DS1104Z", "ACME,X1\x99 METER,SN0001,1.0", "\n",
         "ACME X1\xE2\x84\xA2 METER - Serial number: SN0001 - Firmware: 1.0"},
        {true, "Rigol", "DS1104Z", "", "\n", sEmpty},
        {false, "Rigol", "DS1104Z", "", "\n", sEmpty},
        {false, "Rigol", "DS1104Z", ",,,", "\n", sNoNames},
        {true, "Rigol", "DS1104Z", "\x80\xF8\xFEx", "\n",
         "@ got 5 bytes that are no text: check the serial line's settings " + sLine},
        {true, "Rigol", "DS1104Z", "\x7F\xF8x", "\n",
         "@ got 4 bytes that are no text: check the serial line's settings " + sLine},
        {false, "", "", "\x80\xF8\xFEx", "\n",
         "@ got 5 bytes that are no text: check the connection's settings (port %, end text line feed).", {},
         "The answer of 5 bytes is no text."},
        {false, "", "", "", "\n",
         "The instrument answered the identification (*IDN?) at {at} with an empty line: check the "
         "instrument's settings for remote control.",
         {}, "The IDN has been read by the instrument, but the data is empty."},
    };
    for (const uRow& row : aRows) {
        SCOPED_TRACE(row.sStatus + " NULs " + std::to_string(row.nuls.iLead) + std::to_string(row.nuls.iBeforeEnd) +
                     std::to_string(row.nuls.iAfterEnd));
        WindowLog::Clear(0);
        Sim::RawTcpServer server;
        Sim::SerialDevice line;
        std::string sError;
        ASSERT_TRUE(row.fSerial ? line.Start(sError) : server.Start(sError)) << sError;
        Sim::ScpiDevice& device = row.fSerial ? line.Device() : server.Device();
        device.SetIdn(row.sIdn);
        device.SetAnswerEnd(row.sEnd);
        device.SetNuls(row.nuls);
        uTaskPrepare prepare;
        prepare.eProtocol = prepare.eInterface = row.fSerial ? InterfaceSerial : InterfaceRawTcp;
        prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
        prepare.serial = {line.PortName(), 9600, 8, 1.0F, 0, 0};
        prepare.sUserManufacturer = row.pMaker;
        prepare.sUserModel = row.pModel;
        const int iMain = OpenMain();
        RequestConnect(iMain, 0, row.sRefused.empty() ? Described(prepare) : Found(prepare));
        ASSERT_TRUE(WaitFor([&] { return Record(iMain)->info.fConnected; }, 20000)) << WindowLog::Text();
        const std::string sPlace =
            row.fSerial ? line.PortName() : "127.0.0.1:" + std::to_string(server.Port());
        std::string sStatus = row.sStatus;
        if (sStatus.starts_with("@")) sStatus.replace(0, 1, "The identification (*IDN?) at " + sPlace);
        if (const std::size_t iAt = sStatus.find("{at}"); iAt != std::string::npos)
            sStatus.replace(iAt, 4, sPlace);
        if (const std::size_t iPort = sStatus.find('%'); iPort != std::string::npos)
            sStatus.replace(iPort, 1, std::to_string(server.Port()));
        EXPECT_EQ(Status(iMain), sStatus);
        if (sStatus == row.sStatus) continue; // the identification shown, which names no place
        EXPECT_NE(WindowLog::Text().find("] Error: " + sStatus + "\n"), std::string::npos) << WindowLog::Text();
        if (!row.sRefused.empty()) {
            EXPECT_NE(WindowLog::Text().find("] Error: InstrumentSearch: The instrument found at " + sPlace +
                                             " could not be identified. " + sStatus +
                                             " - InstrumentDefault::GetIdnDefault: " + row.sRefused + "\n"),
                      std::string::npos)
                << WindowLog::Text();
        }
    }
}

} // namespace
