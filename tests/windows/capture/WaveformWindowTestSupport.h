// Shared by the waveform window tests: a real main window with the real waveform window and
// viewer, connected over raw TCP to a simulated oscilloscope the way the instrument list does it
// (an instrument object prepared for the address, handed to the main window, which connects
// and identifies it), and helpers that drive the window's gadgets and its requesters.
#pragma once

#include "app/FrameTestSupport.h"
#include "common/EventData.h"
#include "common/FileDialogAnswer.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentObject.h"
#include "instrument/TaskRecords.h"
#include "sim/RawTcpServer.h"
#include "waveform/WaveformWriters.h"
#include "windows/capture/OptionList.h"
#include "windows/capture/Template.h"
#include "windows/capture/WaveformChecks.h"
#include "windows/capture/WindowWaveform.h"
#include "windows/capture/WindowWaveformViewer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace WaveformWindowTest {

using namespace FrameTestSupport;

class WaveformWindowTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        WindowWaveform::RegisterKind();
        WindowWaveformViewer::RegisterKind();
        WaveformChecks::Install();
        WaveformWriters::Register();
        Template::RegisterExpander();
        // An earlier test's log is bound to the hub made before this test's: it would drop the
        // lines the save thread posts. Made anew here.
        WindowLog::Close(1);
        WindowLog::Create();
        WindowLog::Clear(0);
        std::string sError;
        ASSERT_TRUE(server.Start(sError)) << sError;
        ASSERT_TRUE(out.isValid());
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << WindowLog::Text() << "\n";
        FrameTest::TearDown();
        std::string sError;
        Instrument::ReleaseAll(true, 0, sError);
        server.Stop();
        Utility::EventDataClear();
    }

    // A main window connected to the simulator as the instrument list connects one; the
    // transfer time-out is generous so that a held answer outlasts the test's steps.
    void ConnectMain(int iTimeout = 60000) { iMain = ConnectMainTo(server, object, iTimeout); }
    int ConnectMainTo(Sim::RawTcpServer& peer, InstrumentObject& instrument, int iTimeout = 60000) {
        const int iWindow = OpenMain();
        // An instrument entered by address, with the maker and model chosen in the add form: the
        // test's choice, else those the simulated instrument names. (Left to the connect's
        // identification, a loaded machine that misses its 200 ms would leave it unidentified,
        // offering no waveform window.)
        std::string sMaker = sUserMaker, sModel = sUserModel;
        if (sMaker.empty() && sModel.empty()) {
            const std::string sIdn = peer.Device().Idn();
            const std::size_t iComma = sIdn.find(',');
            sMaker = sIdn.substr(0, iComma);
            sModel = iComma == std::string::npos ? "" : sIdn.substr(iComma + 1, sIdn.find(',', iComma + 1) - iComma - 1);
        }
        instrument = RawInstrument(peer.Port(), sMaker, sModel);
        if (!instrument) return iWindow;
        PostConnect(iWindow, instrument);
        EXPECT_TRUE(WaitFor([&] { return Record(iWindow)->info.fConnected; }, 20000)) << WindowLog::Text();
        // The connect's menu states reach the shown child's bar through posted events.
        Settle();
        // The time-out is set on the open connection (before it, the task is refused, and the
        // connect sets the interface's default anyway); the tasks run in order, so every later
        // task of the test's steps finds it.
        std::string sError;
        EXPECT_NE(instrument->pInterface->AddTask(
                      *instrument, uTaskTimeout{{InstrumentTaskTimeout, 0, WindowNobody}, iTimeout}, sError),
                  0)
            << sError;
        return iWindow;
    }

    // "&Waveform..." of the main window, with Ctrl for a separate window.
    int OpenWaveform(bool fSeparate = false) { return OpenWaveformOf(iMain, fSeparate); }
    // The connect's menu state reaches the shown bar through posted events, which a busy machine
    // delivers late: the item is chosen once it is offered, and the window waited for. 0, with the
    // failure said, when none opened.
    int OpenWaveformOf(int iOwner, bool fSeparate = false) {
        const std::size_t iBefore = ChildrenOf(iOwner, WindowKindWaveform).size();
        EXPECT_TRUE(WaitFor([&] {
            const QAction* p = ShownItem(iOwner, WindowStart::MenuWaveform);
            return p && p->isEnabled();
        }, 20000)) << "\"&Waveform...\" is not offered";
        Choose(iOwner, WindowStart::MenuWaveform, fSeparate);
        EXPECT_TRUE(WaitFor([&] { return ChildrenOf(iOwner, WindowKindWaveform).size() > iBefore; }, 20000))
            << "no waveform window opened";
        const auto after = ChildrenOf(iOwner, WindowKindWaveform);
        return after.size() > iBefore ? after.back().iWindow : 0;
    }

    // A window that is not there ends the test (GoogleTest reports the exception) rather than
    // lending a reference to nothing.
    static uWindowWaveform& W(int iWindow) {
        uWindowWaveform* p = nullptr;
        if (!WindowWaveform::GetInstance(iWindow, &p))
            throw std::runtime_error("no waveform window " + std::to_string(iWindow));
        return *p;
    }
    static uCaptureGadgets& G(int iWindow) { return W(iWindow).gadgets; }

    // Nothing runs: no timer of the pump is armed, no save, the gadgets are free. (A stop
    // leaves the request list as it was; the next start rebuilds it.)
    static bool Idle(int iWindow) {
        uWindowWaveform& w = W(iWindow);
        return !w.pump.fSaving && !w.pump.fAutomatic &&
               !WindowRegistry::TimerActive(iWindow, WaveformPump::TimerPump) &&
               !WindowRegistry::TimerActive(iWindow, WaveformPump::TimerInterval) && w.gadgets.pRead->isEnabled() &&
               EventHub::Pending() == 0;
    }
    static bool WaitIdle(int iWindow, int iMs = 60000) {
        return WaitFor([&] { return Idle(iWindow); }, iMs);
    }

    // "Waveform" with "Automatically" ticked and an interval in milliseconds.
    static void ReadAutomatically(int iWindow, const char* sMilliseconds) {
        G(iWindow).pAutomatic->click();
        G(iWindow).pInterval->setText(sMilliseconds);
        G(iWindow).pUnit->setCurrentIndex(0);
        G(iWindow).pRead->click();
    }

    // "Refresh", waited for.
    static void Refresh(int iWindow) {
        W(iWindow).pRefresh->click();
        ASSERT_TRUE(WaitIdle(iWindow));
    }

    static std::vector<std::string> Rows(const QTreeWidget* pList, int iColumn = 0) {
        std::vector<std::string> rows;
        for (int i = 0; i < pList->topLevelItemCount(); ++i)
            rows.push_back(pList->topLevelItem(i)->text(iColumn).toStdString());
        return rows;
    }
    static void Tick(int iWindow, const std::string& sRow, bool fTicked = true) {
        QTreeWidget* pList = W(iWindow).pChannels;
        for (int i = 0; i < pList->topLevelItemCount(); ++i) {
            if (pList->topLevelItem(i)->text(0).toStdString() == sRow)
                pList->topLevelItem(i)->setCheckState(0, fTicked ? Qt::Checked : Qt::Unchecked);
        }
    }
    static void ChooseSource(int iWindow, const std::string& sSource) {
        QComboBox* pBox = W(iWindow).pSource;
        const int i = pBox->findText(QString::fromStdString(sSource));
        ASSERT_GE(i, 0) << sSource;
        pBox->setCurrentIndex(i);
    }
    // Connected, a waveform window open and refreshed, the channels ticked and the source chosen:
    // the window, ready to read.
    int OpenToRead(const std::string& sSource, const std::vector<std::string>& channels = {"Channel 1"}) {
        ConnectMain();
        const int iWindow = OpenWaveform();
        Refresh(iWindow);
        for (const std::string& sChannel : channels) Tick(iWindow, sChannel);
        ChooseSource(iWindow, sSource);
        return iWindow;
    }

    // Answers the next file dialog with the path typed into its name field.
    static void AnswerFileDialog(const std::string& sPath, std::string* pTitle = nullptr) {
        WhenModal<QFileDialog>([sPath, pTitle](QFileDialog* p) {
            if (pTitle) *pTitle = p->windowTitle().toStdString();
            FileDialogAnswer::Choose(p, QString::fromStdString(sPath));
            static_cast<QDialog*>(p)->accept();
        });
    }
    static void AnswerFolderDialog(const std::string& sFolder) {
        WhenModal<QFileDialog>([sFolder](QFileDialog* p) {
            // A directory dialog's accept would step into the folder typed; done takes the
            // folder shown as the answer.
            p->setDirectory(QString::fromStdString(sFolder));
            static_cast<QDialog*>(p)->done(QDialog::Accepted);
        });
    }

    static bool LogHas(const std::string& sText) { return WindowLog::Text().find(sText) != std::string::npos; }
    std::string OutPath(const std::string& sName = "") const { return out.path().toStdString() + "/" + sName; }
    std::vector<std::string> OutFiles() const {
        std::vector<std::string> m;
        for (const QString& s : QDir(out.path()).entryList(QDir::Files, QDir::Name)) m.push_back(s.toStdString());
        return m;
    }

    std::string sUserMaker, sUserModel; // the add form's choice for the next connection
    Sim::RawTcpServer server;
    QTemporaryDir out;
    InstrumentObject object;
    int iMain = 0;
};

} // namespace WaveformWindowTest
