// The SCPI command window in a real main window, talking to the simulated instruments through
// the instrument core: sending, files and block headers, the transfer texts, cancelling,
// disconnecting and closing.
#include "windows/scpi/ScpiWindowTestSupport.h"

#include "platform/BackgroundThreads.h"
#include "sim/RawTcpServer.h"
#include "sim/ScpiDevice.h"

#include <QComboBox>
#include <QLabel>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>

namespace {

using namespace ScpiWindowTestSupport;

class WindowScpiCommandTest : public ScpiWindowTest {
  protected:
    void SetUp() override {
        ScpiWindowTest::SetUp();
        std::string sError;
        ASSERT_TRUE(mRaw.Start(sError)) << sError;
        mRaw.Device().SetIdn("RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.05.SP2");
    }
    // A window whose main window has the raw TCP instrument.
    int ConnectedWindow(bool fSeparate = false) {
        const int iScpi = OpenScpi(fSeparate);
        mObject = Connect(RawPrepare(mRaw.Port()));
        Announce(iScpi, mObject, ProtocolRawTcp);
        return iScpi;
    }
    std::size_t Units() { return mRaw.Device().Commands().size(); }
    QString WriteFile(const std::string& sName, const std::vector<std::uint8_t>& data) {
        const QString sPath = mFiles.filePath(QString::fromStdString(sName));
        QFile f(sPath);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
        return sPath;
    }

    Sim::RawTcpServer mRaw;
    InstrumentObject mObject;
    QTemporaryDir mFiles;
};

std::vector<std::uint8_t> Pattern(std::size_t iSize) {
    std::vector<std::uint8_t> data(iSize);
    for (std::size_t i = 0; i < iSize; ++i) data[i] = static_cast<std::uint8_t>((i * 31 + 7) & 0xFF);
    return data;
}

TEST_F(WindowScpiCommandTest, AQueryShowsItsAnswerTheTransferTextsAndTheLogLines) {
    const int iScpi = ConnectedWindow();
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitIdle(iScpi));
    const std::string sIdn = "RIGOL TECHNOLOGIES,DS1104Z,DS1ZA000000001,00.04.05.SP2\n";
    const std::string sStatus = Status(iScpi);
    EXPECT_EQ(sStatus.rfind("Data received, bytes: " + std::to_string(sIdn.size()) + " - (", 0), 0u) << sStatus << Log();
    EXPECT_EQ(sStatus.substr(sStatus.size() - 10), " ms total)");
    HoverMenuItem(W(iScpi).pFrame); // the transfer's line stays
    EXPECT_EQ(Status(iScpi), sStatus);
    EXPECT_NE(Answer(iScpi).find("RIGOL TECHNO"), std::string::npos) << Answer(iScpi);
    EXPECT_EQ(Received(iScpi), sIdn);
    EXPECT_TRUE(LogHas("DS1104Z - SCPI command sent: *IDN?\n")) << Log();
    EXPECT_TRUE(LogHas("DS1104Z - Data sent, bytes: 6 - (")) << Log();
    EXPECT_TRUE(LogHas("DS1104Z - Data received, bytes: " + std::to_string(sIdn.size()) + " - (")) << Log();
    EXPECT_TRUE(W(iScpi).gadgets.pSend->isEnabled());

    // Sent without reading, its answer held back: the next request awaits it first, its status
    // says so while it lasts and names the wait apart from the sending when it is done; the
    // request after it waited for nothing and says no wait.
    const auto pGo = std::make_shared<std::atomic<bool>>(false);
    mRaw.AddFault({Sim::eStreamFault::Hold, 0, 0, [pGo] { return pGo->load(); }});
    Click(W(iScpi).gadgets.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    Click(W(iScpi).gadgets.pSendReceive);
    EXPECT_TRUE(WaitFor([&] { return Status(iScpi) == "Awaiting the answer to *IDN? ..."; })) << Status(iScpi);
    *pGo = true;
    ASSERT_TRUE(WaitIdle(iScpi));
    const std::regex awaited("Data received, bytes: " + std::to_string(sIdn.size()) +
                             " - \\([0-9.,]+ ms total, [0-9.,]+ ms of them awaiting the answer to \\*IDN\\?\\)");
    EXPECT_TRUE(std::regex_match(Status(iScpi), awaited)) << Status(iScpi);
    EXPECT_TRUE(LogHas(" ms of them awaiting the answer to *IDN?)\n")) << Log();
    EXPECT_TRUE(LogHas("The answer to \"*IDN?\", sent without reading it, was awaited for ") &&
                LogHas(" ms before the next message: it came and was dropped ("))
        << Log();
    EXPECT_EQ(Received(iScpi), sIdn);
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_EQ(Status(iScpi).find("awaiting"), std::string::npos) << Status(iScpi);
}

TEST_F(WindowScpiCommandTest, LinesAreJoinedBySemicolonsAndBlanksAloneSendNothing) {
    const int iScpi = ConnectedWindow();
    Type(iScpi, "\n  *CLS\n*SRE 16  \n\n");
    Click(W(iScpi).gadgets.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_TRUE(LogHas("SCPI command sent: *CLS;*SRE 16\n")) << Log();
    ASSERT_TRUE(WaitFor([&] { return Units() >= 2; }));
    const auto commands = mRaw.Device().Commands();
    EXPECT_EQ(std::vector<std::string>(commands.end() - 2, commands.end()), (std::vector<std::string>{"*CLS", "*SRE 16"}));

    const std::size_t iBefore = Units();
    Type(iScpi, " \t\n\r\n  ");
    Click(W(iScpi).gadgets.pSendReceive);
    EXPECT_EQ(Status(iScpi), "No SCPI command available.") << Log();
    EXPECT_TRUE(Idle(iScpi));
    EXPECT_EQ(W(iScpi).mOutstanding.size(), 0u);
    EXPECT_EQ(Units(), iBefore);
}

TEST_F(WindowScpiCommandTest, AFileGoesOutBehindTheCommandWithItsBlockHeader) {
    const int iScpi = ConnectedWindow();
    const auto data = Pattern(40368);
    const QString sPath = WriteFile("block.bin", data);
    uGadgets& g = W(iScpi).gadgets;
    Type(iScpi, "SIM:DATA ");
    EXPECT_FALSE(g.pBlockFormat->isEnabled());
    Click(g.pFile);
    EXPECT_TRUE(g.pBlockFormat->isEnabled());
    EXPECT_EQ(g.pCommand->toPlainText(), "SIM:DATA |FILE|");
    Click(g.pBlockFormat);
    EXPECT_EQ(g.pCommand->toPlainText(), "SIM:DATA |#NM||FILE|");
    ChooseFile(iScpi, sPath);
    EXPECT_EQ(g.pFileName->text(), QDir::toNativeSeparators(sPath));
    EXPECT_EQ(g.pFileName->toolTip(), QDir::toNativeSeparators(sPath));
    Click(g.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    ASSERT_TRUE(WaitFor([&] { return mRaw.Device().LastData().size() == data.size(); }));
    EXPECT_EQ(mRaw.Device().LastData(), data);
    const auto commands = mRaw.Device().Commands();
    EXPECT_EQ(commands.back().substr(0, 16), "SIM:DATA #540368");
    EXPECT_TRUE(LogHas("SCPI command sent: SIM:DATA #540368|" + sPath.toStdString() + "|\n")) << Log();
    EXPECT_TRUE(LogHas("Data sent, bytes: ")) << Log();

    // Markers typed in any case go too; unticking the block format takes its marker back.
    Type(iScpi, "sim:data |#nm||File|");
    Click(g.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    ASSERT_TRUE(WaitFor([&] { return mRaw.Device().Commands().size() == commands.size() + 1; }));
    EXPECT_EQ(mRaw.Device().Commands().back().substr(0, 16), "sim:data #540368");
    Type(iScpi, "X |#NM||FILE|");
    Click(g.pBlockFormat);
    EXPECT_EQ(g.pCommand->toPlainText(), "X |FILE|");
    Click(g.pFile);
    EXPECT_EQ(g.pCommand->toPlainText(), "X ");
    EXPECT_FALSE(g.pBlockFormat->isEnabled());
    EXPECT_FALSE(g.pBlockFormat->isChecked());
}

// Without the block format ticked, the file's bytes follow the command as they are: no header.
TEST_F(WindowScpiCommandTest, AFileGoesOutBareWhenTheBlockFormatIsNotTicked) {
    const int iScpi = ConnectedWindow();
    std::string sText; // no byte that ends or splits a unit, so that the device sees one unit
    for (int i = 0; i < 100; ++i) sText.push_back(static_cast<char>('A' + i % 26));
    const QString sPath = WriteFile("bare.txt", std::vector<std::uint8_t>(sText.begin(), sText.end()));
    uGadgets& g = W(iScpi).gadgets;
    Type(iScpi, "SIM:DATA ");
    Click(g.pFile);
    ChooseFile(iScpi, sPath);
    ASSERT_FALSE(g.pBlockFormat->isChecked());
    const std::size_t iBefore = Units();
    Click(g.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    ASSERT_TRUE(WaitFor([&] { return Units() > iBefore; }));
    EXPECT_EQ(mRaw.Device().Commands().back(), "SIM:DATA " + sText);
    EXPECT_TRUE(LogHas("SCPI command sent: SIM:DATA |" + sPath.toStdString() + "|\n")) << Log();
}

// A file of many parts is read over several turns of the loop and goes out whole; a cancel
// while a file is still being read lets go of it, and nothing reaches the instrument.
TEST_F(WindowScpiCommandTest, AFileReadInPartsGoesOutWholeAndACancelDuringTheReadSendsNothing) {
    const int iScpi = ConnectedWindow();
    uGadgets& g = W(iScpi).gadgets;
    const auto data = Pattern((std::size_t{5} << 20) + 123);
    Type(iScpi, "SIM:DATA ");
    Click(g.pFile);
    Click(g.pBlockFormat);
    ChooseFile(iScpi, WriteFile("parts.bin", data));
    // Its reading held a second after the first part: the time shown counts it.
    const auto pHeld = std::make_shared<std::once_flag>();
    WindowScpiCommand::Detail::SetFileReadSeam([pHeld](std::int64_t, std::int64_t) {
        std::call_once(*pHeld, [] { std::this_thread::sleep_for(std::chrono::seconds(1)); });
    });
    Click(g.pSend);
    ASSERT_TRUE(WaitIdle(iScpi, 30000));
    ASSERT_TRUE(WaitFor([&] { return mRaw.Device().LastData().size() == data.size(); }, 30000));
    EXPECT_EQ(mRaw.Device().LastData(), data);
    EXPECT_EQ(mRaw.Device().Commands().back().substr(0, 18), "SIM:DATA #75243003");
    const std::string sSent = Status(iScpi);
    EXPECT_GE(QString::fromStdString(sSent).section('(', -1).section(' ', 0, 0).remove(',').toInt(), 1000)
        << sSent;

    // A file still being read when the cancel or the window's close comes (a sparse file: nothing
    // of it is on the disk). The reading thread is held after its first part until the cancel or
    // the close is done; then it stops at its next look, having read no further part, and ends.
    const QString sHuge = WriteFile("sparse.bin", {});
    ASSERT_TRUE(QFile::resize(sHuge, qint64{900} << 20));
    struct uReading {
        std::mutex mutex;
        std::condition_variable cv;
        int iParts = 0;
        bool fGo = false;
    };
    const auto pReading = std::make_shared<uReading>();
    WindowScpiCommand::Detail::SetFileReadSeam([pReading](std::int64_t, std::int64_t) {
        std::unique_lock lock(pReading->mutex);
        ++pReading->iParts;
        pReading->cv.notify_all();
        pReading->cv.wait(lock, [&] { return pReading->fGo; });
    });
    struct uRestore {
        std::shared_ptr<uReading> p;
        ~uRestore() {
            {
                std::lock_guard lock(p->mutex);
                p->fGo = true;
            }
            p->cv.notify_all();
            WindowScpiCommand::Detail::SetFileReadSeam(nullptr);
        }
    } restore{pReading};
    const std::size_t iBefore = Units();
    enum eHow { Cancel, Close };
    for (const eHow eWay : {Cancel, Close}) {
        SCOPED_TRACE(eWay == Cancel ? "cancel" : "close");
        ASSERT_TRUE(WaitFor([] { return BackgroundThreads::Running() == 0; }, 30000));
        {
            std::lock_guard lock(pReading->mutex);
            pReading->iParts = 0;
            pReading->fGo = false;
        }
        g.pFileName->setText(sHuge);
        Click(g.pSend);
        ASSERT_NE(W(iScpi).pSendFile, nullptr);
        {
            std::unique_lock lock(pReading->mutex);
            ASSERT_TRUE(pReading->cv.wait_for(lock, std::chrono::seconds(30), [&] { return pReading->iParts == 1; }));
        }
        EXPECT_EQ(BackgroundThreads::Running(), 1); // the reading thread, counted
        if (eWay == Cancel) {
            Click(g.pCancel);
            EXPECT_EQ(W(iScpi).pSendFile, nullptr);
        } else {
            EventHub::PostEvent(EventCloseWindowRequest, iMain);
            Settle();
            EXPECT_FALSE(WindowScpiCommand::FindInstance(iScpi, nullptr));
        }
        {
            std::lock_guard lock(pReading->mutex);
            pReading->fGo = true;
        }
        pReading->cv.notify_all();
        EXPECT_TRUE(WaitFor([] { return BackgroundThreads::Running() == 0; }, 30000)); // it has ended
        {
            std::lock_guard lock(pReading->mutex);
            EXPECT_EQ(pReading->iParts, 1); // and read nothing after the cancel or the close
        }
        Settle();
        EXPECT_EQ(Units(), iBefore);
        EXPECT_FALSE(LogHas("|" + sHuge.toStdString() + "|")) << Log();
        if (eWay == Cancel) EXPECT_TRUE(WaitIdle(iScpi));
    }
}

TEST_F(WindowScpiCommandTest, FileFailuresAreLoggedAndLeaveTheWindowIdleWithNothingQueued) {
    const int iScpi = ConnectedWindow();
    uGadgets& g = W(iScpi).gadgets;
    struct uCase {
        QString sFile;
        bool fBlockFormat;
        std::string sLog;
        std::string sStatus = {}; // a send that cannot go out as asked says why here too
    };
    const QString sEmpty = WriteFile("empty.bin", {});
    const QString sMissing = mFiles.filePath("missing.bin");
    // One byte more than nine digits can count (a sparse file: nothing of it is read). Its name
    // holds a control byte, which the status bar shows escaped.
    const QString sHuge = WriteFile("huge\x1B.bin", {});
    ASSERT_TRUE(QFile::resize(sHuge, 1000000000));
    for (const uCase& c :
         {uCase{sEmpty, false, "Error: Not enough memory available.\n"},
          uCase{sMissing, false, "Error: File could not be opened: " + sMissing.toStdString() + "\n"},
          uCase{sHuge, true, "Error: The file is too large for a block header: " + sHuge.toStdString() + "\n",
                "The file is too large for a block header: " + mFiles.filePath("huge\\x1B.bin").toStdString()}}) {
        SCOPED_TRACE(c.sLog);
        WindowLog::Clear(0);
        const std::size_t iBefore = Units();
        Type(iScpi, "SIM:DATA ");
        g.pFile->setChecked(true);
        g.pBlockFormat->setChecked(c.fBlockFormat);
        g.pFileName->setText(c.sFile);
        Click(g.pSendReceive);
        // The file is opened and read by a thread of its own.
        EXPECT_TRUE(WaitFor([&] { return !W(iScpi).pSendFile; }));
        Settle();
        EXPECT_TRUE(LogHas(c.sLog)) << Log();
        EXPECT_FALSE(LogHas("SCPI command sent")) << Log();
        EXPECT_TRUE(Idle(iScpi));
        EXPECT_TRUE(g.pSend->isEnabled());
        EXPECT_EQ(Status(iScpi), c.sStatus);
        EXPECT_TRUE(W(iScpi).mOutstanding.empty());
        Settle();
        EXPECT_EQ(Units(), iBefore);
    }
}

TEST_F(WindowScpiCommandTest, ALongCommandIsLoggedAsItsFirst512CharactersAndDots) {
    const int iScpi = ConnectedWindow();
    const std::string sCommand = "SIM:ECHO? " + std::string(590, 'A');
    ASSERT_EQ(sCommand.size(), 600u);
    Type(iScpi, QString::fromStdString(sCommand));
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_TRUE(LogHas("SCPI command sent: " + sCommand.substr(0, 512) + "...\n")) << Log();
    EXPECT_EQ(Received(iScpi).size(), 591u);
}

TEST_F(WindowScpiCommandTest, SendWithoutAnswerShowsTheSentBytesAndNoAnswer) {
    const int iScpi = ConnectedWindow();
    Type(iScpi, "*CLS");
    Click(W(iScpi).gadgets.pSend);
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_EQ(Status(iScpi).rfind("Data sent, bytes: 5 - (", 0), 0u) << Status(iScpi) << Log();
    EXPECT_EQ(Answer(iScpi), "");
    EXPECT_FALSE(LogHas("Data received")) << Log();
    EXPECT_FALSE(W(iScpi).pReceived);
}

TEST_F(WindowScpiCommandTest, CancelledAnswerIsNeitherShownNorKeptAndTheNextSendIsShown) {
    const int iScpi = ConnectedWindow();
    mRaw.Device().SwallowAnswers(1);
    const std::size_t iCommands = mRaw.Device().Commands().size();
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitFor([&] { return Status(iScpi).rfind("Data sent", 0) == 0; }));
    // The instrument has taken the query (and swallowed its answer): one still in the old
    // connection's buffer when the cancel renews it would never be read, and the swallow would
    // take the next query's answer.
    ASSERT_TRUE(WaitFor([&] { return mRaw.Device().Commands().size() > iCommands; }));
    EXPECT_FALSE(Idle(iScpi));
    EXPECT_FALSE(W(iScpi).gadgets.pSendReceive->isEnabled());
    // "Cancel", then at once a new query, before the cancelled task can report.
    W(iScpi).gadgets.pCancel->click();
    EXPECT_TRUE(Idle(iScpi));
    EXPECT_EQ(Status(iScpi), "The request was cancelled: no answer of it is shown or kept.");
    EXPECT_TRUE(LogHas("DS1104Z - The request was cancelled: no answer of it is shown or kept.\n")) << Log();
    Type(iScpi, "SIM:ECHO? fresh");
    W(iScpi).gadgets.pSendReceive->click();
    EXPECT_FALSE(Idle(iScpi));
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_EQ(Received(iScpi), "fresh\n");
    EXPECT_NE(Answer(iScpi).find("fresh"), std::string::npos);
    EXPECT_EQ(Answer(iScpi).find("RIGOL"), std::string::npos);
    EXPECT_TRUE(W(iScpi).mOutstanding.empty());
}

TEST_F(WindowScpiCommandTest, AnErrorOfTheCurrentSendMakesTheWindowIdleAndTheNextSendWorks) {
    const int iScpi = ConnectedWindow();
    std::string sError;
    ASSERT_NE(mObject->pInterface->AddTask(*mObject, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, 300}, sError), 0);
    mRaw.Device().SwallowAnswers(1);
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitFor([&] { return LogHas("Error: InstrumentDefault::TaskScpiCommand: (0) "); })) << Log();
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_TRUE(W(iScpi).gadgets.pSendReceive->isEnabled());
    Type(iScpi, "SIM:ECHO? after");
    Click(W(iScpi).gadgets.pSendReceive);
    ASSERT_TRUE(WaitIdle(iScpi));
    EXPECT_EQ(Received(iScpi), "after\n");
}

TEST_F(WindowScpiCommandTest, TitleFollowsTheInstrumentAndSendIsInertWhileDisconnected) {
    const int iScpi = OpenScpi(true);
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command (disconnected)");
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    EXPECT_EQ(Status(iScpi), "The instrument is not connected.");
    EXPECT_TRUE(W(iScpi).mOutstanding.empty());
    mObject = Connect(RawPrepare(mRaw.Port()));
    Announce(iScpi, mObject, ProtocolRawTcp);
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command - DS1104Z");
    // A disconnect of another instrument changes nothing.
    EventHub::PostEvent(EventInstrumentDisconnected, iScpi, 0, 12345);
    Settle();
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command - DS1104Z");
    Withdraw(iScpi, mObject);
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command (disconnected)");
    const std::size_t iBefore = Units();
    Click(W(iScpi).gadgets.pSendReceive);
    Click(W(iScpi).gadgets.pSend);
    Settle();
    EXPECT_EQ(Units(), iBefore);
    EXPECT_TRUE(W(iScpi).mOutstanding.empty());
}

TEST_F(WindowScpiCommandTest, AnMdiWindowShowsNoModelAndADisconnectEndsTheWait) {
    const int iScpi = ConnectedWindow();
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command");
    EXPECT_EQ(ChildWindow::MdiFrame(iScpi)->windowTitle(), "SCPI-Command");
    mRaw.Device().SwallowAnswers(1);
    Type(iScpi, "*IDN?");
    Click(W(iScpi).gadgets.pSendReceive);
    EXPECT_FALSE(Idle(iScpi));
    Withdraw(iScpi, mObject);
    EXPECT_TRUE(Idle(iScpi));
    EXPECT_EQ(W(iScpi).pFrame->windowTitle(), "SCPI-Command (disconnected)");
    // Cancel is inert now, and the instrument's late report is dropped.
    W(iScpi).gadgets.pCancel->click();
    EXPECT_FALSE(W(iScpi).fCancelled);
}

TEST_F(WindowScpiCommandTest, AClosingMainWindowClosesTheWindowFirst) {
    const int iScpi = ConnectedWindow(true);
    ASSERT_EQ(WindowScpiCommand::OpenCount(), 1);
    QPointer<WindowFrame> pFrame = W(iScpi).pFrame;
    EventHub::PostEvent(EventCloseWindowRequest, iMain);
    ASSERT_TRUE(WaitFor([&] { return !Record(iMain); }));
    EXPECT_FALSE(WindowScpiCommand::FindInstance(iScpi, nullptr));
    EXPECT_EQ(WindowScpiCommand::OpenCount(), 0);
    Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(pFrame.isNull());
}

TEST_F(WindowScpiCommandTest, GadgetsMenusAndToolbarOfBothForms) {
    const int iSeparate = ConnectedWindow(true);
    uWindowScpiCommand& w = W(iSeparate);
    const uGadgets& g = w.gadgets;
    // The USB-only gadgets are greyed over raw TCP.
    for (QWidget* p : {static_cast<QWidget*>(g.pVendorSpecific.data()), static_cast<QWidget*>(g.pWaitLabel.data()),
                       static_cast<QWidget*>(g.pWaitMav.data()), static_cast<QWidget*>(g.pWaitSrq.data())}) {
        EXPECT_FALSE(p->isEnabled());
    }
    EXPECT_EQ(g.pSendReceive->text(), "Send && Receive");
    EXPECT_EQ(g.pCancel->toolTip(), "The abort may take a few seconds.");
    EXPECT_EQ(g.pFirst->currentText(), "128");
    EXPECT_EQ(g.pLast->currentText(), "32");
    EXPECT_EQ(g.pViewMode->currentText(), "Hex + Ascii");
    EXPECT_TRUE(g.pCommand->font().fixedPitch());
    std::string sButtons;
    for (QAction* p : w.pToolBar->actions()) {
        sButtons += p->isSeparator() ? std::string("|") : std::to_string(p->data().toInt()) + ":" + p->toolTip().toStdString();
        sButtons += "\n";
    }
    EXPECT_EQ(sButtons, "1:Save As...\n|\n9:Copy\n|\n61:Show Main Window\n");
    QStringList mPopup;
    for (QAction* p : w.pPopupMenu->actions()) mPopup << (p->isSeparator() ? "---" : p->text());
    EXPECT_EQ(mPopup.join(","), "&Copy,---,&Save As...");
    // Separate windows carry their menus; Escape is their own.
    EXPECT_NE(WindowStart::FindMenuItem(w.pMenu, WindowStart::MenuSaveAs), nullptr);
    ASSERT_TRUE(w.pEscape);
    EXPECT_EQ(w.pEscape->parent(), w.pFrame.data());

    // MAV and SRQ exclude each other.
    g.pWaitMav->setEnabled(true);
    g.pWaitSrq->setEnabled(true);
    Click(g.pWaitMav);
    Click(g.pWaitSrq);
    EXPECT_FALSE(g.pWaitMav->isChecked());
    EXPECT_TRUE(g.pWaitSrq->isChecked());
    Click(g.pWaitMav);
    EXPECT_TRUE(g.pWaitMav->isChecked());
    EXPECT_FALSE(g.pWaitSrq->isChecked());

    // While busy the answer's items are grey, "Cancel" is not.
    WindowScpiCommand::SetBusyState(iSeparate, true);
    EXPECT_FALSE(WindowStart::FindMenuItem(w.pMenu, WindowStart::MenuSaveAs)->isEnabled());
    EXPECT_FALSE(w.pToolBar->actions()[0]->isEnabled());
    EXPECT_FALSE(g.pViewMode->isEnabled());
    EXPECT_TRUE(g.pCancel->isEnabled());
    WindowScpiCommand::SetBusyState(iSeparate, false);
    EXPECT_TRUE(w.pToolBar->actions()[0]->isEnabled());
}

TEST_F(WindowScpiCommandTest, AnMdiChildPutsEscapeOnItsMainWindowAndHasNoShowMainButton) {
    const int iScpi = OpenScpi();
    uWindowScpiCommand& w = W(iScpi);
    EXPECT_EQ(w.pToolBar->actions().size(), 3);
    Settle();
    ASSERT_TRUE(w.pEscape);
    EXPECT_EQ(w.pEscape->parent(), Record(iMain)->pFrame.data());
    // Item 16 is grey while no instrument is connected, 15 while one is.
    EXPECT_FALSE(WindowStart::FindMenuItem(w.pMenu, WindowStart::MenuDisconnect)->isEnabled());
    mObject = Connect(RawPrepare(mRaw.Port()));
    Announce(iScpi, mObject, ProtocolRawTcp);
    EXPECT_TRUE(WindowStart::FindMenuItem(w.pMenu, WindowStart::MenuDisconnect)->isEnabled());
    EXPECT_FALSE(WindowStart::FindMenuItem(w.pMenu, WindowStart::MenuSelect)->isEnabled());
    // Escape reaches the window as item 267: it stops the drawing of a long answer.
    w.pReceived = std::make_shared<const DataBuffer>(DataBuffer::FromText(std::string(4 * 40960, 'x')));
    w.gadgets.pViewAll->setChecked(true);
    WindowScpiCommand::ShowData(iScpi);
    ASSERT_TRUE(w.view.refreshThread.joinable());
    emit w.pEscape->activated();
    Settle();
    EXPECT_FALSE(w.view.refreshThread.joinable());
    std::lock_guard lock(w.view.pShared->viewMutex);
    EXPECT_TRUE(w.view.pShared->fStopRefresh);
}

// The pieces of the send road on their own.
TEST(ScpiCommandText, PreparingTrimsJoinsAndKeepsLoneBreaks) {
    using WindowScpiCommand::Detail::PrepareCommand;
    EXPECT_EQ(PrepareCommand("\n\t *IDN? \n"), "*IDN?");
    EXPECT_EQ(PrepareCommand("A\nB\n\nC"), "A;B;;C");
    EXPECT_EQ(PrepareCommand("A\r\nB"), "A;B");
    EXPECT_EQ(PrepareCommand("A\rB"), "A\rB");
    EXPECT_EQ(PrepareCommand(" \r\n\t "), "");
    using WindowScpiCommand::Detail::RemoveMarkers;
    EXPECT_EQ(RemoveMarkers("X |#nM||fIlE|"), "X ");
    EXPECT_EQ(RemoveMarkers("|FILE|A|FILE"), "A|FILE");
    using WindowScpiCommand::Detail::CutForLog;
    EXPECT_EQ(CutForLog(std::string(512, 'x')), std::string(512, 'x'));
    EXPECT_EQ(CutForLog(std::string(513, 'x')), std::string(512, 'x') + "...");
}

} // namespace
