#include "UsbTmcFixture.h"
#include "platform/ProgramEvents.h"
#include "transport/AbortRequests.h"
#include "transport/TransferStatus.h"

#include <algorithm>
#include <climits>

namespace {

using UsbTmcMessages = UsbTmcFixture;

const std::string cIdn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.04";

TEST_P(UsbTmcMessages, IdnLeavesAsOneTwentyByteTransferAndIsAnswered) {
    ASSERT_TRUE(Send("*IDN?")) << sError;
    auto log = pDevice->BulkOutLog();
    ASSERT_EQ(log.size(), 1u);
    const std::vector<std::uint8_t> expected{1, 1, 0xFE, 0, 6, 0, 0, 0, 1, 0, 0, 0,
                                             '*', 'I', 'D', 'N', '?', 0x0A, 0, 0};
    EXPECT_EQ(log[0], expected);

    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, cIdn); // the final LF is the TermChar and is dropped
    log = pDevice->BulkOutLog();
    ASSERT_EQ(log.size(), 2u);
    // REQUEST_DEV_DEP_MSG_IN with the next tag and the read size, TermChar not enabled.
    const std::vector<std::uint8_t> request{2, 2, 0xFD, 0, 0x00, 0x00, 0x12, 0x00, 0, 0, 0, 0};
    EXPECT_EQ(log[1], request);
}

TEST_P(UsbTmcMessages, VendorSpecificCommandsCarryNoEomButTheTermChar) {
    ASSERT_TRUE(Send("ABC", UsbTmc::MsgVendorSpecificOut)) << sError;
    const std::vector<std::uint8_t> expected{126, 1, 0xFE, 0, 4, 0, 0, 0, 0, 0, 0, 0, 'A', 'B', 'C', 0x0A};
    EXPECT_EQ(pDevice->BulkOutLog().at(0), expected);
    // Without a TermChar nothing is appended; binary data follows the command.
    UsbTmc::SetTermChar(U(), 0, false);
    const std::uint8_t aData[] = {0, 0xFF};
    std::int64_t iSent = 0;
    ASSERT_TRUE(UsbTmc::PrepareData(U(), "#12", aData, 2, sError));
    ASSERT_TRUE(UsbTmc::SendData(U(), UsbTmc::MsgDevDepOut, iSent, WindowNobody, sError));
    EXPECT_EQ(iSent, 20);
    const std::vector<std::uint8_t> binary{1, 2, 0xFD, 0, 5, 0, 0, 0, 1, 0, 0, 0, '#', '1', '2', 0, 0xFF, 0, 0, 0};
    EXPECT_EQ(pDevice->BulkOutLog().at(1), binary);
    EXPECT_FALSE(UsbTmc::PrepareData(U(), "", nullptr, 0, sError));
    EXPECT_EQ(sError, "UsbTmc::PrepareData: Es sind keine Daten vorhanden.");
    EXPECT_FALSE(UsbTmc::SendData(U(), UsbTmc::MsgDevDepOut, iSent, WindowNobody, sError));
    EXPECT_EQ(sError, "UsbTmc::SendData: Der Zeiger auf die zu sendenden Daten ist Null. *BulkOutData = 0");
}

TEST_P(UsbTmcMessages, TagsRunFromOneTo255AndWrap) {
    U().iTag = 254;
    ASSERT_TRUE(Send("*CLS"));
    ASSERT_TRUE(Send("*CLS"));
    ASSERT_TRUE(Send("*CLS"));
    auto log = pDevice->BulkOutLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0][1], 255);
    EXPECT_EQ(log[1][1], 1);
    EXPECT_EQ(log[2][1], 2);
    U().iTag = 0;
    EXPECT_EQ(UsbTmc::GetNextTag(U()), 1);
    U().iTag = -5;
    EXPECT_EQ(UsbTmc::GetNextTag(U()), 1);
    EXPECT_EQ(UsbTmc::GetPaddingSize(0, 4), 0);
    EXPECT_EQ(UsbTmc::GetPaddingSize(6, 4), 2);
    EXPECT_EQ(UsbTmc::GetPaddingSize(8, 4), 0);
}

TEST_P(UsbTmcMessages, AnswerInThreePacketsWithEomOnlyOnTheLast) {
    pDevice->SetMaxPayload(20);
    ASSERT_TRUE(Send("*IDN?"));
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, cIdn);
    EXPECT_EQ(Requests(), 3); // 51 bytes in 20 + 20 + 11
}

TEST_P(UsbTmcMessages, TermCharEnabledAsksTheDeviceToStopThere) {
    ASSERT_TRUE(Send("*IDN?"));
    UsbTmc::SetTermChar(U(), ',', true);
    UsbTmc::SetRemoveTermChar(U(), false);
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, cIdn + "\n"); // the device stopped at every ',' (TermChar set, no EOM)
    EXPECT_EQ(Requests(), 4);
    auto log = pDevice->BulkOutLog();
    EXPECT_EQ(log[1][8], 2);
    EXPECT_EQ(log[1][9], ',');
}

TEST_P(UsbTmcMessages, FinalByteIsDroppedOnlyWhenItIsTheTermChar) {
    std::string sAnswer;
    pDevice->PushBulkInRaw(ResponseHeader(2, U().iTag + 1, 3, 1, "1.5"));
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "1.5");
    Answer("2.5\n");
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "2.5");
    // An answer that is only the TermChar, and an empty answer, are empty successes.
    Answer("\n");
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "");
    pDevice->PushBulkInRaw(ResponseHeader(2, U().iTag + 1, 0, 1));
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "");
    // With remove TermChar off the LF stays.
    UsbTmc::SetRemoveTermChar(U(), false);
    Answer("OK\n");
    ASSERT_TRUE(Receive(sAnswer));
    EXPECT_EQ(sAnswer, "OK\n");
}

TEST_P(UsbTmcMessages, PaddingAndTransferSizesFromTheWireAreBounded) {
    // 10 payload bytes in a 24-byte read: the padding is not part of the answer.
    pDevice->PushBulkInRaw(ResponseHeader(2, U().iTag + 1, 10, 1, "0123456789"));
    std::string sAnswer;
    UsbTmc::SetRemoveTermChar(U(), false);
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "0123456789");

    // A TransferSize that reads negative as a signed number, with four bytes behind the
    // header: the four bytes are kept, the rest is expected in further reads, which bring a
    // proper end.
    int iTag = static_cast<int>(U().iTag) + 1;
    pDevice->PushBulkInRaw(ResponseHeader(2, iTag, 0xFFFFFFF0u, 0, "ABCD"));
    pDevice->PushBulkInRaw({});
    pDevice->PushBulkInRaw(ResponseHeader(2, iTag + 1, 2, 1, "EF"));
    EXPECT_FALSE(Receive(sAnswer));
    // A continuation is taken as payload, so the third read's header becomes data; what
    // matters is that nothing is copied beyond what arrived and the receive ends bounded.
    EXPECT_EQ(sError, LibUsb0() ? "LibUsb0::BulkRead: Fehler beim Bulk Read Transfer: -110"
                                : "LibUsb1::BulkTransfer: " + LibUsb1::GetErrorText(LIBUSB_ERROR_TIMEOUT));
}

TEST_P(UsbTmcMessages, ResponsesSplitAcrossReadsAreJoinedAndTrimmed) {
    // The device hands each response out in reads of 16 bytes: the first read has the header
    // and 4 bytes, the others continue the transfer, the last one carries padding.
    pDevice->SetReadChunk(16);
    UsbTmc::SetRemoveTermChar(U(), false);
    Answer("The quick brown fox jumps");
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "The quick brown fox jumps\n");
    EXPECT_EQ(Requests(), 1);
    // Three packets of one answer, each split.
    pDevice->SetMaxPayload(9);
    Answer("The quick brown fox jumps");
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "The quick brown fox jumps\n");
    EXPECT_EQ(Requests(), 4);
}

TEST_P(UsbTmcMessages, StaleShortAndEmptyPacketsAreDiscarded) {
    UsbTmc::SetRemoveTermChar(U(), false);
    Answer("GOOD");
    int iTag = static_cast<int>(U().iTag) + 1;
    pDevice->PushBulkInRaw(ResponseHeader(2, iTag - 1, 4, 1, "JUNK")); // stale tag
    pDevice->PushBulkInRaw({2, static_cast<std::uint8_t>(iTag), static_cast<std::uint8_t>(~iTag)}); // short
    pDevice->PushBulkInRaw({});                                        // empty packet
    pDevice->PushBulkInRaw(ResponseHeader(1, iTag, 4, 1, "JUNK"));     // wrong MsgID
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, "GOOD\n");
    EXPECT_EQ(Requests(), 1);
}

TEST_P(UsbTmcMessages, ADeviceThatNeverEndsItsAnswerIsGivenUp) {
    // Stale headers forever.
    for (int i = 0; i < 30; ++i) pDevice->PushBulkInRaw(ResponseHeader(2, 0, 4, 1, "OLD!"));
    std::string sAnswer;
    EXPECT_FALSE(Receive(sAnswer));
    EXPECT_EQ(sError, "UsbTmc::RequestData: Es wurde keine Antwort mit gültigem Header empfangen.");
    EXPECT_EQ(pDevice->BulkInReads(), 10 + 1); // ten discarded reads, then the abort's read
    EXPECT_EQ(ControlCount(3), 1);             // INITIATE_ABORT_BULK_IN
    // Empty transfers without EOM forever: each is answered, none brings a byte.
    Start({});
    for (int i = 0; i < 30; ++i) pDevice->PushBulkInRaw(ResponseHeader(2, U().iTag + 1 + i, 0, 0));
    EXPECT_FALSE(Receive(sAnswer));
    EXPECT_EQ(sError, "UsbTmc::RequestData: Es wurde keine Antwort mit gültigem Header empfangen.");
    EXPECT_EQ(Requests(), 10);
}

TEST_P(UsbTmcMessages, VendorSpecificAnswerEndsWhenTheSizeMatchesTheRead) {
    UsbTmc::SetRemoveTermChar(U(), false);
    int iTag = static_cast<int>(U().iTag) + 1;
    // 6 bytes + 2 padding: not equal, so another REQUEST follows; 4 bytes fit exactly.
    pDevice->PushBulkInRaw(ResponseHeader(127, iTag, 6, 0, "ABCDEF"));
    pDevice->PushBulkInRaw(ResponseHeader(127, iTag + 1, 4, 0, "GHIJ"));
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer, UsbTmc::MsgRequestVendorSpecificIn)) << sError;
    EXPECT_EQ(sAnswer, "ABCDEFGHIJ");
    EXPECT_EQ(Requests(), 2);
    EXPECT_EQ(pDevice->BulkOutLog().at(0)[0], 127);
}

TEST_P(UsbTmcMessages, CancelDuringReceiveAbortsTheBulkInTransfer) {
    // The device hands its response out in reads of 16 bytes; the user cancels after the first.
    pDevice->SetReadChunk(16);
    ASSERT_TRUE(Send("*IDN?"));
    UsbTmc::uUsbTmcInstance* p = pInstance.get();
    pDevice->SetBulkInHook([p](int iRead) {
        if (iRead == 1) Instrument::RequestAbort(p);
    });
    std::string sAnswer;
    EXPECT_FALSE(Receive(sAnswer));
    EXPECT_EQ(sError, "UsbTmc::RequestData: Das Empfangen wurde abgebrochen.");
    EXPECT_FALSE(Instrument::TakeAbortRequest(p)); // consumed
    auto log = pDevice->ControlLog();
    auto it = std::find_if(log.begin(), log.end(), [](const SimUsb::uControlRequest& c) { return c.bRequest == 3; });
    ASSERT_NE(it, log.end());
    EXPECT_EQ(it->wValue, U().iTag); // the tag of the REQUEST being answered
    EXPECT_EQ(it->wIndex, 0x82);
    // CHECK said pending with data in the FIFO while 48 bytes were left, handed out in three
    // short reads with a pause after each; then success, and the Bulk-IN halt is cleared.
    EXPECT_EQ(ControlCount(4), 4);
    EXPECT_EQ(lPauses, std::vector<long long>(3, 50));
    auto halts = pDevice->ClearHaltLog();
    EXPECT_NE(std::find(halts.begin(), halts.end(), 0x82), halts.end());
    // The instrument is usable again.
    pDevice->SetBulkInHook(nullptr);
    ASSERT_TRUE(Send("*IDN?"));
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, cIdn);
}

TEST_P(UsbTmcMessages, AnAbortWhenTheLastPacketArrivesLeavesTheAnswerWhole) {
    ASSERT_TRUE(Send("*IDN?"));
    UsbTmc::uUsbTmcInstance* p = pInstance.get();
    pDevice->SetBulkInHook([p](int) { Instrument::RequestAbort(p); });
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, cIdn);
    EXPECT_FALSE(Instrument::TakeAbortRequest(p));
    EXPECT_EQ(ControlCount(3), 0);
}

TEST_P(UsbTmcMessages, StallsAreClearedAndTheInstrumentStaysUsable) {
    // Bulk-IN stalls while an answer is read.
    ASSERT_TRUE(Send("*IDN?"));
    pDevice->PushBulkInError(LIBUSB_ERROR_PIPE);
    std::string sAnswer;
    EXPECT_FALSE(Receive(sAnswer));
    EXPECT_EQ(sError, LibUsb0() ? "LibUsb0::BulkRead: Fehler beim Bulk Read Transfer: -32"
                                : "LibUsb1::BulkTransfer: " + LibUsb1::GetErrorText(LIBUSB_ERROR_PIPE));
    EXPECT_FALSE(pDevice->Halted(0x82));
    EXPECT_GE(ControlCount(3), 1);
    // Bulk-OUT stalls while a command is sent: the abort sequence ends with the halt cleared.
    pDevice->PushBulkOutError(LIBUSB_ERROR_PIPE);
    EXPECT_FALSE(Send("*IDN?"));
    EXPECT_FALSE(pDevice->Halted(0x01));
    EXPECT_EQ(ControlCount(1), 1); // INITIATE_ABORT_BULK_OUT
    EXPECT_EQ(ControlCount(2), 1); // CHECK_ABORT_BULK_OUT_STATUS
    auto halts = pDevice->ClearHaltLog();
    EXPECT_GE(std::count(halts.begin(), halts.end(), 0x01), 1);
    ASSERT_TRUE(Send("*IDN?")) << sError;
    ASSERT_TRUE(Receive(sAnswer)) << sError;
    EXPECT_EQ(sAnswer, cIdn);
}

TEST_P(UsbTmcMessages, TimeOutsFailWithTheLibraryText) {
    std::string sAnswer;
    EXPECT_FALSE(Receive(sAnswer)); // nothing was asked: the device has nothing to send
    EXPECT_EQ(sError, LibUsb0() ? "LibUsb0::BulkRead: Fehler beim Bulk Read Transfer: -110"
                                : "LibUsb1::BulkTransfer: " + LibUsb1::GetErrorText(LIBUSB_ERROR_TIMEOUT));
    pDevice->PushBulkOutError(LIBUSB_ERROR_TIMEOUT);
    EXPECT_FALSE(Receive(sAnswer)); // the REQUEST can't be written: no abort sequence
    EXPECT_EQ(ControlCount(3), 1);
}

// A time-out that is not a positive count (a script's "timeout -1", a negative preference) must
// never reach the library as 0, which both libraries take as no limit at all: a device that
// does not answer would hold the worker for good, and no cancel reaches a waiting transfer.
TEST_P(UsbTmcMessages, NoTimeOutReachesTheLibraryAsNoLimit) {
    const std::int64_t cOdd[] = {-1, -5000, std::int64_t{INT_MIN} - 1};
    for (const std::int64_t iOdd : cOdd) {
        SCOPED_TRACE(iOdd);
        UsbTmc::SetTimeout(U(), iOdd);
        UsbTmc::SetControlTimeout(U(), iOdd);
        UsbTmc::SetWaitTime(U(), iOdd);
        std::string sAnswer;
        Answer("*IDN?");
        EXPECT_TRUE(Receive(sAnswer)) << sError;
        EXPECT_FALSE(Receive(sAnswer)); // nothing asked: the read fails and the abort runs
        bool fMav = false;
        int iStatusByte = 0;
        UsbTmc::WaitData(U(), UsbTmc::WaitStatusByte, fMav, iStatusByte, sError);
        UsbTmc::uInterruptTransferResponse uNotify;
        UsbTmc::InterruptTransfer(U(), uNotify, sError);
    }
    const std::vector<long long> lTimeouts = pDevice->TimeoutLog();
    EXPECT_GE(ControlCount(3), 3); // the aborts ran, with their control requests and reads
    ASSERT_FALSE(lTimeouts.empty());
    for (const long long iTimeout : lTimeouts) {
        EXPECT_GT(iTimeout, 0);
        EXPECT_LE(iTimeout, INT_MAX);
    }
}

TEST_P(UsbTmcMessages, ProgressEventsFollowTheStep) {
    std::vector<std::pair<std::intptr_t, std::int64_t>> lEvents;
    const int iWindow = 4711;
    EventHub::Bind(EventTransferStatus, iWindow, [&](const EventHub::uEvent& e) {
        EXPECT_EQ(e.iObject, reinterpret_cast<std::intptr_t>(pInstance.get()));
        lEvents.emplace_back(e.iType, TransferStatus::Data(e));
    });
    std::int64_t iSent = 0;
    ASSERT_TRUE(UsbTmc::PrepareData(U(), "*IDN?", nullptr, 0, sError));
    ASSERT_TRUE(UsbTmc::SendData(U(), UsbTmc::MsgDevDepOut, iSent, iWindow, sError));
    EventHub::Pump();
    ASSERT_EQ(lEvents.size(), 1u);
    EXPECT_EQ(lEvents[0], (std::pair<std::intptr_t, std::int64_t>{4, 5}));
    lEvents.clear();
    std::string sAnswer;
    ASSERT_TRUE(Receive(sAnswer, UsbTmc::MsgRequestDevDepIn, iWindow));
    EventHub::Pump();
    EXPECT_TRUE(lEvents.empty()); // a small answer posts none

    // 250000 bytes in packets of 60000 with a step of 102400: after 120000 and 240000.
    pDevice->SetMaxPayload(60000);
    Answer(std::string(250000, 'x'));
    ASSERT_TRUE(Receive(sAnswer, UsbTmc::MsgRequestDevDepIn, iWindow)) << sError;
    EXPECT_EQ(sAnswer.size(), 250000u);
    EventHub::Pump();
    const std::vector<std::pair<std::intptr_t, std::int64_t>> expected{{7, 120000}, {7, 240000}};
    EXPECT_EQ(lEvents, expected);
}

TEST_P(UsbTmcMessages, InstancesAndTheirSettings) {
    std::string s;
    UsbTmc::uUsbTmcInstance uStray;
    EXPECT_FALSE(UsbTmc::DeleteInstance(&uStray, s));
    EXPECT_EQ(s.rfind("UsbTmc::Destructor: This instance does not exist. Instance number = $", 0), 0u);
    auto p = UsbTmc::NewInstance(s);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->iTransferTimeout, 5000);
    EXPECT_EQ(p->iControlTimeout, 500);
    EXPECT_EQ(p->iProgressStep, 102400);
    UsbTmc::SetTimeout(*p, 1234);
    EXPECT_EQ(p->iTransferTimeout, 1234);
    UsbTmc::SetTimeout(*p, 0);
    EXPECT_EQ(p->iTransferTimeout, 5000);
    UsbTmc::SetControlTimeout(*p, 0);
    UsbTmc::SetWaitTime(*p, 0);
    EXPECT_EQ(p->iControlTimeout, 500);
    EXPECT_EQ(UsbTmc::GetWaitTime(*p), 500);
    UsbTmc::SetTermChar(*p, 0x10D, true);
    EXPECT_EQ(p->iTermChar, 0x0D);

    uUsbTmcSettings k = U().uSettings;
    auto check = [&](uUsbTmcSettings x, const char* pText) {
        EXPECT_FALSE(UsbTmc::SetInstrument(*p, x, s));
        EXPECT_EQ(s, std::string("UsbTmc::SetInstrument: ") + pText);
    };
    uUsbTmcSettings x = k;
    x.pDeviceHandle = nullptr;
    check(x, "Das Handle zum geöffneten Instrument ist Null.");
    x = k;
    x.fLibUsb0 = x.fLibUsb1 = 0;
    check(x, "No Libusb version was specified.");
    x = k;
    x.iBulkIn = 0;
    check(x, "Die Adresse des BulkIn-Endpunkts ist Null.");
    x = k;
    x.iInterruptIn = 0;
    check(x, "Die Adresse des InterruptIn-Endpunkts ist Null.");
    x = k;
    x.iBulkOutMaxPacketSize = 0;
    check(x, "Die maximale Paketgröße für den BulkOut-Endpunkt ist Null.");
    // The capabilities are read even when a check fails.
    EXPECT_EQ(p->uCapabilities.fSr1, 1);
    EXPECT_TRUE(UsbTmc::DeleteInstance(p.get(), s));
    EXPECT_FALSE(UsbTmc::DeleteInstance(p.get(), s));
}

INSTANTIATE_TEST_SUITE_P(BothLibraries, UsbTmcMessages, ::testing::Bool(), LibraryName);

} // namespace
