// The manually added LAN and serial instruments of config.ini: the records, loading them into
// the instrument list, and loading again.
#include "SearchTestSupport.h"

#include "common/Ini.h"
#include "instrument/Instrument.h"
#include "instrument/ManualInstruments.h"
#include "instrument/ModelTable.h"
#include "platform/ProgramEvents.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

namespace {

class ManualInstrumentsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SearchSupport::Start();
        pRecorder = std::make_unique<SearchSupport::Recorder>(WindowNobody + 1);
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { SearchSupport::ReleaseAll(); }

    // A config.ini with the two groups.
    std::unique_ptr<uIni> Config(const std::vector<std::string>& lan, const std::vector<std::string>& serial) {
        const std::string sPath = dir.filePath("config.ini").toStdString();
        std::ofstream file(sPath, std::ios::binary | std::ios::trunc);
        file << "[General]\r\nWindowDontCheckPosition = 0\r\n";
        file << "\r\n[" << Instrument::ManualLanGroup << "]\r\n";
        for (std::size_t i = 0; i < lan.size(); ++i) file << i + 1 << " = " << lan[i] << "\r\n";
        file << "\r\n[" << Instrument::ManualSerialGroup << "]\r\n";
        for (std::size_t i = 0; i < serial.size(); ++i) file << i + 1 << " = " << serial[i] << "\r\n";
        file.close();
        return Ini::Open(sPath, IniFlagsProgram);
    }

    // Waits until every listed instrument's prepare task has given it its model.
    bool WaitPrepared() {
        return pRecorder->WaitFor([] {
            for (const auto& object : SearchSupport::Listed()) {
                if (SearchSupport::InfoOf(object).connection.eModel == 0) return false;
            }
            return true;
        });
    }

    std::unique_ptr<SearchSupport::Recorder> pRecorder;
    QTemporaryDir dir;
};

TEST_F(ManualInstrumentsTest, LanRecordsOfBothTypes) {
    uTaskPrepare p;
    ASSERT_TRUE(Instrument::ManualLanRecord("Rigol||DS1054Z||192.168.1.10||111||0||||||||LXI", p));
    EXPECT_EQ(p.head.eTaskType, InstrumentTaskPrepare);
    EXPECT_EQ(p.head.iEvent, 0);
    EXPECT_EQ(p.head.iWindow, WindowNobody);
    EXPECT_EQ(p.fUserModel, 1);
    EXPECT_EQ(p.sUserManufacturer, "Rigol");
    EXPECT_EQ(p.sUserModel, "DS1054Z");
    EXPECT_EQ(p.eProtocol, ProtocolLxi);
    EXPECT_EQ(p.eInterface, InterfaceVxi11);
    EXPECT_EQ(p.vxi11.sInstrumentIp, "192.168.1.10");
    EXPECT_EQ(p.vxi11.iPortmapperPort, 111);
    EXPECT_EQ(p.vxi11.iCorePort, 0);
    EXPECT_EQ(p.vxi11.sAdapterIp, "");
    EXPECT_EQ(p.rawTcp.sInstrumentIp, "");

    ASSERT_TRUE(Instrument::ManualLanRecord("Siglent||SDS2104X Plus||10.0.0.7||111||9009||5025||x||10.0.0.2||Raw", p));
    EXPECT_EQ(p.eProtocol, ProtocolRawTcp);
    EXPECT_EQ(p.eInterface, InterfaceRawTcp);
    EXPECT_EQ(p.rawTcp.sInstrumentIp, "10.0.0.7");
    EXPECT_EQ(p.rawTcp.iPort, 5025);
    EXPECT_EQ(p.rawTcp.sAdapterIp, "10.0.0.2");
    // Fields 4 and 5 belong to VXI-11 only.
    EXPECT_EQ(p.vxi11.iPortmapperPort, 0);
    EXPECT_EQ(p.vxi11.iCorePort, 0);
    EXPECT_EQ(p.vxi11.sInstrumentIp, "");

    // The type is compared exactly; a short record has no type at all.
    EXPECT_FALSE(Instrument::ManualLanRecord("Rigol||DS1054Z||192.168.1.10||111||0||||||||lxi", p));
    EXPECT_FALSE(Instrument::ManualLanRecord("Rigol", p));
    EXPECT_EQ(p.eProtocol, 0);
}

TEST_F(ManualInstrumentsTest, SerialRecordsAndTheirNumbers) {
    uTaskPrepare p;
    Instrument::ManualSerialRecord("HAMEG||HM2008||/dev/ttyUSB0||115.200||8||1.5||2||1", p);
    EXPECT_EQ(p.eProtocol, ProtocolCom);
    EXPECT_EQ(p.eInterface, InterfaceSerial);
    EXPECT_EQ(p.fUserModel, 1);
    EXPECT_EQ(p.sUserManufacturer, "HAMEG");
    EXPECT_EQ(p.serial.sPort, "/dev/ttyUSB0");
    EXPECT_EQ(p.serial.iBaudRate, 115200);
    EXPECT_EQ(p.serial.iDataBits, 8);
    EXPECT_FLOAT_EQ(p.serial.fStopBits, 1.5F);
    EXPECT_EQ(p.serial.iParity, 2);
    EXPECT_EQ(p.serial.iHandshake, 1);
    Instrument::ManualSerialRecord("A||B||COM3||1,000,000", p);
    EXPECT_EQ(p.serial.sPort, "COM3");
    EXPECT_EQ(p.serial.iBaudRate, 1000000);
    EXPECT_EQ(p.serial.iDataBits, 0);
    EXPECT_FLOAT_EQ(p.serial.fStopBits, 0.0F);

    EXPECT_EQ(Instrument::LeadingInteger("  42abc"), 42);
    EXPECT_EQ(Instrument::LeadingInteger("+7"), 7);
    EXPECT_EQ(Instrument::LeadingInteger("-5"), -5);
    EXPECT_EQ(Instrument::LeadingInteger("abc"), 0);
    EXPECT_EQ(Instrument::LeadingInteger(""), 0);
    EXPECT_EQ(Instrument::LeadingInteger("99999999999999999999999"), 0);
    EXPECT_FLOAT_EQ(Instrument::LeadingFloat("2"), 2.0F);
    EXPECT_FLOAT_EQ(Instrument::LeadingFloat("1.5x"), 1.5F);
    EXPECT_FLOAT_EQ(Instrument::LeadingFloat("x"), 0.0F);
}

// Records written in a locale with a decimal comma or with blanks, apostrophes or no-break
// spaces as grouping characters read back as the numbers the user chose.
TEST_F(ManualInstrumentsTest, SerialNumbersInTheUsersLocaleReadBackWhole) {
    struct uCase {
        const char* sSpeed;
        const char* sStopBits;
        std::int64_t iBaud;
        float fStopBits;
    };
    const uCase cases[] = {{"9 600", "1,5", 9600, 1.5F},      {"9\xC2\xA0" "600", "1.5", 9600, 1.5F},
                           {"115'200", "2", 115200, 2.0F},    {"921\xE2\x80\xAF" "600", "1", 921600, 1.0F},
                           {"19.200", "1,0", 19200, 1.0F},    {"57600", " 1,5", 57600, 1.5F}};
    for (const uCase& c : cases) {
        uTaskPrepare p;
        Instrument::ManualSerialRecord(std::string("M||X||/dev/ttyS0||") + c.sSpeed + "||8||" + c.sStopBits + "||0||0||", p);
        EXPECT_EQ(p.serial.iBaudRate, c.iBaud) << c.sSpeed;
        EXPECT_FLOAT_EQ(p.serial.fStopBits, c.fStopBits) << c.sStopBits;
    }
}

TEST_F(ManualInstrumentsTest, LoadingTwiceCreatesNothingNew) {
    const auto pIni = Config({"Rigol||DS1054Z||192.168.1.10||111||0||||||||LXI",
                              "Siglent||SDS2104X Plus||192.168.1.11||0||0||5025||||||Raw",
                              // Differs from the first only in the maker: the user's names count.
                              "Rigol Technologies||DS1054Z||192.168.1.10||111||0||||||||LXI"},
                             {"HAMEG||HM2008||/dev/ttyUSB0||115.200||8||1||0||0"});
    ASSERT_TRUE(pIni);
    Instrument::InstrumentLoadManuallyAdded(pIni.get());
    // At once, before any prepare task has run, a second load finds every one of them.
    Instrument::InstrumentLoadManuallyAdded(pIni.get());
    auto listed = SearchSupport::Listed();
    ASSERT_EQ(listed.size(), 4u);
    ASSERT_TRUE(WaitPrepared());
    Instrument::InstrumentLoadManuallyAdded(pIni.get());
    EXPECT_EQ(SearchSupport::Listed(), listed);

    const uTaskPrepare lxi = SearchSupport::InfoOf(listed[0]).connection;
    EXPECT_EQ(lxi.eProtocol, ProtocolLxi);
    EXPECT_EQ(lxi.vxi11.sInstrumentIp, "192.168.1.10");
    EXPECT_EQ(lxi.vxi11.iPortmapperPort, 111);
    EXPECT_EQ(lxi.sUserManufacturer, "Rigol");
    // The prepare task took the model from the user's names.
    EXPECT_EQ(lxi.eModel, ModelRigolDS1000Z);
    EXPECT_EQ(SearchSupport::InfoOf(listed[1]).connection.rawTcp.iPort, 5025);
    EXPECT_EQ(SearchSupport::InfoOf(listed[1]).connection.eModel, ModelSiglentSDS2000XPlusCh4);
    EXPECT_EQ(SearchSupport::InfoOf(listed[2]).connection.sUserManufacturer, "Rigol Technologies");
    const uTaskPrepare com = SearchSupport::InfoOf(listed[3]).connection;
    EXPECT_EQ(com.eProtocol, ProtocolCom);
    EXPECT_EQ(com.serial.iBaudRate, 115200);
    EXPECT_EQ(com.eModel, ModelHamegHM2008);
    EXPECT_TRUE(pRecorder->LogLines().empty());
}

TEST_F(ManualInstrumentsTest, ARecordOfNeitherTypeIsSkippedAndLogged) {
    const auto pIni = Config({"Rigol||DS1054Z||192.168.1.10||111||0||||||||lxi", "Rigol||DS1054Z||192.168.1.10"}, {});
    ASSERT_TRUE(pIni);
    Instrument::InstrumentLoadManuallyAdded(pIni.get());
    EXPECT_TRUE(SearchSupport::Listed().empty());
    ASSERT_TRUE(pRecorder->WaitFor([&] { return pRecorder->LogLines().size() >= 6; }));
    const std::vector<std::string> expected = {
        "Instrument::InstrumentLoadManuallyAdded: The connection type of the manually added LAN instrument is neither "
        "'LXI' nor 'Raw'.",
        "Instrument::InstrumentLoadManuallyAdded: Rigol DS1054Z",
        "Instrument::InstrumentLoadManuallyAdded: Connection type = 'lxi'",
    };
    EXPECT_EQ(std::vector<std::string>(pRecorder->LogLines().begin(), pRecorder->LogLines().begin() + 3), expected);
    EXPECT_EQ(pRecorder->LogLines()[5], "Instrument::InstrumentLoadManuallyAdded: Connection type = ''");
}

TEST_F(ManualInstrumentsTest, FindOrCreateFromManyThreadsListsOneObject) {
    uTaskPrepare candidate;
    ASSERT_TRUE(Instrument::ManualLanRecord("Rigol||DS1054Z||192.168.1.10||111||0||||||||LXI", candidate));
    std::vector<InstrumentObject> got(8);
    std::atomic<int> iCreated{0};
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < got.size(); ++i) {
            threads.emplace_back([&, i] {
                bool fCreated = false;
                std::string sError;
                got[i] = Instrument::FindOrCreate(candidate, fCreated, sError);
                if (fCreated) ++iCreated;
            });
        }
    }
    EXPECT_EQ(iCreated, 1);
    EXPECT_EQ(SearchSupport::Listed().size(), 1u);
    for (const auto& object : got) EXPECT_EQ(object, got.front());
    // The new object carries the candidate at once, before any prepare task.
    EXPECT_EQ(SearchSupport::InfoOf(got.front()).connection.vxi11.sInstrumentIp, "192.168.1.10");
    EXPECT_EQ(Instrument::FindExisting(candidate), got.front());
}

TEST_F(ManualInstrumentsTest, NoFileOrEmptyGroupsLoadNothing) {
    Instrument::InstrumentLoadManuallyAdded(nullptr);
    const auto pIni = Config({}, {});
    ASSERT_TRUE(pIni);
    Instrument::InstrumentLoadManuallyAdded(pIni.get());
    EXPECT_TRUE(SearchSupport::Listed().empty());
    // A file without the groups does not get them from loading.
    Ini::RemoveSection(pIni.get(), Instrument::ManualLanGroup);
    Ini::RemoveSection(pIni.get(), Instrument::ManualSerialGroup);
    Instrument::InstrumentLoadManuallyAdded(pIni.get());
    EXPECT_EQ(Ini::ExamineSections(pIni.get()), 1);
}

} // namespace
