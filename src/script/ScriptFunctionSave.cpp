#include "script/ScriptFunctionSave.h"

#include "common/FileSaving.h"
#include "common/ImagePluginGdiPlus.h"
#include "script/ScriptConvert.h"
#include "script/ScriptEnvironment.h"
#include "script/ScriptVariableText.h"
#include "waveform/InstrumentWaveformHameg.h"
#include "waveform/WaveformData.h"

#include <QDate>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace InstrumentScript {
namespace {

constexpr const char* Procedure = "TaskFunctionSave";
constexpr const char* WriteFailure = "Fehler beim Schreiben in die Datei: ";
// The encoder's flags: the encoder index sits in bits 8 to 10.
constexpr std::uint32_t PngEncoder = static_cast<std::uint32_t>(ImagePluginGdiPlus::EncoderPng) << 8;

// Letters of the tokens the script's expansion fills: maker, model, date and time. "/U" and "/C"
// stay as written (no data source, no channel), so their slash separates folders.
bool IsTokenLetter(char c) {
    switch (c) {
    case 'F': case 'f': case 'O': case 'o': case 'Y': case 'y': case 'M': case 'm': case 'D': case 'd':
    case 'H': case 'h': case 'N': case 'n': case 'S': case 's': case 'Z': case 'z':
        return true;
    default:
        return false;
    }
}

bool IsTokenAt(const std::string& s, std::size_t i) {
    return s[i] == '/' && i + 1 < s.size() && IsTokenLetter(s[i + 1]);
}

// Local civil seconds since 1970-01-01 (the date value the expander reads field by field).
std::int64_t CivilSeconds(const QDateTime& time) {
    return (time.date().toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 +
           time.time().msecsSinceStartOfDay() / 1000;
}

void AppendLittleEndian(std::string& s, std::uint64_t iValue) {
    for (int i = 0; i < 8; ++i) s += static_cast<char>((iValue >> (8 * i)) & 0xFF);
}

// The bytes of a boolean, integer, float or string value as the words ask for them.
std::string ValueBytes(const uScriptVariable& v, bool fAsc) {
    std::string s;
    switch (v.Type) {
    case eVariableType::Boolean:
        s = fAsc ? (v.Boolean ? "1" : "0") : std::string(1, v.Boolean ? '\x01' : '\x00');
        break;
    case eVariableType::Integer:
        if (fAsc) s = std::to_string(v.Integer);
        else AppendLittleEndian(s, static_cast<std::uint64_t>(v.Integer));
        break;
    case eVariableType::Float:
        if (fAsc) {
            s = FloatToLocalizedText(v.Float);
        } else {
            std::uint64_t iBits = 0;
            static_assert(sizeof iBits == sizeof v.Float);
            std::memcpy(&iBits, &v.Float, sizeof iBits);
            AppendLittleEndian(s, iBits);
        }
        break;
    case eVariableType::String: s = v.String; break;
    default: break;
    }
    return s;
}

} // namespace

bool FileNameHoldsNul(uScriptThread& t, const uScriptTask& task, const char* sProcedure, const std::string& sPath) {
    if (sPath.find('\0') == std::string::npos) return false;
    std::string sShown = sPath;
    std::replace(sShown.begin(), sShown.end(), '\0', '?');
    PostScriptError(t, task, sProcedure, "Der Dateiname enthält ein NUL-Zeichen: " + sShown);
    return true;
}

uSaveWords SaveWords(const std::string& sParameter) {
    const std::string s = LowerAscii(sParameter);
    return {s.find("add") != std::string::npos, s.find("asc") != std::string::npos,
            s.find("eol") != std::string::npos};
}

std::string ImageFilePath(const std::string& sPath) {
    const std::size_t iSlash = sPath.find_last_of('/');
    const std::size_t iName = iSlash == std::string::npos ? 0 : iSlash + 1;
    const std::size_t iPoint = sPath.find_last_of('.');
    if (iPoint != std::string::npos && iPoint >= iName && sPath.size() - iPoint - 1 == 3)
        return sPath.substr(0, sPath.size() - 4) + ".png";
    return sPath + ".png";
}

std::string ExpandPathTemplate(const std::string& sPath, const std::string& sManufacturer, const std::string& sModel,
                               const QDateTime& time, const FolderCheck& fIsFolder) {
    // The longest leading part up to a "/" that names an existing folder stays as written.
    std::size_t iKeep = 0;
    for (std::size_t i = sPath.rfind('/'); i != std::string::npos; i = i == 0 ? std::string::npos : sPath.rfind('/', i - 1)) {
        if (fIsFolder && fIsFolder(sPath.substr(0, i + 1))) {
            iKeep = i + 1;
            break;
        }
    }
    const std::int64_t iDate = CivilSeconds(time);
    // The expander takes the last three digits of a non-zero millisecond value (0 would mean
    // "now"): 1000 + ms always gives the three digits of ms.
    const std::int64_t iMilliseconds = 1000 + time.time().msec();
    std::string sOut = sPath.substr(0, iKeep);
    std::string sPiece;
    bool fToken = false;
    auto flush = [&] {
        sOut += fToken ? WaveformData::ExpandFileName(sPiece, sManufacturer, sModel, iDate, iMilliseconds, 0, "")
                       : sPiece;
        sPiece.clear();
        fToken = false;
    };
    for (std::size_t i = iKeep; i < sPath.size(); ++i) {
        if (sPath[i] == '/' && !IsTokenAt(sPath, i)) {
            flush();
            sOut += '/';
            continue;
        }
        if (IsTokenAt(sPath, i)) fToken = true;
        sPiece += sPath[i];
    }
    flush();
    return sOut;
}

std::string TaskFunctionSaveVariable(uScriptThread& t, const uScriptTask& task) {
    const std::string* pText = nullptr;
    switch (task.eTaskType) {
    case eScriptTaskType::FunctionSave: pText = &task.save->sFilepath; break;
    case eScriptTaskType::VariableSet: pText = &task.set->sFile; break;
    case eScriptTaskType::VariableAdd: pText = &task.add->sFile; break;
    default: return {};
    }
    return ReplaceVariablesInText(t, task, *pText, eReferenceForm::PathDollar, "TaskFunctionSaveVariable");
}

std::string GetWaveformSourceText(uScriptThread& t, const std::string& sPath) {
    std::string sManufacturer, sModel;
    if (t.pActiveInstrument && t.pActiveInstrument->pInterface) {
        uInfo info;
        std::string sIgnored;
        if (t.pActiveInstrument->pInterface->GetInfo(*t.pActiveInstrument, info, sIgnored)) {
            sManufacturer = info.idn.sManufacturer;
            sModel = info.idn.sModel;
        }
    }
    const std::shared_ptr<ScriptEnvironment> pEnvironment = Environment();
    return ExpandPathTemplate(sPath, sManufacturer, sModel, pEnvironment->LocalTime(), [&](const std::string& s) {
        std::string sMapped, sIgnored;
        if (!pEnvironment->MapFilePath(s, sMapped, sIgnored)) return false;
        std::error_code error;
        return std::filesystem::is_directory(sMapped, error);
    });
}

bool TaskFunctionSave(uScriptThread& t, uScriptTask& task, std::string& sError) {
    if (!t.pInstance) {
        sError = "InstrumentScript::TaskFunctionSave: The pointer to the instance is zero.";
        return false;
    }
    uScriptTask* pVariable = task.pParentAddress;
    if (!pVariable || pVariable->eTaskType != eScriptTaskType::Variable) {
        PostScriptError(t, task, Procedure, "Es wurde keine Variable für das Speichern angegeben.");
        return false;
    }
    if (task.save->sFilepath.empty()) {
        PostScriptError(t, task, Procedure, "Es wurde kein Dateiname für das Speichern angegeben.");
        return false;
    }
    const std::string sWaveformPath = TaskFunctionSaveVariable(t, task);
    std::string sPath = GetWaveformSourceText(t, sWaveformPath);
    const uScriptVariable& v = *pVariable->variable;
    if (v.Type == eVariableType::Image) sPath = ImageFilePath(sPath); // the line names the file written
    PostLine(t, task, " TaskFunctionSave - Dateipfad: " + sPath);
    const uSaveWords words = SaveWords(task.save->sParameter);
    PostLine(t, task, std::string(" TaskFunctionSave - Parameter: ") + (words.fAdd ? "add, " : "") +
                          (words.fAsc ? "asc, " : "") + (words.fEol ? "eol, " : ""));

    if (FileNameHoldsNul(t, task, Procedure, sWaveformPath) || FileNameHoldsNul(t, task, Procedure, sPath))
        return false;

    const std::shared_ptr<ScriptEnvironment> pEnvironment = Environment();
    std::string sMapped, sMapError;
    bool fWritten = false;
    std::string sReason; // the system's reason of a failed write, added to the message
    if (v.Type == eVariableType::Image) {
        std::vector<std::uint8_t> png;
        bool fCreated = true;
        fWritten = !v.Image.isNull() && pEnvironment->MapFilePath(sPath, sMapped, sMapError) &&
                   ImagePluginGdiPlus::EncodeImage(v.Image, "", PngEncoder, 24, &png);
        if (fWritten) {
            const std::string_view bytes[] = {
                std::string_view(reinterpret_cast<const char*>(png.data()), png.size())};
            fWritten = pEnvironment->WriteFile(sMapped, bytes, false, fCreated, sReason);
        }
        if (!fCreated) {
            PostScriptError(t, task, Procedure,
                            Utility::FileFailure("Die Datei konnte nicht erstellt werden: ", sPath, sReason));
            return false;
        }
    } else if (v.Type == eVariableType::Waveform) {
        std::string sWriterError;
        if (!pEnvironment->MapFilePath(sWaveformPath, sMapped, sWriterError)) sMapped.clear();
        else fWritten = InstrumentWaveform::SaveWaveform(v.Waveform.get(), sMapped, task.save->sParameter,
                                                         t.pInstance->iWindow, &sWriterError);
        if (!fWritten && !sWriterError.empty()) PostLine(t, task, " TaskFunctionSave - " + sWriterError);
        // The run says why, as the check of the script does: nothing is wrong with the file.
        if (!fWritten && sWriterError.ends_with(InstrumentWaveform::ScriptSaveUnsupported)) {
            PostScriptError(t, task, Procedure, InstrumentWaveform::ScriptSaveUnsupported);
            return false;
        }
    } else {
        const bool fBinary = !words.fAsc && (v.Type == eVariableType::Boolean || v.Type == eVariableType::Integer ||
                                             v.Type == eVariableType::Float);
        const std::string sValue = ValueBytes(v, words.fAsc);
        const std::string_view parts[] = {v.Type == eVariableType::Data ? v.Data.view()
                                                                        : std::string_view(sValue),
                                          words.fEol && !fBinary ? "\r\n" : ""};
        // Nothing to write is no save: the file is not touched (an earlier one stays as it was).
        const bool fEmpty = parts[0].empty() && parts[1].empty();
        bool fCreated = false;
        if (!pEnvironment->MapFilePath(sPath, sMapped, sMapError)) fCreated = false;
        else if (fEmpty) fCreated = true; // nothing to open: the error of the empty save follows
        else fWritten = pEnvironment->WriteFile(sMapped, parts, words.fAdd, fCreated, sReason);
        if (!fCreated) {
            PostScriptError(t, task, Procedure,
                            Utility::FileFailure("Die Datei konnte nicht erstellt werden: ", sPath,
                                                 sReason.empty() ? sMapError : sReason));
            return false;
        }
    }
    if (!fWritten && StopAsked()) return false; // stopped: its run is over, the file as it was
    if (!fWritten) {
        PostScriptError(t, task, Procedure,
                        sReason.empty() ? WriteFailure + sPath : Utility::FileFailure(WriteFailure, sPath, sReason));
        return false;
    }
    PostLine(t, task, " TaskFunctionSave - Die Daten wurden gespeichert.");
    return true;
}

} // namespace InstrumentScript
