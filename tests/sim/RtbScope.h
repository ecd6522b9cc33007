// The R&S RTB2000 oscilloscopes (RTB2002, RTB2004) as a personality of the simulated device,
// after their user manual's remote-control chapter: channel, math, reference and logic-probe
// states, digital lines with their labels and label states, the acquisition type (REFResh,
// AVERage, ENVelope), RUN/STOP/SINGle, the global point setting (DEFault = 1200 points, DMAXimum
// and MAXimum = the memory depth), :FORMat:DATA UINT,8|16|32 with :FORMat:BORDer LSBF|MSBF, and
// per source :DATA? (a definite-length block), :DATA:ENVelope? (min/max pairs), :DATA:POINts?,
// :DATA:HEADer? and the YRES/YOR/YINC/XOR/XINC values, units and quoted labels.
//
// Samples are a fixed function of the source and the value index (Value), in 16 bits; 8-bit
// data are the high byte, 32-bit data the value shifted up by 16. A logic probe gives one byte
// per point whose bit k is line k (LOG1) or k + 8 (LOG2).
#pragma once

#include "sim/ScpiDevice.h"

#include <QImage>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sim {

class RtbScope : public ScpiPersonality {
  public:
    enum class eDataFault { None, ZeroSize, ShortBlock };

    explicit RtbScope(bool fFourChannels);
    ~RtbScope() override { Release(); }
    void Attach(ScpiDevice& device);

    // Knobs (any thread).
    void ShowChannel(int iChannel, bool fShown);
    void SetChannelLabel(int iChannel, const std::string& sLabel, bool fOn);
    void ShowMath(int iMath, bool fShown);
    void ShowReference(int iReference, bool fShown);
    void EnableProbe(int iProbe, bool fOn);
    void ShowLine(int iLine, bool fShown);
    void SetLineLabel(int iLine, const std::string& sLabel, bool fOn);
    void SetAcquireType(const std::string& sType); // "REFR", "AVER", "ENV"
    void SetMemoryDepth(std::int64_t iPoints);
    void SetPointsAsReal(bool fReal);               // ":DATA:POIN?" as "1.2E+03"
    void SetPointsAnswer(const std::string& sText); // instead of the count
    void SetDataFault(eDataFault fault);
    // The data of source iSource (as Value numbers it; 0: none) hold a point less than its count.
    void SetShortSource(int iSource);
    void SetProbeUnit(int iProbe, const std::string& sUnit); // ":PROBe<m>:SETup:GAIN:UNIT?", "V" or "A"

    // The screen that ":HCOPy:DATA?" copies: a definite-length block holding the picture as a
    // PNG or BMP file (":HCOPy:FORMat PNG|BMP"), in the colour scheme of
    // ":HCOPy:COLor:SCHeme COLor|GRAYscale|INVerted" (the manual's hardcopy subsystem).
    void SetScreen(const QImage& screen);
    std::string HardcopyFormat() const;

    bool Running() const;
    std::string Format() const;

    // Value index i of a source: 1..4 channels, 11..15 math, 21..24 references, 31..34 envelopes.
    static std::uint16_t Value(int iSource, std::size_t i);
    static int LineBit(int iLine, std::size_t i);

    bool Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) override;

  private:
    std::int64_t Points() const;
    int Bits() const;
    void Data(int iSource, std::int64_t iValues, ScpiReply& reply);
    void LogicData(int iProbe, ScpiReply& reply);
    void Block(std::shared_ptr<const std::vector<std::uint8_t>> p, ScpiReply& reply);

    mutable std::mutex mMutex;
    int iChannels;
    bool fChannel[4] = {true, false, false, false};
    std::string sChannelLabel[4];
    bool fChannelLabel[4] = {};
    bool fMath[5] = {};
    bool fReference[4] = {};
    bool fProbe[2] = {};
    std::string sProbeUnit[4] = {"V", "V", "V", "V"};
    bool fLine[16] = {};
    std::string sLineLabel[16];
    bool fLineLabel[16] = {};
    std::string sAcquireType = "REFR";
    bool fRunning = true;
    std::string sPointWord = "DEF";
    std::string sFormat = "UINT,8";
    std::string sByteOrder = "LSBF";
    std::int64_t iDepth = 10000;
    bool fPointsReal = false;
    std::string sPointsAnswer;
    eDataFault dataFault = eDataFault::None;
    int iShortSource = 0;
    QImage screen;
    std::string sHardcopyFormat = "PNG";
    std::string sColorScheme = "COL";
    std::map<std::string, std::shared_ptr<const std::vector<std::uint8_t>>> mRecords;
};

} // namespace Sim
