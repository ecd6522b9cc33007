// script-run: runs a script file through the real engine, headless, and prints one line per
// engine message: its type, a tab and its text (CR and LF written as \r and \n).
//   script-run [--check] [--constants FILE] [--clock TIME] [--timeout MS] [--continue]
//              [--mask-addresses] [--sim-rawtcp] SCRIPT
// Exit 0 finished or checked, 1 error, 2 time-out (the script is stopped), 3 waiting for the
// user (without --continue, which answers every wait with Run). Files of the script stay in a
// temporary folder; instruments are the fake core's. With --sim-rawtcp the real instrument
// core runs instead, and a simulated Rigol DS1000Z listens for raw TCP on loopback: its port
// is the constant #sim_port (added to the constants) and is printed as <sim_port>.
#include "script/ScriptTestSupport.h"
#include "script/ScriptThread.h"
#include "common/ImagePluginGdiPlus.h"
#include "instrument/Instrument.h"
#include "instrument/InstrumentDefault.h"
#include "platform/BackgroundThreads.h"
#include "sim/RawTcpServer.h"
#include "sim/RigolScope.h"
#include "sim/ScreenCopyAnswers.h"
#include "waveform/WaveformReaders.h"
#include "windows/capture/Template.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

using namespace InstrumentScript;

struct uOptions {
    bool fCheck = false;
    bool fContinue = false;
    bool fMask = false;
    bool fSimRawTcp = false;
    std::string sConstantsFile;
    std::string sScriptFile;
    QDateTime clock = ScriptTest::FixedEnvironment::DefaultTime();
    int iTimeout = 10000;
};

int Usage(const std::string& sMessage) {
    std::cerr << "script-run: " << sMessage
              << "\nusage: script-run [--check] [--constants FILE] [--clock YYYY-MM-DDTHH:MM:SS] [--timeout MS]"
                 " [--continue] [--mask-addresses] [--sim-rawtcp] SCRIPT\n";
    return 64;
}

bool ReadFile(const std::string& sFile, std::string& sText) {
    std::ifstream file(sFile, std::ios::binary);
    if (!file) return false;
    std::ostringstream s;
    s << file.rdbuf();
    sText = s.str();
    return true;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Every whole decimal number equal to sNumber as sName.
std::string MaskNumber(const std::string& sText, const std::string& sNumber, const std::string& sName) {
    if (sNumber.empty()) return sText;
    std::string s;
    for (std::size_t i = 0; i < sText.size();) {
        const bool fStart = i == 0 || !IsDigit(sText[i - 1]);
        const std::size_t iEnd = i + sNumber.size();
        if (fStart && sText.compare(i, sNumber.size(), sNumber) == 0 && (iEnd >= sText.size() || !IsDigit(sText[iEnd]))) {
            s += sName;
            i = iEnd;
        } else {
            s += sText[i++];
        }
    }
    return s;
}

// CR and LF as \r and \n; with fMask, "$" and six or more hexadecimal digits (an address) as
// "$<address>".
std::string Printable(const std::string& sText, bool fMask) {
    std::string s;
    for (std::size_t i = 0; i < sText.size(); ++i) {
        const char c = sText[i];
        if (c == '\r') {
            s += "\\r";
        } else if (c == '\n') {
            s += "\\n";
        } else if (c == '$' && fMask) {
            std::size_t j = i + 1;
            while (j < sText.size() && IsHex(sText[j])) ++j;
            if (j - i - 1 >= 6) {
                s += "$<address>";
                i = j - 1;
            } else {
                s += c;
            }
        } else {
            s += c;
        }
    }
    return s;
}

const std::string EndOfRun = "Thread - Warte auf das nächste Skript im Thread.";
const std::string Paused = "Thread - Pausiere den Thread.";

int Run(const uOptions& options) {
    std::string sScript, sConstants;
    if (!ReadFile(options.sScriptFile, sScript)) return Usage("cannot read " + options.sScriptFile);
    if (!options.sConstantsFile.empty() && !ReadFile(options.sConstantsFile, sConstants))
        return Usage("cannot read " + options.sConstantsFile);

    ScriptTest::StartEngine();
    // File names of the script's saves as the program makes them.
    Template::RegisterExpander();
    ImagePluginGdiPlus::RegisterEncoder();
    QTemporaryDir folder;
    ScriptTest::Seams seams(folder.path().toStdString(), options.clock);
    std::unique_ptr<Sim::RawTcpServer> pServer;
    std::string sPort;
    if (options.fSimRawTcp) {
        WaveformReaders::Register();
        ImagePluginGdiPlus::RegisterDecoder();
        auto pDevice = std::make_shared<Sim::ScpiDevice>();
        static Sim::RigolScope scope(Sim::RigolScope::eFamily::DS1000Z);
        scope.Attach(*pDevice);
        Sim::AnswerRigolScreenCopy(*pDevice, Sim::ScreenPicture(800, 480));
        pServer = std::make_unique<Sim::RawTcpServer>(pDevice);
        std::string sError;
        if (!pServer->Start(sError)) {
            std::cerr << sError << "\n";
            return 1;
        }
        sPort = std::to_string(pServer->Port());
        if (!sConstants.empty() && sConstants.back() != '\n') sConstants += '\n';
        sConstants += "#sim_port set " + sPort + "\n";
        InstrumentScript::SetInstrumentProvider(nullptr); // the real core
    }
    ScriptTest::Collector collector;
    collector.SetCheckOnly(options.fCheck);
    collector.SetContinue(options.fContinue);
    std::string sError;
    ScriptInstance pInstance = NewInstance(collector.Window(), sError);
    if (!pInstance) {
        std::cerr << sError << "\n";
        return 1;
    }
    collector.Attach(pInstance);
    if (!SetScript(pInstance, sScript, sConstants, sError)) {
        std::cerr << sError << "\n";
        return 1;
    }

    // A run ends with its end-of-run line; a check (or a parse that fails) is one run, a script
    // that parses is run once more.
    int iResult = -1;
    const bool fDone = ScriptTest::PumpUntil(
        [&] {
            std::size_t iRuns = 0;
            bool fParsed = false, fError = false, fFinished = false, fWaiting = false;
            for (const auto& m : collector.Messages()) {
                if (m.eType == ScriptMessageParsed) fParsed = true;
                if (m.eType == ScriptMessageError) fError = true;
                if (m.eType == ScriptMessageFinished) fFinished = true;
                if (m.eType == ScriptMessageWaitUser) fWaiting = true;
                if (m.eType == ScriptMessageOutput && m.sText == EndOfRun) ++iRuns;
                if (m.eType == ScriptMessageOutput && m.sText == Paused && fWaiting && !options.fContinue) {
                    iResult = 3;
                    return true;
                }
                // An instrument error leaves the run asleep at its task.
                if (m.eType == ScriptMessageError && !options.fContinue &&
                    ScriptTest::PausedByInstrumentError(*pInstance)) {
                    iResult = 1;
                    return true;
                }
            }
            const std::size_t iExpected = options.fCheck || !fParsed ? 1 : 2;
            if (iRuns < iExpected) return false;
            iResult = fError ? 1 : (fFinished || options.fCheck) ? 0 : 1;
            return true;
        },
        options.iTimeout);
    if (!fDone) iResult = 2;
    StopScript(pInstance, sError);
    // A thread past the stop's short wait still releases its instruments through the seams.
    BackgroundThreads::WaitAll(std::chrono::seconds(30));
    for (const auto& m : collector.Messages()) {
        // Messages of the stop itself are not part of the run.
        if (m.eType == ScriptMessageOutput && m.sText == " Thread - Der Thread ist beendet.") break;
        std::cout << m.eType << '\t' << Printable(MaskNumber(m.sText, sPort, "<sim_port>"), options.fMask) << '\n';
    }
    std::cout.flush();
    DeleteInstance(pInstance, sError);
    // The instruments' workers end before the process does (a disconnect may still be running).
    Instrument::ReleaseAll(true, 0, sError);
    InstrumentDefault::WaitForWorkers(30000);
    return iResult;
}

} // namespace

int main(int argc, char** argv) {
    uOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string sArgument = argv[i];
        auto next = [&](std::string& sValue) {
            if (i + 1 >= argc) return false;
            sValue = argv[++i];
            return true;
        };
        std::string sValue;
        if (sArgument == "--check") {
            options.fCheck = true;
        } else if (sArgument == "--continue") {
            options.fContinue = true;
        } else if (sArgument == "--sim-rawtcp") {
            options.fSimRawTcp = true;
        } else if (sArgument == "--mask-addresses") {
            options.fMask = true;
        } else if (sArgument == "--constants") {
            if (!next(options.sConstantsFile)) return Usage("--constants needs a file");
        } else if (sArgument == "--clock") {
            if (!next(sValue)) return Usage("--clock needs a time");
            options.clock = QDateTime::fromString(QString::fromStdString(sValue), Qt::ISODate);
            if (!options.clock.isValid()) return Usage("invalid time: " + sValue);
        } else if (sArgument == "--timeout") {
            if (!next(sValue)) return Usage("--timeout needs milliseconds");
            char* pEnd = nullptr;
            const long iTimeout = std::strtol(sValue.c_str(), &pEnd, 10);
            if (*pEnd || iTimeout <= 0 || iTimeout > 86400000) return Usage("invalid time-out: " + sValue);
            options.iTimeout = static_cast<int>(iTimeout);
        } else if (!sArgument.empty() && sArgument[0] == '-') {
            return Usage("unknown option " + sArgument);
        } else if (options.sScriptFile.empty()) {
            options.sScriptFile = sArgument;
        } else {
            return Usage("more than one script");
        }
    }
    if (options.sScriptFile.empty()) return Usage("no script");
    return Run(options);
}
