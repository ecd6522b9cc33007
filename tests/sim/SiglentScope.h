// The Siglent SDS2000X Plus and SDS5000X oscilloscopes (SDS2102X Plus, SDS2104X Plus, SDS5032X,
// SDS5034X) as a personality of the simulated device, after their programming guide's
// :CHANnel, :FUNCtion, :DIGital, :ACQuire, :TRIGger and :WAVeform commands:
//   :CHANnel<n>:VISible?, :FUNCtion<x>?, :DIGital?, :DIGital:D<n>?, :DIGital:LABel<n>? (quoted),
//   :ACQuire:POINts? and :DIGital:POINts? ("2.50E+07" or an integer), :TRIGger:STOP/RUN/SINGle,
//   :WAVeform:WIDTh BYTE|WORD, :WAVeform:SOURce C<n>|F<x>|D<n>, :WAVeform:STARt (0-based),
//   :WAVeform:POINt (count), :WAVeform:MAXPoint? (the most points of one piece, "1.00E+07"),
//   :WAVeform:DATA? (a "#9" block + LF, behind "DAT2," as earlier firmware
//   sends it, or bare as the current guide shows it), :WAVeform:PREamble? (the 346-byte descriptor
//   as a bare block "#9000000346...", as the guide answers it, or behind "DESC," as earlier
//   firmware does), <prefix>:UNIT?, :LABel?, :LABel:TEXT?.
// The descriptor follows the guide's reading: vertical gain (156) and offset (160) in volts at the
// probe tip divided by the probe factor (328, a float: 10 for a 10X probe), codes per division
// (164), so that volts = code / codes per division x gain x probe - offset x probe.
// An analogue block holds signed bytes (WORD: 16-bit little-endian); a line's block announces
// points and packs them eight to a byte, the earliest in bit 0. A data request over MAXPoint
// (10 M points, 5 M with WORD, unless set) gets MAXPoint points, fewer than asked.
#pragma once

#include "sim/ScpiDevice.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sim {

class SiglentScope : public ScpiPersonality {
  public:
    enum class eModel { SDS2102XPlus, SDS2104XPlus, SDS5032X, SDS5034X };
    // Faults of the next data or descriptor answer (one shot).
    // NoDataHeader: "DATA," instead of "DAT2," (neither the prefix nor a bare block). ShortBlock:
    // a byte less than announced; LongBlock: 5 bytes more; OddBytes: a byte less, announced so.
    enum class eFault { None, NoDataHeader, WrongDescriptorTag, ShortBlock, ZeroCount, LongBlock, OddBytes };

    explicit SiglentScope(eModel model);
    ~SiglentScope() override { Release(); }
    void Attach(ScpiDevice& device);

    // Knobs (any thread).
    void ShowChannel(int iChannel, bool fShown);
    void ShowFunction(int iFunction, bool fShown);
    void ShowLogic(bool fShown);
    void ShowLine(int iLine, bool fShown);
    void SetLineLabel(int iLine, const std::string& sLabel); // sent in quotes
    void SetChannelLabel(int iChannel, const std::string& sLabel, bool fShown);
    void SetChannelUnit(int iChannel, const std::string& sUnit); // <prefix>:UNIT?, "V" or "A" (default "V")
    void SetMemoryDepth(std::int64_t iPoints);
    void SetLineDepth(std::int64_t iPoints);
    void SetPointsAsInteger(bool fInteger);          // "25000000" instead of "2.50E+07"
    void SetPointsAnswer(const std::string& sText);  // instead of either count
    // The most points one data answer holds (0: the default), and what :WAV:MAXP? says (0: that).
    void SetMaxPoint(std::int64_t iPoints, std::int64_t iAnswer = 0);
    // :WAV:MAXP? answers sText instead ("?": an undefined header, as a firmware without it).
    void SetMaxPointText(const std::string& sText);
    void SetDataPrefix(bool fPrefix);                // "DAT2," in front of the data block (default)
    void SetDescriptorPrefix(bool fPrefix);          // "DESC," in front of the descriptor (not by default)
    // The probe factor of the analogue channels (default 1) and the codes per division (default 30).
    void SetProbe(float fFactor);
    void SetCodesPerDivision(float fCodes);
    // The fault meets the data or descriptor answer after iSkip data answers.
    void SetFault(eFault fault, int iSkip = 0);

    bool Stopped() const;
    std::string Width() const;
    // The data requests answered: "source start count".
    std::vector<std::string> DataRequests() const;

    // Sample i of a source as a 16-bit value (1..4 channels, 5..6 functions); a BYTE read
    // gives its high byte.
    static std::int16_t Sample(int iSource, std::size_t i);
    static int LineBit(int iLine, std::size_t i);
    // The descriptor that :WAV:PRE? gives for a source ("C1".."C4", "F1", "F2", "D0".."D15").
    std::vector<std::uint8_t> Descriptor(const std::string& sSource) const;

    bool Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) override;

  private:
    int Channels() const;
    std::string Points(std::int64_t iPoints, bool fCount = true) const;
    std::int64_t MaxPointLocked(bool fAnswer) const;
    void Data(ScpiReply& reply);
    std::vector<std::uint8_t> DescriptorLocked(const std::string& sSource) const;
    std::shared_ptr<const std::vector<std::uint8_t>> Record(const std::string& sSource);

    mutable std::mutex mMutex;
    eModel model;
    bool fChannel[4] = {true, false, false, false};
    std::string sChannelLabel[4];
    bool fChannelLabel[4] = {};
    std::string sChannelUnit[4] = {"V", "V", "V", "V"};
    bool fFunction[2] = {};
    bool fLogic = false;
    bool fLine[16] = {};
    std::string sLineLabel[16];
    std::int64_t iDepth = 10000;
    std::int64_t iLineDepth = 10000;
    bool fPointsInteger = false;
    std::string sPointsAnswer;
    std::int64_t iMaxPoint = 0, iMaxPointAnswer = 0;
    std::string sMaxPointText;
    bool fDataPrefix = true;
    bool fDescriptorPrefix = false;
    float fProbe = 1.0f;
    float fCodes = 30.0f;
    eFault fault = eFault::None;
    int iFaultSkip = 0;
    bool fStopped = false;
    std::string sWidth = "BYTE";
    std::string sSource = "C1";
    std::int64_t iStart = 0;
    std::int64_t iCount = 0;
    std::vector<std::string> mRequests;
    std::map<std::string, std::shared_ptr<const std::vector<std::uint8_t>>> mRecords;
};

} // namespace Sim
