// The Rigol oscilloscope families DS1000Z, DS1000Z Plus (MSO1000Z), DS2000 and MSO2000 as a
// personality of the simulated device, after their programming guides: channel and logic
// display, math display (the DS1000Z's :MATH:DISPlay, 1 or 0; the DS2000's :CALCulate:MODE; each
// family leaves the other's header undefined: no answer, -113 queued), line labels, RUN/STOP, the waveform commands (:WAV:SOUR, :WAV:MODE
// NORM|RAW|MAX, :WAV:FORM BYTE|WORD|ASC, :WAV:STAR and :WAV:STOP 1-based and inclusive,
// :WAV:PRE?, :WAV:DATA? as "#9" + nine digits + data + LF) and the memory depth (:ACQ:MDEP?,
// a number or "AUTO"; :ACQ:SRAT? and :TIM:SCAL?, whose product with the 12 horizontal divisions
// of the DS1000Z, 14 of the DS2000, is the depth). The preamble's point count is the size of the
// current :WAV:STAR/:WAV:STOP window (1 to 1200 after power-on), as a DS1054Z reports it in RAW
// mode too, never the memory depth.
//
// Samples are a fixed function of the source and the point index (AnalogSample, LineBit), so a
// test knows every byte a read must give. NORM reads the screen record (1200 points on the
// DS1000Z, 1400 on the DS2000); RAW reads the memory (only while stopped), at most 250000
// points per request in BYTE and 125000 in WORD; a request beyond that, or outside the record,
// queues an error and answers an empty block. Digital lines: on the screen one byte 0/1 per
// point; from memory, and for the pods, one byte per point whose bit n is Dn (POD1) or Dn+8
// (POD2); "LA" in WORD gives 16-bit little-endian words of D0..D15.
#pragma once

#include "sim/ScpiDevice.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sim {

class RigolScope : public ScpiPersonality {
  public:
    enum class eFamily { DS1000Z, DS1000ZPlus, DS2000, MSO2000 };
    // Faults of the next data answer (one shot; fEvery: of every one). LongBlock: 5 bytes more than announced;
    // OddBytes: a byte less, announced so.
    enum class eDataFault { None, ShortBlock, ZeroSize, CutOff, LongBlock, OddBytes };

    explicit RigolScope(eFamily family);
    ~RigolScope() override { Release(); }

    // Sets the family's *IDN? text and this personality on the device.
    void Attach(ScpiDevice& device);
    static std::string IdnOf(eFamily family);

    // Knobs (any thread).
    // :CHANnel<n>:UNITs? as the guide answers it: "VOLT" (default), "WATT", "AMP" or "UNKN".
    void SetChannelUnit(int iChannel, const std::string& sUnit);
    void SetMemoryDepth(std::int64_t iPoints);
    // ":ACQ:MDEP?" answers "AUTO"; the depth set stays what sample rate x time base give.
    void SetDepthAuto(bool fAuto);
    void ShowChannel(int iChannel, bool fShown);
    void SetMathMode(const std::string& sMode); // "OFF" hides math (DS1000Z: any other shows it)
    void ShowLogic(bool fShown);
    void ShowLine(int iLine, bool fShown);
    void SetLineLabel(int iLine, const std::string& sLabel); // empty: "No Label!"
    // The record length answered as given ("0", "9.9E37", "text"): the third preamble field and
    // the memory depth.
    void SetPointsAnswer(const std::string& sText);
    void SetDataFault(eDataFault fault, bool fEvery = false);
    // The faults of the next data answers, one each in turn (None: a whole one); then SetDataFault's.
    void SetDataFaults(std::vector<eDataFault> faults) {
        std::lock_guard lock(mMutex);
        faultTable = std::move(faults);
    }
    // A memory window of more than iPoints gets its first iPoints only (0: every point asked).
    void SetPieceLimit(std::int64_t iPoints);
    // ":WAV:PRE?" answers nothing while the source is sSource ("CHAN2"; empty: always answers).
    void SetSilentPreamble(const std::string& sSource);

    bool Running() const;
    std::string WaveformMode() const;
    std::string WaveformFormat() const;
    std::int64_t ScreenPoints() const;

    // The sample byte of analogue channel 1..4 (5 = math) at point i (0-based).
    static std::uint8_t AnalogSample(int iChannel, std::size_t i);
    // The state of line 0..15 at point i.
    static int LineBit(int iLine, std::size_t i);

    bool Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) override;

  private:
    bool FourChannels() const { return family == eFamily::DS1000Z || family == eFamily::DS1000ZPlus; }
    bool HasLogic() const { return family == eFamily::DS1000ZPlus || family == eFamily::MSO2000; }
    std::int64_t RecordPoints() const;
    double Divisions() const { return FourChannels() ? 12.0 : 14.0; }
    static constexpr double TimeScale = 1e-3; // s per division
    std::int64_t MaxPerRequest() const;
    // Chunk iChunk (ChunkPoints points) of the selected source's record of iRecord points in the
    // current format, made once and shared.
    static constexpr std::size_t ChunkPoints = std::size_t{1} << 20;
    std::shared_ptr<const std::vector<std::uint8_t>> Chunk(std::int64_t iRecord, std::size_t iChunk);
    std::size_t BytesPerPoint() const;
    void Data(ScpiReply& reply);

    mutable std::mutex mMutex;
    eFamily family;
    std::int64_t iMemoryDepth = 12000;
    bool fAutoDepth = false;
    bool fRunning = true;
    bool fShown[4] = {true, false, false, false};
    std::string sUnit[4] = {"VOLT", "VOLT", "VOLT", "VOLT"};
    std::string sMathMode = "OFF";
    bool fLogic = false;
    bool fLineShown[16] = {};
    std::string sLineLabel[16];
    std::string sSource = "CHAN1";
    std::string sMode = "NORM";
    std::string sFormat = "BYTE";
    std::int64_t iStart = 1;
    std::int64_t iStop = 1200;
    std::string sPointsAnswer;
    std::string sSilentPreamble;
    eDataFault dataFault = eDataFault::None;
    bool fEveryFault = false;
    std::vector<eDataFault> faultTable;
    std::int64_t iPieceLimit = 0;
    std::map<std::string, std::shared_ptr<const std::vector<std::uint8_t>>> mRecords;
};

} // namespace Sim
