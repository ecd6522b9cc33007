#include "app/Main.h"

#include "app/DeviceChanges.h"
#include "app/Window.h"
#include "app/WindowKinds.h"
#include "app/WindowStart.h"
#include "common/FileSaving.h"
#include "common/ImagePluginGdiPlus.h"
#include "common/Ini.h"
#include "common/UtilityGui.h"
#include "common/WindowLog.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentSearch.h"
#include "instrument/ManualInstruments.h"
#include "platform/AllocationFailure.h"
#include "platform/BackgroundThreads.h"
#include "platform/EventHub.h"
#include "platform/OsVersion.h"
#include "platform/ProgramEvents.h"
#include "transport/InterfaceDefaults.h"
#include "transport/LibUsb0.h"
#include "transport/LibUsb1.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <unistd.h>

namespace Main {
namespace {

constexpr const char* ConfigFile = "config.ini";

std::unique_ptr<uIni> pConfigIni;
std::string sConfigPath;
// Why config.ini is not open or cannot be written, with its path; "" when all is well.
std::string sConfigProblem;
bool fConfigSaveAtExit = false;
bool fWindowDontCheckPosition = false;

// The open top-level windows in the order they were opened.
std::vector<int> mTopLevelWindow;

std::function<int()> fnOpenMain;
bool fFoldersOverridden = false;
std::string sUserFolderOverride, sProgramFolderOverride;

void PostWindowListChanged() {
    for (int iWindow : mTopLevelWindow) EventHub::PostEvent(EventWindowListChanged, iWindow, WindowNobody);
}

void TopLevelWindowClosed(int iWindow) {
    std::erase(mTopLevelWindow, iWindow);
    if (mTopLevelWindow.empty()) EventHub::PostEvent(EventQuit, 0);
    else PostWindowListChanged();
}

int AddTopLevelWindow(int iWindow) {
    if (iWindow == 0) return 0;
    mTopLevelWindow.push_back(iWindow);
    PostWindowListChanged();
    return iWindow;
}

// Creates an empty file, and the folders up to it; "" or why not, with the path.
std::string CreateEmptyFile(const std::string& sFolder, const char* sName) {
    if (sFolder.empty()) return std::string("No folder for ") + sName + " is known.";
    const std::string sPath = sFolder + sName;
    std::error_code error;
    std::filesystem::create_directories(sFolder, error);
    if (error) return sPath + " could not be created: " + error.message();
    QFile file(QString::fromStdString(sPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return sPath + " could not be created: " + file.errorString().toStdString();
    }
    return "";
}

// "" when the file can be saved: a temporary file is written beside it and renamed over it.
std::string WriteProblem(const std::string& sPath) {
    const std::string sFolder = std::filesystem::path(sPath).parent_path().string();
    if (::access(sFolder.c_str(), W_OK) == 0 && ::access(sPath.c_str(), W_OK) == 0) return "";
    return sPath + " cannot be written: " + std::strerror(errno);
}

} // namespace

std::string UserResourceFolder() {
    if (fFoldersOverridden) return sUserFolderOverride;
    std::string sBase;
    if (const char* p = std::getenv("XDG_CONFIG_HOME"); p && *p) {
        sBase = p;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        sBase = std::string(h) + "/.config";
    } else {
        return {};
    }
    return sBase + "/Orvanto/Orvanto/Resources/";
}

std::string ProgramResourceFolder() {
    if (fFoldersOverridden) return sProgramFolderOverride;
    return QCoreApplication::applicationDirPath().toStdString() + "/Resources/";
}

void SetResourceFolders(std::string sUser, std::string sProgram) {
    fFoldersOverridden = true;
    sUserFolderOverride = std::move(sUser);
    sProgramFolderOverride = std::move(sProgram);
}

std::unique_ptr<uIni> OpenPreferenceFile(const std::string& sName, std::string* pPath, bool fPerUser) {
    std::unique_ptr<uIni> ini;
    std::string sPath;
    if (fPerUser && !UserResourceFolder().empty()) {
        sPath = UserResourceFolder() + sName;
        ini = Ini::Open(sPath, IniFlagsProgram);
    }
    if (!ini && !ProgramResourceFolder().empty()) {
        sPath = ProgramResourceFolder() + sName;
        ini = Ini::Open(sPath, IniFlagsProgram);
    }
    if (pPath) *pPath = ini ? sPath : std::string();
    return ini;
}

void ResetResourceFolders() {
    fFoldersOverridden = false;
    sUserFolderOverride.clear();
    sProgramFolderOverride.clear();
}

void OpenConfig() {
    pConfigIni = OpenPreferenceFile(ConfigFile, &sConfigPath, true);
    if (pConfigIni) {
        sConfigProblem = WriteProblem(sConfigPath);
        return;
    }
    // A first start: an empty file in the user's folder (the program's own folder where no home
    // is known), so that what this run sets is kept.
    const std::string sFolder = UserResourceFolder().empty() ? ProgramResourceFolder() : UserResourceFolder();
    sConfigProblem = CreateEmptyFile(sFolder, ConfigFile);
    if (sConfigProblem.empty()) pConfigIni = OpenPreferenceFile(ConfigFile, &sConfigPath, true);
    if (!pConfigIni && sConfigProblem.empty()) sConfigProblem = sFolder + ConfigFile + " could not be read.";
}

bool SaveConfig(std::string& sError) {
    if (!pConfigIni) {
        sError = "Preferences file: File could not be opened. " + sConfigProblem;
        return false;
    }
    std::string sReason;
    if (Ini::Save(pConfigIni.get(), sReason)) return true;
    sError = Utility::FileFailure("Preferences file: The file could not be written: ", sConfigPath, sReason);
    WindowLog::AddError(sError);
    return false;
}

std::string ConfigFolder() {
    const std::size_t iSlash = sConfigPath.find_last_of('/');
    return iSlash == std::string::npos ? std::string() : sConfigPath.substr(0, iSlash + 1);
}

void CloseConfig() {
    std::string sReason;
    if (fConfigSaveAtExit && pConfigIni && !Ini::Save(pConfigIni.get(), sReason)) {
        // The log window is gone by now.
        std::fprintf(stderr, "Preferences file: %s could not be written (%s).\n", sConfigPath.c_str(),
                     sReason.c_str());
    }
    Ini::Free(pConfigIni);
    fConfigSaveAtExit = false;
    sConfigPath.clear();
    sConfigProblem.clear();
}

void ReadInstrumentTimeouts() {
    uIni* ini = pConfigIni.get();
    Ini::SelectSection(ini, "Instrument");
    auto read = [ini](const char* sKey, int iDefault) {
        return static_cast<int>(Ini::ReadInteger(ini, sKey, iDefault));
    };
    InterfaceDefaults::SetTimeouts(read("TimeOutDeviceResponseUsbTmc", 5000), read("TimeOutDeviceResponseLxi", 5000),
                                   read("TimeOutDeviceResponseRaw", 2000), read("TimeOutDeviceResponseSerial", 2000));
}

void LogLibUsbVersions() {
    std::string sVersion, sDescription, sError;
    if (!OsVersion::Windows2000()) {
        if (LibUsb1::GetVersion(sVersion, sDescription, sError)) {
            WindowLog::AddLine("LibUsb version: " + sVersion + " " + sDescription);
        } else {
            WindowLog::AddError(sError);
        }
        return;
    }
    if (!LibUsb0::Init(sError)) {
        WindowLog::AddError(sError);
        return;
    }
    if (LibUsb0::GetVersion(sVersion, sError)) WindowLog::AddLine("LibUsb-Win32 version: " + sVersion);
}

uIni* ConfigIni() { return pConfigIni.get(); }
const std::string& ConfigPath() { return sConfigPath; }
const std::string& ConfigProblem() { return sConfigProblem; }
void SetConfigSaveAtExit(bool fSave) { fConfigSaveAtExit = fSave; }
bool WindowDontCheckPosition() { return fWindowDontCheckPosition; }
void SetWindowDontCheckPosition(bool fValue) { fWindowDontCheckPosition = fValue; }

void SetMainWindowOpener(std::function<int()> openMain) { fnOpenMain = std::move(openMain); }

int OpenMainWindow() { return AddTopLevelWindow(fnOpenMain ? fnOpenMain() : WindowStart::Open()); }

int OpenScriptWindow() { return AddTopLevelWindow(WindowKinds::Open(WindowKindScript, 0, -1, nullptr)); }

void MainWindowClosed(int iWindow) { TopLevelWindowClosed(iWindow); }

void ScriptWindowClosed(int iWindow) { TopLevelWindowClosed(iWindow); }

void CloseAllTopLevelWindows() {
    const std::vector<int> snapshot = mTopLevelWindow;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        EventHub::PostEvent(EventCloseWindowRequest, *it);
    }
}

int CountTopLevelWindows() { return static_cast<int>(mTopLevelWindow.size()); }

int EventLoop() {
    QEventLoop loop;
    int iExitCode = 0;
    auto quit = [&](int iCode) {
        iExitCode = iCode;
        loop.exit(iCode);
    };
    using EventHub::uEvent;
    const int any = EventHub::AnyWindow;
    EventHub::Bind(EventQuit, any, [&](const uEvent&) { quit(0); });
    EventHub::Bind(EventOpenMainWindow, any, [&](const uEvent&) {
        if (OpenMainWindow() == 0 && mTopLevelWindow.empty()) quit(1);
    });
    EventHub::Bind(EventOpenScriptWindow, any, [&](const uEvent&) {
        if (OpenScriptWindow() == 0 && mTopLevelWindow.empty()) quit(1);
    });
    EventHub::Bind(EventMainWindowClosed, any, [](const uEvent& e) { MainWindowClosed(e.iWindow); });
    EventHub::Bind(EventScriptWindowClosed, any, [](const uEvent& e) { ScriptWindowClosed(e.iWindow); });
    EventHub::Bind(EventCloseAllWindows, any, [](const uEvent&) { CloseAllTopLevelWindows(); });
    loop.exec();
    for (int iEvent = EventQuit; iEvent <= EventCloseAllWindows; ++iEvent) EventHub::Unbind(iEvent, any);
    return iExitCode;
}

bool EndBackgroundThreads(std::chrono::milliseconds wait) {
    // Every thread is asked first and all are waited for together, up to one deadline: a frozen
    // instrument or a hanging disk costs the exit its one bound, not one bound each.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + wait;
    const auto left = [deadline] {
        return std::max(milliseconds(0), duration_cast<milliseconds>(deadline - steady_clock::now()));
    };
    DeviceChanges::RequestStop();
    // From here on the search lists no instrument, so none is made while they are released.
    std::string sSearchError;
    InstrumentSearch::StopSearch(milliseconds(0), sSearchError);
    // Scripts, saves and file reads: a save ends whole or takes its temporary file away.
    BackgroundThreads::RequestStopAll();
    // The workers last: a transfer under way is aborted, and the stopped scripts queue nothing.
    InstrumentDefault::AskWorkersToEnd();

    const std::string sWithin = " did not end within " + std::to_string(wait.count()) + " ms.";
    bool fEnded = true;
    const auto failed = [&fEnded](const std::string& sError) {
        WindowLog::AddError(sError);
        fEnded = false;
    };
    if (!BackgroundThreads::WaitAll(left())) {
        // One blocked in a write (a disk that hangs) leaves no new file behind either.
        Utility::RemoveUnfinishedFiles();
        failed("Main::Start: " + std::to_string(BackgroundThreads::Running()) + " background threads" + sWithin);
    }
    if (!InstrumentSearch::StopSearch(left(), sSearchError)) failed(sSearchError);
    if (!InstrumentDefault::WaitForWorkers(static_cast<int>(left().count())))
        failed("Main::Start: The instruments' threads" + sWithin);
    if (!DeviceChanges::Stop(left())) failed("Main::Start: The thread of the USB device changes" + sWithin);
    return fEnded;
}

int Start() {
    mTopLevelWindow.clear();
    OpenConfig();
    fConfigSaveAtExit = true;
    if (pConfigIni) {
        Ini::SelectSection(pConfigIni.get(), "General");
        fWindowDontCheckPosition = Ini::ReadBool(pConfigIni.get(), "WindowDontCheckPosition", 0) != 0;
    }
    Window::InstallLogPlacement();
    WindowLog::Create();
    AllocationFailure::SetReport(WindowLog::PostError);
    if (pConfigIni) WindowLog::AddLine("Preferences file: " + sConfigPath);
    else WindowLog::AddError("Preferences file: File could not be opened. " + sConfigProblem);
    if (pConfigIni && !sConfigProblem.empty()) WindowLog::AddError("Preferences file: " + sConfigProblem);
    LogLibUsbVersions();
    DeviceChanges::Start();
    std::string sError;
    if (!Instrument::InitModuleInstrument(sError)) WindowLog::AddError(sError);
    InstrumentSearch::InitModuleInstrumentSearch(sError);
    ReadInstrumentTimeouts();
    Instrument::InstrumentLoadManuallyAdded(pConfigIni.get());
    EventHub::PostEvent(EventOpenMainWindow, 0);

    const int iExitCode = EventLoop();
    // The workers have ended (or were let go with what they use): the release waits for none.
    EndBackgroundThreads(std::chrono::milliseconds(2000));
    Instrument::ReleaseAll(true, 0, sError);
    WindowLog::Close(1);
    ImagePluginGdiPlus::Shutdown();
    CloseConfig();
    if (OsVersion::Windows2000()) LibUsb0::CloseLibrary();
    return iExitCode;
}

int Run(int argc, char** argv) {
    // A pipe or socket whose reader has gone gives EPIPE to the one write, never the end of
    // the program.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Orvanto");
    QApplication::setApplicationVersion(ORVANTO_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);
    EventHub::Init();
    ImagePluginGdiPlus::RegisterDecoder();
    ImagePluginGdiPlus::RegisterEncoder();
    QApplication::setWindowIcon(Utility::ProgramIcon()); // decoded by the codec registered above
    return Start();
}

} // namespace Main
