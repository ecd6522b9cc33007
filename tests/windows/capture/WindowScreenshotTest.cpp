// The real screenshot window in a real main window, over raw TCP to the simulated Rigol DS1000Z,
// R&S RTB2000, HAMEG HM2008 and Siglent SDS2000X Plus: the picture shown in the viewer and saved
// through the requester equals the simulator's screen processed as chosen; the control rows go
// out in order; an automatic run saves one distinct file per shot quietly; an answer that is no
// picture, an unwritable folder, and "&Scale" kept in step with the viewer; and every model with a
// screen copy, whose saved picture has the pixels its instrument sent.
#include "app/FrameTestSupport.h"
#include "common/FileDialogAnswer.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/ModelCommands.h"
#include "sim/HamegScope.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/RtbScope.h"
#include "sim/ScreenCopyAnswers.h"
#include "sim/SiglentScope.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/ScreenshotImages.h"
#include "windows/capture/WindowScreenshot.h"
#include "windows/capture/WindowScreenshotViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <type_traits>

namespace {

using namespace FrameTestSupport;

QImage Rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

class WindowScreenshotTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        WindowScreenshot::RegisterKind();
        WindowScreenshotViewer::RegisterKind();
        ImagePluginGdiPlus::Startup();
        WindowLog::Create();
        WindowLog::Clear(0);
        std::string sError;
        ASSERT_TRUE(server.Start(sError)) << sError;
    }
    void TearDown() override {
        FrameTest::TearDown();
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
    }

    // The screenshot window of a new main window, its instrument connected over raw TCP.
    WindowScreenshotWindow& OpenFor(eModel model, const std::string& sMaker, const std::string& sModel) {
        std::string sError;
        object = Instrument::Create(sError);
        EXPECT_TRUE(object) << sError;
        uTaskPrepare prepare;
        prepare.head = {InstrumentTaskPrepare, 0, WindowNobody};
        prepare.eProtocol = prepare.eInterface = InterfaceRawTcp;
        prepare.rawTcp = {"127.0.0.1", "127.0.0.1", server.Port()};
        // The connection knows its model as the instrument list's does: its answer end follows it.
        prepare.eModel = model;
        EXPECT_NE(object->pInterface->AddTask(*object, prepare, sError), 0) << sError;
        EXPECT_NE(object->pInterface->AddTask(*object, uTaskConnect{{InstrumentTaskConnect, 0, WindowNobody}}, sError), 0);
        EXPECT_TRUE(WaitFor([&] { return object->pInterface->IsConnected(*object); }, 10000));
        iMain = OpenMain();
        Choose(iMain, WindowStart::MenuScreenshot);
        const auto found = ChildrenOf(iMain, WindowKindScreenshot);
        EXPECT_EQ(found.size(), 1u);
        iShot = found.empty() ? 0 : found[0].iWindow;
        uInstrumentWindowInfo& info = Record(iMain)->info;
        info.eProtocol = ProtocolRawTcp;
        info.eModel = model;
        info.sManufacturer = sMaker;
        info.sModel = sModel;
        info.fConnected = true;
        info.pInstrument = object;
        Instrument::GetModelCommands(model, info.commands);
        Instrument::GetModelCapabilities(model, info.capabilities);
        EventHub::PostEvent(EventInstrumentConnected, iShot, 0, 0, EventHub::Payload::Of<uInstrumentWindowInfo>(info));
        Settle();
        return W();
    }
    WindowScreenshotWindow& W() const { return *WindowScreenshot::Find(iShot); }

    // Ticks option rows as clicks do and lets the deferred update run.
    void Tick(std::initializer_list<std::int64_t> ids) {
        for (std::int64_t iId : ids) ASSERT_TRUE(W().gadgets.pOptionList->SetChecked(iId, true)) << iId;
        ASSERT_TRUE(WaitFor([&] { return !W().gadgets.pOptionList->Pending(); }, 10000));
        Settle();
    }
    bool Idle() const { return W().gadgets.pRead->isEnabled() && W().iJobs == 0 && W().pump.iCurrentTask == 0; }
    // "Screenshot" and the picture it brings.
    bool Shoot() {
        W().gadgets.pRead->click();
        return WaitFor([&] { return EventHub::Pending() == 0 && Idle(); }, 20000);
    }
    int Viewer() {
        W().gadgets.pShow->click();
        EXPECT_TRUE(WaitFor([&] { return W().iViewer != 0; }, 10000));
        return W().iViewer;
    }
    QImage Shown(int iViewer) {
        uWindowScreenshotViewer* p = nullptr;
        if (!WindowScreenshotViewer::GetInstance(iViewer, &p)) return {};
        return p->image;
    }
    // File > Save As... with the window active, through the requester into sFile.
    void SaveAs(const QString& sFile) {
        bool fSeen = false;
        WhenModal<QFileDialog>([&](QFileDialog* pDialog) {
            fSeen = pDialog->windowTitle() == "Save as";
            FileDialogAnswer::Choose(pDialog, sFile);
            QMetaObject::invokeMethod(pDialog, "accept");
        });
        Choose(iMain, WindowStart::MenuSaveAs);
        EXPECT_TRUE(fSeen);
        EXPECT_TRUE(WaitFor([&] { return W().iJobs == 0 && EventHub::Pending() == 0; }, 10000));
    }
    void ShowViewerAndSave(const QImage& expected) {
        const int iViewer = Viewer();
        ASSERT_TRUE(WaitFor([&] { return !Shown(iViewer).isNull(); }, 10000));
        EXPECT_EQ(Rgb(Shown(iViewer)), Rgb(expected));
        uWindowScreenshotViewer* p = nullptr; // it counts the picture it shows
        EXPECT_TRUE(WindowScreenshotViewer::GetInstance(iViewer, &p) && p->viewer.pStatus->text().startsWith("Count: 1  -  "));
        SaveAs(dir.filePath("saved"));
        const QImage saved(dir.filePath("saved.png"));
        ASSERT_FALSE(saved.isNull());
        EXPECT_EQ(Rgb(saved), Rgb(expected));
        EXPECT_NE(WindowLog::Text().find("The screenshot are saved: " + dir.filePath("saved.png").toStdString()),
                  std::string::npos);
    }

    Sim::RawTcpServer server;
    InstrumentObject object;
    int iMain = 0;
    int iShot = 0;
    QTemporaryDir temp;
};

TEST_F(WindowScreenshotTest, RigolBmpIsShownAndSavedAsReceived) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    const QImage screen = Sim::ScreenPicture(800, 480);
    Sim::AnswerRigolScreenCopy(server.Device(), screen);
    WindowScreenshotWindow& w = OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    EXPECT_EQ(w.pFrame->windowTitle(), "Screenshot");
    ASSERT_TRUE(Shoot());
    ASSERT_FALSE(w.processed.isNull());
    EXPECT_EQ(Rgb(w.processed), Rgb(screen));
    EXPECT_EQ(server.Device().Commands(), std::vector<std::string>{":DISP:DATA? ON,OFF,BMP24"});
    ShowViewerAndSave(screen);
}

TEST_F(WindowScreenshotTest, RtbPngBlockIsCutOffAndInverted) {
    Sim::RtbScope scope(false);
    scope.Attach(server.Device());
    const QImage screen = Sim::ScreenPicture(800, 480);
    scope.SetScreen(screen);
    OpenFor(ModelRohdeSchwarzRTB2000Ch2, "Rohde&Schwarz", "RTB2002");
    Tick({1000, 1001, 1011});
    EXPECT_EQ(W().gadgets.pPanel->tabText(1), "Options *");
    ASSERT_TRUE(Shoot());
    EXPECT_EQ(scope.HardcopyFormat(), "PNG");
    QImage expected = screen.copy(0, 24, 800, 456).convertToFormat(QImage::Format_RGB32);
    expected.invertPixels();
    ASSERT_EQ(W().processed.size(), QSize(800, 456));
    EXPECT_EQ(Rgb(W().processed), expected);
    ShowViewerAndSave(expected);
    // Unticking "Colors inverted" processes the picture again at once, without a new reading.
    const std::size_t iCommands = server.Device().Commands().size();
    ASSERT_TRUE(W().gadgets.pOptionList->SetChecked(1011, false));
    ASSERT_TRUE(WaitFor([&] { return Rgb(W().processed) == Rgb(screen.copy(0, 24, 800, 456)); }, 10000));
    EXPECT_EQ(server.Device().Commands().size(), iCommands);
}

TEST_F(WindowScreenshotTest, HamegDumpOf768InBlackAndWhite) {
    Sim::HamegScope scope(Sim::HamegScope::eModel::HM2008);
    scope.Attach(server.Device());
    Sim::DisplayDump dump;
    dump.Origin(0, 0).TraceHeader(0, 0, Sim::DisplayDump::TypeAnalogue, 1).Samples({10, 50, 90, 130}).EndRun().End();
    Sim::AnswerHamegDisplayDump(server.Device(), dump, "CH1");
    OpenFor(ModelHamegHM2008, "HAMEG", "HM2008");
    // A time-out far longer than a shot takes: a dump read that waits for its answer end to
    // come stands out. The answers end at LF CR; the dump must end there, whole, both times.
    std::string sError;
    ASSERT_NE(object->pInterface->AddTask(*object, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, 20000}, sError),
              0);
    Tick({2040, 2042, 2044});
    for (int iShot = 0; iShot < 2; ++iShot) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(Shoot());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << iShot;
    }
    EXPECT_EQ(WindowLog::Text().find("Error: "), std::string::npos) << WindowLog::Text();
    ASSERT_EQ(W().processed.size(), QSize(768, 768));
    // The same answer drawn directly.
    std::vector<std::uint8_t> answer = dump.Answer("CH1");
    QImage expected;
    ASSERT_TRUE(ScreenshotImages::Decode(answer.data(), answer.size(), {true, ModelHamegHM2008, 2, true}, expected));
    EXPECT_EQ(Rgb(W().processed), Rgb(expected));
    EXPECT_EQ(W().processed.pixel(384, 2), qRgb(255, 255, 255));
}

TEST_F(WindowScreenshotTest, SiglentBmpWithoutHeader) {
    Sim::SiglentScope scope(Sim::SiglentScope::eModel::SDS2104XPlus);
    scope.Attach(server.Device());
    const QImage screen = Sim::ScreenPicture(1024, 600);
    Sim::AnswerSiglentScreenCopy(server.Device(), screen);
    OpenFor(ModelSiglentSDS2000XPlusCh4, "Siglent Technologies", "SDS2104X Plus");
    ASSERT_TRUE(Shoot());
    EXPECT_EQ(Rgb(W().processed), Rgb(screen));
}

TEST_F(WindowScreenshotTest, ControlRowsGoOutInOrderAroundTheQuery) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(80, 48));
    OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    Tick({2000, 2001, 2003, 2005, 2020, 2023});
    server.AddFault({Sim::eStreamFault::Delay, 500}); // the trigger's answer: the shot's time counts it
    ASSERT_TRUE(Shoot());
    // The shot ends once ":RUN" is written; the simulator may take it a moment later.
    WaitFor([&] { return server.Device().Commands().size() >= 4; }, 10000);
    EXPECT_EQ(server.Device().Commands(),
              (std::vector<std::string>{":STOP", ":TRIG:STAT?", ":DISP:DATA? ON,OFF,BMP24", ":RUN"}));
    const QString sLog = QString::fromStdString(WindowLog::Text());
    EXPECT_GE(sLog.left(sLog.indexOf(" ms total)")).section('(', -1).remove(',').toInt(), 500)
        << sLog.toStdString();
}

TEST_F(WindowScreenshotTest, AutomaticRunSavesOneFilePerShotQuietly) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(80, 48));
    WindowScreenshotWindow& w = OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    w.sTemplate = "shot"; // every name equal: the tick and the counter tell them apart
    QString sTitle;
    QTimer::singleShot(0, [&] {
        auto* pDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!pDialog) return;
        sTitle = pDialog->windowTitle();
        pDialog->selectFile(temp.path());
        QMetaObject::invokeMethod(pDialog, "accept");
    });
    w.gadgets.pSelectFolder->click();
    EXPECT_EQ(sTitle, "Save as");
    ASSERT_EQ(w.sAutomaticFolder, temp.path().toStdString() + "/");
    w.gadgets.pAutomatic->click();
    w.gadgets.pSaveToFolder->click();
    w.gadgets.pInterval->setText("20");
    w.gadgets.pUnit->setCurrentIndex(0);
    WindowLog::Clear(0);
    w.gadgets.pRead->click();
    ASSERT_TRUE(WaitFor([&] { return QDir(temp.path()).entryList(QDir::Files).size() >= 4; }, 30000));
    w.gadgets.pCancel->click();
    ASSERT_TRUE(WaitFor([&] { return EventHub::Pending() == 0 && Idle(); }, 20000));
    // A shot whose answer came before "Cancel" is still saved and counted, and the status says so.
    const int iFiles = static_cast<int>(QDir(temp.path()).entryList(QDir::Files).size());
    EXPECT_EQ(w.pump.iCount, iFiles);
    const std::string sCancelled = "The automatic reading was cancelled. Screenshots: " + std::to_string(iFiles) +
                                   " - Saved: " + std::to_string(iFiles);
    EXPECT_EQ(w.Status(), sCancelled);
    HoverMenuItem(w.pFrame); // the count stays
    EXPECT_EQ(w.Status(), sCancelled);
    const std::string sLog = WindowLog::Text();
    EXPECT_NE(sLog.find("The automatic reading of the screenshots was stopped. Count: "), std::string::npos);
    EXPECT_EQ(sLog.find("Data received, bytes: "), std::string::npos);
    EXPECT_EQ(sLog.find("The screenshot are saved: "), std::string::npos);
}

// An automatic run that an error ends by itself unticks "Automatically" and says so in the
// status line: the folder gone under the run while its shots wait for the window (one box); no
// answer coming.
TEST_F(WindowScreenshotTest, AnAutomaticRunEndedByAnErrorUnticksAutomatically) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(80, 48));
    WindowScreenshotWindow& w = OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    const QString sFolder = temp.filePath("run");
    ASSERT_TRUE(QDir().mkpath(sFolder));
    w.sAutomaticFolder = sFolder.toStdString() + "/";
    int iBoxes = 0;
    QTimer answerBox; // the requester of the failed save
    QObject::connect(&answerBox, &QTimer::timeout, [&] {
        if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) ++iBoxes, pBox->accept();
    });
    answerBox.start(20);
    // The worker's results pass through the test, which holds them back while it waits for the
    // run to be where it asks (shared: the binding outlives the test).
    struct uResults {
        bool fHold = false;
        std::vector<EventHub::uEvent> held;
    };
    const auto pResults = std::make_shared<uResults>();
    const auto apply = [iSelf = iShot](const EventHub::uEvent& event) {
        WindowScreenshotWindow* p = WindowScreenshot::Find(iSelf);
        if (const auto* pResult = event.pData.Get<uScreenshotResult>(); p && pResult) p->ApplyResult(*pResult);
    };
    EventHub::Bind(EventScreenshotProcessed, iShot, [pResults, apply](const EventHub::uEvent& event) {
        if (pResults->fHold) pResults->held.push_back(event);
        else apply(event);
    });
    const auto saves = [&](bool fSaved) {
        return std::count_if(pResults->held.begin(), pResults->held.end(), [&](const EventHub::uEvent& event) {
            const auto* pResult = event.pData.Get<uScreenshotResult>();
            return pResult && pResult->fSaveTried && pResult->fSaved == fSaved;
        });
    };
    const struct {
        const char* sName;
        bool fSaveToMissingFolder; // else the second shot's answer never comes
        std::string sStatus;       // how the status line begins
    } cases[] = {
        {"FolderGoneUnderTheRun", true, "The file could not be created: " + w.sAutomaticFolder},
        {"NoAnswer", false, "The data could not be received. The instrument did not answer within 300 ms."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sName);
        if (w.gadgets.pSaveToFolder->isChecked() != c.fSaveToMissingFolder) w.gadgets.pSaveToFolder->click();
        if (!c.fSaveToMissingFolder) {
            std::string sError;
            ASSERT_NE(object->pInterface->AddTask(*object, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, 300},
                                                  sError),
                      0);
            server.AddFault({Sim::eStreamFault::NoReply, 0, 1});
        }
        if (!w.gadgets.pAutomatic->isChecked()) w.gadgets.pAutomatic->click();
        w.gadgets.pInterval->setText("20");
        w.gadgets.pUnit->setCurrentIndex(0);
        WindowLog::Clear(0);
        pResults->fHold = c.fSaveToMissingFolder;
        w.gadgets.pRead->click();
        if (c.fSaveToMissingFolder) {
            // A shot saved, then the folder goes: two shots of the run fail to save before the
            // window hears of the first.
            ASSERT_TRUE(WaitFor([&] { return saves(true) > 0; }, 30000));
            ASSERT_TRUE(QDir().rename(sFolder, sFolder + ".away") && QFile(sFolder).open(QIODevice::WriteOnly));
            ASSERT_TRUE(WaitFor([&] { return saves(false) >= 2; }, 30000));
            pResults->fHold = false;
            for (const EventHub::uEvent& event : std::exchange(pResults->held, {})) apply(event);
        }
        ASSERT_TRUE(WaitFor([&] { return !w.pump.fAutomatic && Idle(); }, 30000)) << WindowLog::Text();
        EXPECT_EQ(iBoxes, 1);
        EXPECT_FALSE(w.gadgets.pAutomatic->isChecked());
        EXPECT_FALSE(w.fAutomaticChecked);
        EXPECT_EQ(w.Status().rfind("The automatic reading stopped: " + c.sStatus, 0), 0u) << w.Status();
        // Then what the run kept: every shot it counted, those saved as the files written.
        const std::string sSaved = " - Saved: " + std::to_string(QDir(sFolder + ".away").entryList({"*.png"}).size());
        EXPECT_TRUE(w.Status().ends_with(" Screenshots: " + std::to_string(w.pump.iCount) +
                                         (c.fSaveToMissingFolder ? sSaved : "")))
            << w.Status();
        // The failed request in plain words, the transport's record on a line of its own.
        if (!c.fSaveToMissingFolder)
            EXPECT_NE(WindowLog::Text().find("DS1104Z - " + c.sStatus + "\n"), std::string::npos) << WindowLog::Text();
        EXPECT_NE(WindowLog::Text().find("The automatic reading of the screenshots was stopped. Count: "),
                  std::string::npos);
    }
}

TEST_F(WindowScreenshotTest, AnAnswerThatIsNoPictureAndAnUnwritableFolder) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    server.Device().SetAnswer(":DISP:DATA? ON,OFF,BMP24", {'#', '1', '5', 'H', 'E', 'L', 'L', 'O', '\n'});
    WindowScreenshotWindow& w = OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    ASSERT_TRUE(Shoot());
    EXPECT_TRUE(w.processed.isNull());
    EXPECT_EQ(w.Status(), "The data could not be converted into an image.");
    EXPECT_NE(WindowLog::Text().find("DS1104Z - The data could not be converted into an image."), std::string::npos);

    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(80, 48));
    w.sAutomaticFolder = temp.filePath("missing").toStdString() + "/";
    w.gadgets.pSaveToFolder->click();
    QString sBox;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            sBox = pBox->text();
            pBox->accept();
        }
    });
    timer.start(20);
    ASSERT_TRUE(Shoot());
    ASSERT_TRUE(WaitFor([&] { return !sBox.isEmpty(); }, 10000));
    const std::string sFailure = "The file could not be created: " + w.sAutomaticFolder;
    EXPECT_EQ(sBox.toStdString().rfind("The screenshot could not be saved.\n" + sFailure, 0), 0u)
        << sBox.toStdString();
    EXPECT_EQ(w.Status().rfind(sFailure, 0), 0u);
    EXPECT_NE(w.Status().find(" (No such file or directory)"), std::string::npos);
}

// The status line tells the last save's outcome: a failure (a read-only file has the name),
// then a save that works, whose own text replaces the failure.
TEST_F(WindowScreenshotTest, AGoodSaveAfterAFailedOneShowsItsOwnText) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(80, 48));
    WindowScreenshotWindow& w = OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    ASSERT_TRUE(Shoot());
    const std::string sReadOnly = dir.filePath("ro.png").toStdString(), sGood = dir.filePath("good.png").toStdString();
    {
        QFile file(QString::fromStdString(sReadOnly));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("older");
    }
    ASSERT_EQ(::chmod(sReadOnly.c_str(), 0444), 0);
    int iBoxes = 0; // the failure's message boxes
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!pBox) return;
        if (QAbstractButton* pYes = pBox->button(QMessageBox::Yes)) { // the requester's "replace it?"
            pYes->click();
            return;
        }
        iBoxes += pBox->text().startsWith("The screenshot could not be saved.") ? 1 : 0;
        pBox->accept();
    });
    timer.start(20);
    SaveAs(QString::fromStdString(sReadOnly));
    ASSERT_TRUE(WaitFor([&] { return iBoxes == 1; }, 10000));
    EXPECT_EQ(w.Status(), "The file could not be created: " + sReadOnly + " (Permission denied)");
    SaveAs(QString::fromStdString(sGood));
    EXPECT_EQ(w.Status(), "The screenshot are saved: " + sGood);
    EXPECT_FALSE(QImage(QString::fromStdString(sGood)).isNull());
    EXPECT_EQ(iBoxes, 1);
    ::chmod(sReadOnly.c_str(), 0644);
}

TEST_F(WindowScreenshotTest, ScaleIsKeptInStepWithTheViewer) {
    Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
    scope.Attach(server.Device());
    Sim::AnswerRigolScreenCopy(server.Device(), Sim::ScreenPicture(80, 48));
    WindowScreenshotWindow& w = OpenFor(ModelRigolDS1000Z, "RIGOL TECHNOLOGIES", "DS1104Z");
    ASSERT_TRUE(Shoot());
    EXPECT_EQ(w.fViewScale, 1);
    QAction* pScale = WindowStart::FindMenuItem(w.pMenu, WindowStart::MenuScale);
    ASSERT_NE(pScale, nullptr);
    EXPECT_FALSE(pScale->isEnabled()); // no viewer yet
    const int iViewer = Viewer();
    ASSERT_TRUE(WaitFor([&] { return !Shown(iViewer).isNull(); }, 10000));
    EXPECT_TRUE(pScale->isEnabled());
    EXPECT_TRUE(pScale->isChecked());
    EventHub::PostEvent(EventMenu, iShot, WindowStart::MenuScale);
    uWindowScreenshotViewer* pViewer = nullptr;
    ASSERT_TRUE(WindowScreenshotViewer::GetInstance(iViewer, &pViewer));
    ASSERT_TRUE(WaitFor([&] { return pViewer->fScale == 0 && EventHub::Pending() == 0 && w.iJobs == 0; }, 10000));
    EXPECT_EQ(w.fViewScale, 0);
    EXPECT_FALSE(pScale->isChecked());
    // The viewer's own toggle comes back to the window.
    EventHub::PostEvent(EventMenu, iViewer, WindowStart::MenuScale);
    ASSERT_TRUE(WaitFor([&] { return w.fViewScale == 1; }, 10000));
    EXPECT_TRUE(pScale->isChecked());
}

// Every model with a screen copy, through "Screenshot" and "Save...": the saved PNG has the
// pixels of the picture the simulated instrument sent, in the answer form of its maker's guide.
struct uShotCase {
    const char* sName;
    eModel model;
    const char* sMaker;
    const char* sModel;
    // Teaches the device the model's screen-copy answer showing the screen; keeps the
    // simulator that answers it alive.
    std::function<std::shared_ptr<void>(Sim::ScpiDevice&, const QImage&)> teach;
};

std::ostream& operator<<(std::ostream& out, const uShotCase& c) { return out << c.sName; }

// A simulated oscilloscope (its constructor's argument given) showing the screen. Without
// "Display Dump" a HAMEG copies its screen as a picture: ":HCOPy:DATA?" answers the BMP file (the
// default format) as a definite-length block.
template <class Scope, auto Argument> std::shared_ptr<void> ScopeShot(Sim::ScpiDevice& device, const QImage& screen) {
    auto p = std::make_shared<Scope>(Argument);
    p->Attach(device);
    if constexpr (std::is_same_v<Scope, Sim::RigolScope>) {
        Sim::AnswerRigolScreenCopy(device, screen);
    } else if constexpr (std::is_same_v<Scope, Sim::RtbScope>) {
        p->SetScreen(screen);
    } else if constexpr (std::is_same_v<Scope, Sim::SiglentScope>) {
        Sim::AnswerSiglentScreenCopy(device, screen);
    } else {
        std::vector<std::uint8_t> answer = Sim::BmpFile(screen, false);
        const std::string sCount = std::to_string(answer.size());
        const std::string sHeader = "#" + std::to_string(sCount.size()) + sCount;
        answer.insert(answer.begin(), sHeader.begin(), sHeader.end());
        device.SetAnswer(":HCOPy:DATA?", answer);
    }
    return p;
}
// The other Rigol instruments answer their query with the BMP file as a "#9" block and LF.
std::function<std::shared_ptr<void>(Sim::ScpiDevice&, const QImage&)> RigolBlockShot(const std::string& sQuery) {
    return [sQuery](Sim::ScpiDevice& device, const QImage& screen) {
        device.SetAnswer(sQuery, Sim::RigolBlock(Sim::BmpFile(screen, false)));
        return std::shared_ptr<void>();
    };
}
// The spectrum analyser's screen dump is the BMP file alone, then LF.
std::shared_ptr<void> SiglentDumpShot(Sim::ScpiDevice& device, const QImage& screen) {
    device.SetBareAnswer("SCDP", Sim::SiglentScreenCopyAnswer(screen, Sim::eImageFile::Bmp));
    return nullptr;
}

using Family = Sim::RigolScope::eFamily;
using Siglent = Sim::SiglentScope::eModel;
using Hameg = Sim::HamegScope::eModel;
using Rigol = Sim::RigolScope;
using Sds = Sim::SiglentScope;
constexpr const char *RIGOL = "RIGOL TECHNOLOGIES", *Rigol_ = "Rigol Technologies", *Siglent_ = "Siglent Technologies";
const uShotCase ShotCases[] = {
    {"DS1000Z", ModelRigolDS1000Z, RIGOL, "DS1104Z", ScopeShot<Rigol, Family::DS1000Z>},
    {"DS1000ZPlus", ModelRigolDS1000ZPlus, RIGOL, "MSO1104Z", ScopeShot<Rigol, Family::DS1000ZPlus>},
    {"DS2000", ModelRigolDS2000, RIGOL, "DS2202", ScopeShot<Rigol, Family::DS2000>},
    {"MSO2000", ModelRigolMSO2000, RIGOL, "MSO2302", ScopeShot<Rigol, Family::MSO2000>},
    {"MSO5000Ch2", ModelRigolMSO5000Ch2, RIGOL, "MSO5072", RigolBlockShot(":DISP:DATA?")},
    {"MSO5000Ch4", ModelRigolMSO5000Ch4, RIGOL, "MSO5104", RigolBlockShot(":DISP:DATA?")},
    {"DSA", ModelRigolDSA, Rigol_, "DSA815", RigolBlockShot(":PRIV:SNAP? BMP")},
    {"DG4000", ModelRigolDG4000, Rigol_, "DG4162", RigolBlockShot(":HCOP:SDUM:DATA?")},
    {"DP800", ModelRigolDP800, RIGOL, "DP832", RigolBlockShot(":SYST:PRINT? BMP")},
    {"DM3068", ModelRigolDM3068, Rigol_, "DM3068", RigolBlockShot(":DISP:DATA?")},
    {"RTB2002", ModelRohdeSchwarzRTB2000Ch2, "Rohde&Schwarz", "RTB2002", ScopeShot<Sim::RtbScope, false>},
    {"RTB2004", ModelRohdeSchwarzRTB2000Ch4, "Rohde&Schwarz", "RTB2004", ScopeShot<Sim::RtbScope, true>},
    {"SDS2102XPlus", ModelSiglentSDS2000XPlusCh2, Siglent_, "SDS2102X Plus", ScopeShot<Sds, Siglent::SDS2102XPlus>},
    {"SDS2104XPlus", ModelSiglentSDS2000XPlusCh4, Siglent_, "SDS2104X Plus", ScopeShot<Sds, Siglent::SDS2104XPlus>},
    {"SDS5032X", ModelSiglentSDS5000XCh2, Siglent_, "SDS5032X", ScopeShot<Sds, Siglent::SDS5032X>},
    {"SDS5034X", ModelSiglentSDS5000XCh4, Siglent_, "SDS5034X", ScopeShot<Sds, Siglent::SDS5034X>},
    {"SVA1000X", ModelSiglentSVA1000X, Siglent_, "SVA1015X", SiglentDumpShot},
    {"HM2008", ModelHamegHM2008, "HAMEG", "HM2008", ScopeShot<Sim::HamegScope, Hameg::HM2008>},
    {"HM1508", ModelHamegHM1508, "HAMEG", "HM1508", ScopeShot<Sim::HamegScope, Hameg::HM1508>},
    {"HM1008", ModelHamegHM1008, "HAMEG", "HM1008", ScopeShot<Sim::HamegScope, Hameg::HM1008>},
};

class ScreenCopyTableTest : public WindowScreenshotTest, public ::testing::WithParamInterface<uShotCase> {};

TEST_P(ScreenCopyTableTest, TheSavedPictureHasThePixelsTheInstrumentSent) {
    const uShotCase& c = GetParam();
    const QImage screen = Sim::ScreenPicture(160, 96);
    const std::shared_ptr<void> pSimulator = c.teach(server.Device(), screen);
    WindowScreenshotWindow& w = OpenFor(c.model, c.sMaker, c.sModel);
    // Longer than the wait for the shot: a read that waits for more than the answer fails it.
    std::string sError;
    ASSERT_NE(object->pInterface->AddTask(*object, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, 20000}, sError),
              0);
    ASSERT_TRUE(Shoot());
    ASSERT_FALSE(w.processed.isNull()) << WindowLog::Text();
    EXPECT_EQ(Rgb(w.processed), Rgb(screen));
    SaveAs(temp.filePath(c.sName));
    const QImage saved(temp.filePath(QString(c.sName) + ".png"));
    ASSERT_FALSE(saved.isNull()) << WindowLog::Text();
    EXPECT_EQ(Rgb(saved), Rgb(screen));
    EXPECT_EQ(WindowLog::Text().find("Error"), std::string::npos) << WindowLog::Text();
}

INSTANTIATE_TEST_SUITE_P(Models, ScreenCopyTableTest, ::testing::ValuesIn(ShotCases),
                         [](const ::testing::TestParamInfo<uShotCase>& info) { return std::string(info.param.sName); });

} // namespace
