#include "UsbTmcFixture.h"

#include <algorithm>

namespace {

using UsbTmcControl = UsbTmcFixture;

std::vector<int> StatusTags(const SimUsb::Device& d) {
    std::vector<int> l;
    for (const auto& c : d.ControlLog())
        if (c.bRequest == 128) l.push_back(c.wValue);
    return l;
}

TEST_P(UsbTmcControl, CapabilitiesAreReadAtSetUp) {
    const UsbTmc::uUsbTmcCapabilities& c = U().uCapabilities;
    EXPECT_EQ(c.iBcdUsbTmc, 0x100);
    EXPECT_EQ(c.iBcdUsb488, 0x100);
    EXPECT_EQ(c.fTermChar, 1);
    EXPECT_EQ(c.fUsb4882, 1);
    EXPECT_EQ(c.fSr1, 1);
    EXPECT_EQ(c.fScpi, 1);
    EXPECT_EQ(c.fTalkOnly, 0);
    // A non-success status still fills the record; a longer answer than asked is an error,
    // a shorter one that lacks the USB488 part too.
    UsbTmc::uUsbTmcCapabilities k;
    std::vector<std::uint8_t> v(24, 0);
    v[0] = 0x80;
    v[4] = 7;
    v[15] = 0x0F;
    pDevice->PushControlReply(7, v);
    ASSERT_TRUE(UsbTmc::GetCapabilities(U(), &k, sError)) << sError;
    EXPECT_EQ(k.fIndicatorPulse + k.fTalkOnly + k.fListenOnly, 3);
    EXPECT_EQ(k.fDt1 + k.fRl1 + k.fSr1 + k.fScpi, 4);
    pDevice->PushControlReply(7, v, 30);
    EXPECT_FALSE(UsbTmc::GetCapabilities(U(), &k, sError));
    EXPECT_EQ(sError, "UsbTmc::ControlTransfer: Es wurde eine falsche Anzahl an Bytes empfangen. Erwartet wurden maximal 24 Bytes, empfangen wurden 30 Bytes.");
    pDevice->PushControlReply(7, {1, 0, 0, 1});
    EXPECT_FALSE(UsbTmc::GetCapabilities(U(), nullptr, sError));
    EXPECT_EQ(sError, "UsbTmc::GetCapabilities: Es wurden zu wenige Bytes empfangen. Erwartet wurden 16 Bytes, empfangen wurden 4 Bytes.");
    EXPECT_EQ(U().uCapabilities.fSr1, 1); // left as it was
}

TEST_P(UsbTmcControl, StatusByteByInterruptInCarriesTheTagWithBit7) {
    ASSERT_TRUE(Send("*IDN?"));
    bool fMav = false;
    int iStb = -1;
    ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError)) << sError;
    EXPECT_TRUE(fMav);
    EXPECT_EQ(iStb, 0x10);
    EXPECT_EQ(StatusTags(*pDevice), std::vector<int>{2});
    // A notification with another tag is refused.
    pDevice->PushControlReply(128, {1, 3, 0});
    pDevice->PushInterrupt({0x80 | 9, 0x10});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::WaitData: Das gesendete Tag stimmt nicht mit dem empfangenen Tag überein. iTag|$80 = 131 - iNotify1 = 137");
}

TEST_P(UsbTmcControl, StatusByteByControlAnswerWithoutUsb4882) {
    SimUsb::uDeviceConfig c;
    c.fUsb4882 = false;
    Start(c);
    bool fMav = true;
    int iStb = -1;
    ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError)) << sError;
    EXPECT_FALSE(fMav);
    EXPECT_EQ(iStb, 0);
    ASSERT_TRUE(Send("*IDN?"));
    ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError)) << sError;
    EXPECT_TRUE(fMav);
    EXPECT_EQ(iStb, 0x10);
    // {1, tag, 0x10} from a device without the USB488.2 bit: no Interrupt-IN read.
    pDevice->PushInterrupt({0xEE, 0xEE});
    pDevice->PushControlReply(128, {1, 4, 0x10});
    ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(iStb, 0x10);
}

TEST_P(UsbTmcControl, StatusTagsRunFrom2To127) {
    U().iStatusTag = 126;
    bool fMav = false;
    int iStb = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError)) << sError;
    EXPECT_EQ(StatusTags(*pDevice), (std::vector<int>{127, 2, 3}));
    UsbTmc::uReadStatusByteResponse r;
    ASSERT_TRUE(UsbTmc::ReadStatusByte(U(), 0, r, sError));
    ASSERT_TRUE(UsbTmc::ReadStatusByte(U(), 200, r, sError));
    EXPECT_EQ(StatusTags(*pDevice), (std::vector<int>{127, 2, 3, 2, 2}));
}

TEST_P(UsbTmcControl, StatusAnswersAreChecked) {
    bool fMav = false;
    int iStb = 0;
    pDevice->PushControlReply(128, {1, 99, 0x10});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::WaitData: Das gesendete Tag stimmt nicht mit dem empfangenen Tag überein. iTag out = 2 - iTag in = 99");
    // Busy takes the pending notification off the endpoint.
    pDevice->PushControlReply(128, {0x20, 3, 0});
    pDevice->PushInterrupt({0x83, 0x00});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::WaitData: Der Interrupt-In Endpoint ist belegt. uReadStatusByteResponse\\eUsbTmcStatus = #eUsbTmcStatusInterruptInBusy");
    pDevice->PushControlReply(128, {0x80, 4, 0});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::WaitData: Es ist ein unbekannter Fehler aufgetreten. uReadStatusByteResponse\\eUsbTmcStatus = 128");
    // A short answer is refused rather than read past its end.
    pDevice->PushControlReply(128, {1, 5});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::ReadStatusByte: Es wurden zu wenige Bytes empfangen. Erwartet wurden 3 Bytes, empfangen wurden 2 Bytes.");
    pDevice->PushControlError(128, LIBUSB_ERROR_PIPE);
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError.rfind("UsbTmc::ControlTransfer: LibUsb", 0), 0u);
    // An unknown mode does nothing but say so.
    sError.clear();
    EXPECT_FALSE(UsbTmc::WaitData(U(), 3, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::WaitData: Die Art des Wartens ist unbekannt. eWait = 3");
    // The Interrupt-IN answer must be two bytes.
    pDevice->PushControlReply(128, {1, 8, 0});
    pDevice->PushInterrupt({0x88});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::InterruptTransfer: Es wurden zu wenige Bytes empfangen. Erwartet wurden 2 Bytes, empfangen wurden 1 Bytes.");
}

TEST_P(UsbTmcControl, ServiceRequestWait) {
    pDevice->SetServiceRequestOnAnswer(true);
    ASSERT_TRUE(Send("*IDN?"));
    bool fMav = false;
    int iStb = 0;
    ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitServiceRequest, fMav, iStb, sError)) << sError;
    EXPECT_TRUE(fMav);
    EXPECT_EQ(iStb, 0x50);
    pDevice->PushInterrupt({0x82, 0x50});
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitServiceRequest, fMav, iStb, sError));
    EXPECT_EQ(sError, "UsbTmc::WaitData: Das empfangene iNotify1 Byte ist kein Service Request (0x81). uInterruptTransferResponse\\iNotify1 = 130");
    // No notification within the wait time.
    EXPECT_FALSE(UsbTmc::WaitData(U(), UsbTmc::WaitServiceRequest, fMav, iStb, sError));
    EXPECT_EQ(sError.rfind("UsbTmc::InterruptTransfer: LibUsb", 0), 0u);
}

TEST_P(UsbTmcControl, WithoutSr1AServiceRequestWaitSucceedsAtOnce) {
    SimUsb::uDeviceConfig c;
    c.fSr1 = false;
    Start(c);
    pDevice->PushInterrupt({0x81, 0x50});
    bool fMav = false;
    int iStb = -7;
    ASSERT_TRUE(UsbTmc::WaitData(U(), UsbTmc::WaitServiceRequest, fMav, iStb, sError));
    EXPECT_FALSE(fMav);
    EXPECT_EQ(iStb, -7); // not written
    // The notification is still there: nothing was read.
    std::uint8_t a[2];
    int n = 0;
    EXPECT_EQ(pDevice->InterruptIn(a, 2, n), 0);
    EXPECT_EQ(a[0], 0x81);
}

TEST_P(UsbTmcControl, InitiateAbortNotInProgressTenTimesGivesUpAfterNinePauses) {
    for (int i = 0; i < 10; ++i) pDevice->PushControlReply(3, {0x81, 1});
    EXPECT_FALSE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(sError, "UsbTmc::AbortRequestData: Der Status des Abbruchs des Bulk-In-Transfers wurde nicht vom Gerät bestätigt.");
    EXPECT_EQ(lPauses, std::vector<long long>(9, 50));
    EXPECT_EQ(ControlCount(3), 10);
    EXPECT_EQ(ControlCount(4), 0);
}

TEST_P(UsbTmcControl, CheckAbortPendingTenTimesGivesUpAfterNinePauses) {
    pDevice->PushControlReply(3, {1, 1});
    for (int i = 0; i < 10; ++i) pDevice->PushControlReply(4, {2, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(sError, "UsbTmc::AbortRequestData: Der Status des Abbruchs des Bulk-In-Transfers wurde nicht vom Gerät bestätigt.");
    EXPECT_EQ(lPauses, std::vector<long long>(9, 50));
    EXPECT_EQ(ControlCount(4), 10);
}

TEST_P(UsbTmcControl, AbortRequestDataOutcomes) {
    // Failed: nothing to abort.
    pDevice->PushControlReply(3, {0x80, 1});
    EXPECT_TRUE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(ControlCount(4), 0);
    // Not in progress twice, then success; check pending with data in the FIFO, then success.
    pDevice->PushControlReply(3, {0x81, 1});
    pDevice->PushControlReply(3, {0x81, 1});
    pDevice->PushControlReply(3, {1, 1});
    pDevice->PushControlReply(4, {2, 1, 0, 0, 0, 0, 0, 0});
    pDevice->PushControlReply(4, {1, 0, 0, 0, 0, 0, 0, 0});
    pDevice->PushBulkInRaw(std::vector<std::uint8_t>(512, 0xAA)); // a full packet, then
    pDevice->PushBulkInRaw(std::vector<std::uint8_t>(100, 0xBB)); // the short one
    int iReads = pDevice->BulkInReads();
    EXPECT_TRUE(UsbTmc::AbortRequestData(U(), 1, sError)) << sError;
    EXPECT_EQ(pDevice->BulkInReads() - iReads, 2);
    EXPECT_EQ(lPauses, std::vector<long long>(3, 50));
    // Unknown answers.
    pDevice->PushControlReply(3, {0x42, 1});
    EXPECT_FALSE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(sError, "UsbTmc::AbortRequestData: Es ist ein unbekannter Fehler aufgetreten. uInitiateAbortBulkOutInResponse\\eUsbTmcStatus = 66");
    pDevice->PushControlReply(3, {1, 1});
    pDevice->PushControlReply(4, {0x80, 0});
    EXPECT_FALSE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(sError, "UsbTmc::AbortRequestData: Es ist ein unbekannter Fehler aufgetreten. uCheckAbortBulkInStatusResponse\\eUsbTmcStatus = 128");
    // An empty answer to INITIATE is refused, not read as a status.
    pDevice->PushControlReply(3, {});
    EXPECT_FALSE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(sError, "UsbTmc::InitiateAbortBulkIn: Es wurden zu wenige Bytes empfangen. Erwartet wurden 1 Bytes, empfangen wurden 0 Bytes.");
    // Pending with data but nothing can be read.
    pDevice->PushControlReply(3, {1, 1});
    pDevice->PushControlReply(4, {2, 1});
    EXPECT_FALSE(UsbTmc::AbortRequestData(U(), 1, sError));
    EXPECT_EQ(sError, "UsbTmc::ReadShortPacketFromBulkInEndpoint: Es konnte kein 'Short Packet' eingelesen werden.");
}

TEST_P(UsbTmcControl, AbortTransfersPollsWhilePendingAndClearsTheHalt) {
    // Bulk-OUT: INITIATE success, CHECK pending twice, then success; the halt is cleared.
    U().iTag = 7;
    pDevice->PushControlReply(1, {1, 7});
    pDevice->PushControlReply(2, {2, 0, 0, 0, 0, 0, 0, 0});
    pDevice->PushControlReply(2, {2, 0, 0, 0, 0, 0, 0, 0});
    UsbTmc::AbortTransfers(U(), UsbTmc::MsgDevDepOut);
    EXPECT_EQ(ControlCount(2), 3);
    EXPECT_EQ(lPauses, std::vector<long long>(2, 50));
    auto log = pDevice->ControlLog();
    EXPECT_EQ(log.at(1).wValue, 7); // after GET_CAPABILITIES of the set-up
    EXPECT_EQ(log.at(1).wIndex, 0x01);
    EXPECT_EQ(pDevice->ClearHaltLog(), std::vector<int>{0x01});
    // Bulk-IN: one read of 1036 bytes with the control timeout, one CHECK, halt cleared,
    // whatever the requests answer.
    pDevice->PushControlError(3, LIBUSB_ERROR_TIMEOUT);
    int iReads = pDevice->BulkInReads();
    UsbTmc::AbortTransfers(U(), UsbTmc::MsgRequestVendorSpecificIn);
    EXPECT_EQ(pDevice->BulkInReads() - iReads, 1);
    EXPECT_EQ(ControlCount(4), 1);
    EXPECT_EQ(pDevice->ClearHaltLog(), (std::vector<int>{0x01, 0x82}));
    // Nothing for other message ids.
    UsbTmc::AbortTransfers(U(), 5);
    EXPECT_EQ(pDevice->ClearHaltLog().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, UsbTmcControl, ::testing::Bool(), LibraryName);

} // namespace
