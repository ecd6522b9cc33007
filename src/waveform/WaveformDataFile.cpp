#include "waveform/WaveformDataFile.h"

#include "common/FileSaving.h"
#include "common/NumberText.h"
#include "common/TextRoutines.h"
#include "common/WindowLog.h"
#include "transport/BlockHeader.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace WaveformData {

namespace {

constexpr std::int64_t ProgressInterval = 100;     // ms between two progress reports
constexpr std::size_t BufferFlushBytes = 1u << 18; // the row buffer goes to the file beyond this
constexpr std::int64_t ClockEvery = 64;            // check points between two readings of the clock
constexpr char BinaryMark[] = "DATA OFFSET";        // 11 bytes, then the header length
constexpr std::size_t LengthOffset = sizeof(BinaryMark) - 1;

} // namespace

uRowSink::uRowSink(bool fBinary, char cSeparator, std::size_t iReserve) : fBinary(fBinary), cSeparator(cSeparator) {
    if (!fBinary) {
        sText.reserve(iReserve);
        return;
    }
    iCapacity = iReserve;
    pBlock = std::make_unique<char[]>(iCapacity);
}

bool uRowSink::WriteTo(Utility::uFileSave& file, std::string& sReason) {
    const std::size_t n = Gathered();
    const bool fWritten = n == 0 || file.Write(fBinary ? pBlock.get() : sText.data(), n, sReason);
    iUsed = 0;
    sText.clear();
    return fWritten;
}

// Only a step that gathers more than the reserve beyond the flush mark gets here.
void uRowSink::Grow() {
    iCapacity *= 2;
    auto pLarger = std::make_unique<char[]>(iCapacity);
    std::memcpy(pLarger.get(), pBlock.get(), iUsed);
    pBlock = std::move(pLarger);
}

void uRowSink::TextNumber() {
    char sDigits[24];
    const auto result = std::to_chars(sDigits, sDigits + sizeof sDigits, iRows);
    sText.append(sDigits, result.ptr);
}

void uRowSink::TextReal(double dValue, int iDecimals) {
    sText.push_back(cSeparator);
    Utility::AppendDoubleFast(sText, dValue, iDecimals);
}

void uRowSink::TextState(bool fHigh) {
    sText.push_back(cSeparator);
    sText.push_back(fHigh ? '1' : '0');
}

std::string HeaderReal(double dValue) {
    std::string s = Utility::FormatDoubleFast(dValue, 12);
    if (!s.empty() && s.back() == '.') s.push_back('0');
    return s;
}

std::string HeaderWhole(double dValue) { return Utility::FormatDoubleFast(std::trunc(dValue), 0); }

std::vector<uWaveformLogicLine> ShownLines(const std::vector<uWaveformLogicLine>& lines) {
    std::vector<uWaveformLogicLine> shown;
    for (const uWaveformLogicLine& line : lines)
        if (line.fShown) shown.push_back(line);
    return shown;
}

std::vector<std::string> LogicColumns(const std::vector<uWaveformLogicLine>& shown) {
    std::vector<std::string> columns;
    for (const uWaveformLogicLine& line : shown)
        columns.push_back("D" + std::to_string(line.iLine) + (line.sLabel.empty() ? "" : " [" + line.sLabel + "]"));
    return columns;
}

void LogicRow(std::uint16_t iWord, const std::vector<uWaveformLogicLine>& shown, double dTime, uRowSink& rows) {
    rows.Row(dTime);
    for (const uWaveformLogicLine& line : shown)
        rows.State(line.iLine >= 0 && line.iLine < 16 && ((iWord >> line.iLine) & 1u) != 0);
    rows.EndRow();
}

bool HasDescription(const std::string& sProcedure, const std::string& sDescription,
                        std::initializer_list<std::string_view> needed, std::string& sError) {
    if (sDescription.empty()) {
        sError = sProcedure + ": Es sind keine Beschreibungen der Messkurve am Ende der Daten vorhanden.";
        return false;
    }
    for (const std::string_view sField : needed) {
        if (!sField.empty()) continue;
        sError = sProcedure + ": Die Beschreibung der Messkurve ist unvollständig: >" + sDescription + "<";
        return false;
    }
    return true;
}

std::string ToSingleByte(const std::string& sText) {
    std::string sOut;
    sOut.reserve(sText.size());
    const auto* p = reinterpret_cast<const unsigned char*>(sText.data());
    const std::size_t n = sText.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            sOut.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        std::size_t iLength = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (iLength == 1 || i + iLength > n) { // a stray continuation byte or a cut sequence
            sOut.push_back('?');
            ++i;
            continue;
        }
        char32_t code = c & (0x7F >> iLength);
        bool fValid = true;
        for (std::size_t j = 1; j < iLength; ++j) {
            fValid = fValid && (p[i + j] & 0xC0) == 0x80;
            code = (code << 6) | (p[i + j] & 0x3F);
        }
        if (!fValid) {
            sOut.push_back('?');
            ++i;
            continue;
        }
        sOut.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
        i += iLength;
    }
    return sOut;
}

bool WriteWaveformFile(uFileWriter& writer, const uWaveformRecordChannel& channel, const std::string& sFileName,
                       std::int64_t iProgressStart, std::int64_t iProgressEnd, const std::string& sManufacturer,
                       const std::string& sModel, std::int64_t iSaveFormat, WaveformDataInstance& instance,
                       std::string& sError) {
    const std::string sPrefix = writer.sProcedure + ": ";
    // 1. The answer.
    if (!channel.pData.allocated() || channel.iDataSize <= 0) {
        sError = sPrefix + "Die Messkurvendaten sind nicht vorhanden - \\pData = " +
                 std::to_string(reinterpret_cast<std::uintptr_t>(channel.pData.data())) +
                 " - \\iDataSize = " + std::to_string(channel.iDataSize);
        return false;
    }
    const std::size_t iSize = std::min<std::size_t>(static_cast<std::size_t>(channel.iDataSize), channel.pData.size());
    const std::uint8_t* pAnswer = channel.pData.data();
    // 2. The block at the writer's offset, its count checked against what arrived.
    std::uint64_t iCount = 0;
    const std::size_t iHeader = Instrument::ParseBlockHeaderOnly(pAnswer, writer.iBlockOffset, iSize, &iCount);
    if (iHeader == 0) {
        sError = sPrefix + "Es ist kein SCPI-Blockformat vorhanden.";
        return false;
    }
    if (iCount == 0) {
        sError = sPrefix + "Die Anzahl der Datenpunkte ist Null.";
        return false;
    }
    const std::size_t iDataStart = writer.iBlockOffset + iHeader;
    if (iCount > iSize - iDataStart) {
        sError = sPrefix + "Die Messkurvendaten sind weniger, als im SCPI-Blockformat angegeben - " + writer.sCountName +
                 " = " + std::to_string(iCount) + " - \\iDataSize = " + std::to_string(iSize);
        return false;
    }
    // 3. The description: after the block and one terminator byte.
    const std::size_t iDescription = iDataStart + static_cast<std::size_t>(iCount) + (writer.fRawDescription ? 0 : 1);
    std::string sDescription;
    if (iDescription < iSize) {
        const std::string_view sRest(reinterpret_cast<const char*>(pAnswer) + iDescription, iSize - iDescription);
        sDescription = writer.fRawDescription ? std::string(sRest) : Utility::TrimCharacters(sRest, " \t\r\n;");
    }
    if (sDescription.empty() && !writer.sNoDescription.empty()) WindowLog::PostError(sPrefix + writer.sNoDescription);
    uFileHeader header;
    if (!writer.Describe(sDescription, iCount, header, sError)) return false;

    // 4. The file, written beside its name until it is complete (removed unless committed).
    if (Stopping(instance)) {
        sError = StoppedText(sFileName);
        return false;
    }
    Utility::uFileSave file;
    if (instance.nextFreeName) file.SetNextName(instance.nextFreeName);
    std::string sReason;
    if (!file.Begin(sFileName, sReason, static_cast<bool>(instance.nextFreeName))) {
        sError = Utility::FileFailure(sPrefix + "The file could not be created: ", sFileName, sReason);
        return false;
    }

    // 5. The header, built whole and written at once.
    const bool fBinary = iSaveFormat == 3;
    const char cSeparator = iSaveFormat == 2 ? ';' : ',';
    const std::string sep(1, cSeparator);
    std::string sText = fBinary ? std::string(BinaryMark) + "LONG" : std::string();
    sText += sManufacturer + sep + sModel + sep + channel.sChannelName + "\r\n";
    if (!header.sLeadLine.empty()) sText += header.sLeadLine + "\r\n";
    for (const auto& [sKey, sValue] : header.Items) sText += sKey + sep + sValue + "\r\n";
    sText += "Number" + sep + header.sTimeColumn;
    for (const std::string& sColumn : header.ValueColumns) sText += sep + sColumn;
    sText += "\r\n";
    sText = ToSingleByte(sText);
    const auto iHeaderLength = static_cast<std::int32_t>(sText.size());
    if (!file.Write(sText, sReason)) {
        sError = Utility::FileFailure(
            sPrefix + "Die Header-Daten konnten nicht in die Datei geschrieben werden. ", sFileName, sReason);
        return false;
    }
    PostStatus(instance, SaveStatusProgress, iProgressStart);

    // 6. The rows, with progress and the stop word at the check points.
    const std::string sRowsFailed =
        sPrefix + (!fBinary ? "Die CSV-Daten konnten nicht in die Datei geschrieben werden. "
                   : writer.fLogicRecords
                       ? "Die Logik BIN-Daten konnten nicht in die Datei geschrieben werden. "
                       : "Die BIN-Daten konnten nicht in die Datei geschrieben werden. ");
    uRowSink rows(fBinary, cSeparator, BufferFlushBytes + 4096);
    std::int64_t iSpan = iProgressEnd - iProgressStart;
    if (iSpan <= 0) iSpan = 100;
    std::int64_t q = static_cast<std::int64_t>(iCount) / iSpan / (writer.iBytesPerRow > 0 ? writer.iBytesPerRow : 1);
    if (q == 0) q = static_cast<std::int64_t>(iCount);
    std::int64_t iLastTime = Milliseconds();
    std::int64_t iLastProgress = 0;
    const std::size_t iStep = writer.iStepBytes > 0 ? writer.iStepBytes : 1;
    const std::int64_t iCheckEvery = writer.iCheckEvery > 0 ? writer.iCheckEvery : 1;
    std::int64_t iUntilCheck = iCheckEvery; // steps until the next check point
    std::int64_t iChecks = 0;
    const std::uint8_t* pData = pAnswer + iDataStart;
    for (std::size_t k = 0; k < iCount; k += iStep) {
        writer.Step(pData + k, std::min<std::size_t>(iStep, static_cast<std::size_t>(iCount) - k), rows);
        if (rows.Gathered() >= BufferFlushBytes && !rows.WriteTo(file, sReason)) {
            sError = Utility::FileFailure(sRowsFailed, sFileName, sReason);
            return false;
        }
        if (--iUntilCheck != 0) continue;
        iUntilCheck = iCheckEvery;
        // The stop word at every check point; the clock, which costs as much as converting a
        // few samples, at every ClockEvery-th: a report is due at most every 100 ms anyway.
        if (++iChecks % ClockEvery == 0) {
            const std::int64_t iNow = Milliseconds();
            if (iNow - iLastTime >= ProgressInterval) {
                iLastTime = iNow;
                const std::int64_t p = rows.Rows() / q;
                if (p > iLastProgress) {
                    iLastProgress = p;
                    PostStatus(instance, SaveStatusProgress, iProgressStart + p);
                }
            }
        }
        if (Stopping(instance)) {
            // A cut-short file is no record of the trace: the earlier file (or none) stays.
            sError = StoppedText(file.Name());
            return false;
        }
    }
    if (!rows.WriteTo(file, sReason)) {
        sError = Utility::FileFailure(sRowsFailed, sFileName, sReason);
        return false;
    }
    // 7. The header length into bytes 11 to 14, then the file under its name.
    if (fBinary && !file.WriteAt(LengthOffset, &iHeaderLength, sizeof iHeaderLength, sReason)) {
        sError = Utility::FileFailure(sRowsFailed, sFileName, sReason);
        return false;
    }
    if (!file.Commit(sReason)) {
        sError = Utility::FileFailure(sPrefix + "The file could not be created: ", file.Name(), sReason);
        return false;
    }
    // Logged here, so that the log has it also when the window has closed meanwhile.
    WindowLog::PostLine("The waveform are saved: " + file.Name());
    PostStatusText(instance, SaveStatusFileWritten, file.Name());
    return true;
}

} // namespace WaveformData
