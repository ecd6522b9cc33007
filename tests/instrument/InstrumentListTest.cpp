#include "InstrumentTestSupport.h"

#include "common/ImagePluginGdiPlus.h"
#include "icons/VectorIcon.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/ModelTable.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

#include <vector>

namespace {

class InstrumentListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestSupport::StartEventHub();
        ImagePluginGdiPlus::RegisterEncoder(); // the program registers the codec at start-up
        std::string sError;
        ASSERT_TRUE(Instrument::InitModuleInstrument(sError));
        Instrument::ReleaseAll(true, 0, sError);
    }
    void TearDown() override {
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
    }
    // A listed object with the description its prepare task would have stored.
    InstrumentObject Listed(const uTaskPrepare& connection) {
        std::string sError;
        InstrumentObject object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        InstrumentDefault::SetConnection(*InstrumentDefault::FindInstance(*object), connection);
        return object;
    }
    static uTaskPrepare Description(std::int64_t eInterface) {
        uTaskPrepare connection;
        connection.eProtocol = connection.eInterface = eInterface;
        return connection;
    }
};

TEST_F(InstrumentListTest, ReleaseUnlistsAndLeavesHeldObjectsValid) {
    std::string sError;
    auto a = Instrument::Create(sError);
    auto b = Instrument::Create(sError);
    std::vector<InstrumentObject> list{nullptr};
    ASSERT_TRUE(Instrument::CopyInstrumentList(list));
    EXPECT_EQ(list, (std::vector<InstrumentObject>{a, b}));

    EXPECT_TRUE(Instrument::Release(a, sError));
    EXPECT_FALSE(Instrument::Release(a, sError));
    EXPECT_EQ(sError, "Instrument::Release: The instrument is not present in the 'mInstrumentList()' list.");
    EXPECT_FALSE(Instrument::Release(nullptr, sError));
    EXPECT_EQ(sError, "Instrument::Release: The pointer to the passed object is zero.");
    // The copy still holds the released object; it is intact, only its instance is gone.
    EXPECT_EQ(list[0]->iInstanceNumber, a->iInstanceNumber);
    EXPECT_FALSE(list[0]->pInterface->IsConnected(*list[0]));
    ASSERT_TRUE(Instrument::CopyInstrumentList(list));
    EXPECT_EQ(list, (std::vector<InstrumentObject>{b}));
}

TEST_F(InstrumentListTest, ReleaseAllKeepsConnectedAndOtherProtocols) {
    auto usbIdle = Listed(Description(InterfaceUsbTmc));
    auto usbConnected = Listed(Description(InterfaceUsbTmc));
    auto lxiIdle = Listed(Description(InterfaceVxi11));
    TestSupport::Connect(*usbConnected, InterfaceUsbTmc);
    // An object whose instance is gone cannot tell its protocol: it is released in any case.
    std::string sError;
    auto broken = Listed(Description(InterfaceRawTcp));
    ASSERT_TRUE(InstrumentDefault::DeleteInstance(*broken, sError));

    EXPECT_TRUE(Instrument::ReleaseAll(false, ProtocolUsbTmc, sError));
    std::vector<InstrumentObject> list;
    ASSERT_TRUE(Instrument::CopyInstrumentList(list));
    EXPECT_EQ(list, (std::vector<InstrumentObject>{usbConnected, lxiIdle}));

    EXPECT_TRUE(Instrument::ReleaseAll(false, 0, sError));
    ASSERT_TRUE(Instrument::CopyInstrumentList(list));
    EXPECT_EQ(list, (std::vector<InstrumentObject>{usbConnected}));
    EXPECT_TRUE(Instrument::ReleaseAll(true, 0, sError));
    ASSERT_TRUE(Instrument::CopyInstrumentList(list));
    EXPECT_TRUE(list.empty());
}

TEST_F(InstrumentListTest, FindExistingByConnectionIdentity) {
    uTaskPrepare usb = Description(InterfaceUsbTmc);
    usb.usb.iVendorId = 0x1AB1;
    usb.usb.iProductId = 0x04CE;
    usb.usb.sSerialNumber = "DS1ZA1";
    auto usbObject = Listed(usb);

    uTaskPrepare raw = Description(InterfaceRawTcp);
    raw.rawTcp.sInstrumentIp = "192.168.1.50";
    raw.rawTcp.iPort = 5025;
    auto rawObject = Listed(raw);

    uTaskPrepare none = Description(InterfaceLanNone);
    Listed(none);
    EXPECT_EQ(Instrument::FindExisting(none), nullptr);

    uTaskPrepare candidate = usb;
    candidate.usb.sSerialNumber.clear();
    candidate.usb.iBulkIn = 0x82; // endpoints take no part
    EXPECT_EQ(Instrument::FindExisting(candidate), usbObject);
    candidate.usb.sSerialNumber = "OTHER";
    EXPECT_EQ(Instrument::FindExisting(candidate), nullptr);

    candidate = raw;
    candidate.rawTcp.sAdapterIp = "192.168.1.10";
    candidate.fUserModel = 1;
    candidate.sUserManufacturer = "HAMEG";
    EXPECT_EQ(Instrument::FindExisting(candidate), rawObject);
    candidate.eProtocol = ProtocolLxi;
    EXPECT_EQ(Instrument::FindExisting(candidate), nullptr);
    uTaskPrepare empty;
    EXPECT_EQ(Instrument::FindExisting(empty), nullptr);
}

TEST_F(InstrumentListTest, UserMakerAndModelDecideOnlyWhenTheListedOneHasThem) {
    uTaskPrepare listed = Description(InterfaceRawTcp);
    listed.rawTcp.sInstrumentIp = "10.0.0.7";
    listed.rawTcp.iPort = 5025;
    uTaskPrepare candidate = listed;
    candidate.fUserModel = 1;
    candidate.sUserManufacturer = "Rigol";
    candidate.sUserModel = "DS2000";
    EXPECT_TRUE(Instrument::SameInstrument(listed, candidate));
    listed.fUserModel = 1;
    listed.sUserManufacturer = "Siglent";
    listed.sUserModel = "SDS2000X Plus";
    EXPECT_FALSE(Instrument::SameInstrument(listed, candidate));
    candidate.sUserManufacturer.clear();
    EXPECT_TRUE(Instrument::SameInstrument(listed, candidate));
    candidate.sUserManufacturer = "Siglent";
    candidate.sUserModel = "SDS2000X Plus";
    EXPECT_TRUE(Instrument::SameInstrument(listed, candidate));
    candidate.sUserModel = "sds2000x plus"; // exact comparison
    EXPECT_FALSE(Instrument::SameInstrument(listed, candidate));

    uTaskPrepare vxi = Description(InterfaceVxi11);
    vxi.vxi11.sInstrumentIp = "10.0.0.8";
    vxi.vxi11.iPortmapperPort = 111;
    uTaskPrepare vxiCandidate = vxi;
    EXPECT_TRUE(Instrument::SameInstrument(vxi, vxiCandidate));
    vxiCandidate.vxi11.iCorePort = 1024;
    EXPECT_FALSE(Instrument::SameInstrument(vxi, vxiCandidate));

    uTaskPrepare com = Description(InterfaceSerial);
    com.serial.sPort = "/dev/ttyUSB0";
    uTaskPrepare comCandidate = com;
    comCandidate.serial.iBaudRate = 115200; // line settings take no part
    EXPECT_TRUE(Instrument::SameInstrument(com, comCandidate));
    comCandidate.serial.sPort = "/dev/ttyUSB1";
    EXPECT_FALSE(Instrument::SameInstrument(com, comCandidate));
    uTaskPrepare usbNone = Description(InterfaceUsbNone);
    EXPECT_FALSE(Instrument::SameInstrument(usbNone, usbNone));
}

TEST_F(InstrumentListTest, PicturesAndIconsByModel) {
    for (std::int64_t eModel = -1; eModel <= 27; ++eModel) {
        const QImage picture = Instrument::DrawModelPicture(eModel, 128, 96);
        const bool fHasPicture = eModel >= 0 && eModel <= 26 && eModel != 20;
        EXPECT_EQ(!picture.isNull(), fHasPicture) << eModel;
        if (!fHasPicture) continue;
        EXPECT_EQ(picture.size(), QSize(128, 96));
        EXPECT_TRUE(picture.hasAlphaChannel());
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << eModel; // transparent corner
    }
    EXPECT_TRUE(Instrument::DrawModelPicture(6, 0, 96).isNull());

    EXPECT_EQ(Instrument::IconSize(1.0, false), 32);
    EXPECT_EQ(Instrument::IconSize(1.0, true), 32);
    EXPECT_EQ(Instrument::IconSize(1.5, false), 32);
    EXPECT_EQ(Instrument::IconSize(1.5, true), 48);
    EXPECT_EQ(Instrument::IconSize(1.75, true), 64);
    EXPECT_EQ(Instrument::IconSize(2.0, true), 64);

    const std::vector<std::uint8_t> icon = Instrument::CreateIcon(ModelRigolDS1000Z, true);
    ASSERT_GE(icon.size(), 22u);
    QByteArray bytes(reinterpret_cast<const char*>(icon.data()), static_cast<qsizetype>(icon.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    const QImage decoded = reader.read();
    EXPECT_EQ(decoded.size(), QSize(32, 32)) << reader.errorString().toStdString();
    EXPECT_TRUE(Instrument::CreateIcon(20, false).empty());
}

TEST_F(InstrumentListTest, EachInstrumentFamilyGetsItsOwnPicture) {
    struct uFamily {
        std::vector<std::int64_t> mModels;
        QImage (*pPicture)(int, int);
    };
    const uFamily families[] = {
        {{ModelRohdeSchwarzRTB2000Ch2, ModelRohdeSchwarzRTB2000Ch4}, &VectorIcon::PictureRtb2000},
        {{ModelRigolDS1000Z, ModelRigolDS1000ZPlus}, &VectorIcon::PictureDs1000Z},
        {{ModelRigolDS2000, ModelRigolMSO2000}, &VectorIcon::PictureDs2000},
        {{ModelRigolMSO5000Ch2, ModelRigolMSO5000Ch4}, &VectorIcon::PictureMso5000},
        {{ModelHamegHM2008, ModelHamegHM1508, ModelHamegHM1008}, &VectorIcon::PictureHm2008},
        {{ModelSiglentSDS2000XPlusCh2, ModelSiglentSDS2000XPlusCh4}, &VectorIcon::PictureSds2000XPlus},
        {{ModelRigolDSA}, &VectorIcon::PictureDsa800},
        {{ModelRigolDG4000}, &VectorIcon::PictureDg4000},
        {{ModelRigolDP800}, &VectorIcon::PictureDp800},
        {{ModelPicotestM3500A}, &VectorIcon::PictureM3500A},
    };
    std::vector<QImage> seen;
    for (const uFamily& family : families) {
        const QImage expected = family.pPicture(128, 96);
        for (std::int64_t eModel : family.mModels) {
            EXPECT_EQ(Instrument::DrawModelPicture(eModel, 128, 96), expected) << eModel;
            EXPECT_EQ(Instrument::DrawModelPicture(eModel, 48, 48), family.pPicture(48, 48)) << eModel;
        }
        for (const QImage& other : seen) EXPECT_NE(other, expected);
        seen.push_back(expected);
    }
}

TEST_F(InstrumentListTest, GetIconByKind) {
    uTaskPrepare connection = Description(InterfaceRawTcp);
    connection.eModel = ModelRigolDP800;
    auto object = Listed(connection);
    std::string sError;
    const uInstrumentIcon picture = object->pInterface->GetIcon(*object, IconKindPicture, sError);
    EXPECT_EQ(picture.picture.size(), QSize(128, 96));
    EXPECT_FALSE(object->pInterface->GetIcon(*object, IconKindSmall, sError).iconFile.empty());
    EXPECT_FALSE(object->pInterface->GetIcon(*object, IconKindLarge, sError).iconFile.empty());
    sError.clear();
    EXPECT_TRUE(object->pInterface->GetIcon(*object, 4, sError).empty());
    EXPECT_EQ(sError, "");
}

} // namespace
