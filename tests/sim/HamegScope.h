// The HAMEG HM2008, HM1508 and HM1008 oscilloscopes as a personality of the simulated device,
// after their SCPI programmer's manual: :TRACe:SOURce:CATalog? (the displayed traces, comma
// separated, no blanks), :ACQuire:STATe RUN|STOP, :TRACe:POINts DEF|DMAX|MAX and its query,
// :TRACe:FORMat BYTE, :TRACe:BORDer LSBF, :TRACe:SOURce <trace> and :TRACe?, whose answer is
// ":TRAC:DATA " + a definite-length block of unsigned bytes + ";" + sixteen description items
// ":TRAC:<key> <value>" joined by ";". A MINMAX trace gives a byte pair per point; a pod
// (POD1, ZPOD1) gives the lines D0 to D3 in bits 0 to 3. Every answer ends with LF CR.
#pragma once

#include "sim/ScpiDevice.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sim {

class HamegScope : public ScpiPersonality {
  public:
    enum class eModel { HM2008, HM1508, HM1008 };
    enum class eFault { None, NoTraceHeader, ShortBlock, ZeroCount, NoDescription };

    explicit HamegScope(eModel model);
    ~HamegScope() override { Release(); }
    // Sets the *IDN? text, the LF CR answer end and this personality on the device.
    void Attach(ScpiDevice& device);

    // Knobs (any thread).
    void SetCatalogue(const std::string& sCatalogue); // "CH1,CH2,POD1"
    void SetMinMax(bool fMinMax);                     // traces of MINMAX type
    void SetMemoryDepth(std::int64_t iPoints);        // points of MAX; DMAX half; DEF 2000
    void SetPointsAsReal(bool fReal);                 // ":TRAC:POIN?" as "2.000000E+03"
    void SetPointsAnswer(const std::string& sText);   // instead of the count
    void SetFault(eFault fault);                      // of the next ":TRAC?" answer

    bool Stopped() const;
    std::string PointWord() const;

    // Sample i of a trace (its mnemonic); a pod's byte has the lines in bits 0 to 3.
    static std::uint8_t Sample(const std::string& sTrace, std::size_t i);
    std::int64_t Points() const;
    // The description items of a trace, as :TRAC? gives them after the block (without the
    // leading ";").
    std::string Description(const std::string& sTrace) const;

    bool Execute(const std::string& sPath, const std::string& sArgs, ScpiReply& reply) override;

  private:
    std::int64_t PointsLocked() const;
    std::string DescriptionLocked(const std::string& sTrace) const;
    void Trace(ScpiReply& reply);

    mutable std::mutex mMutex;
    eModel model;
    std::string sCatalogue = "CH1";
    bool fMinMax = false;
    std::int64_t iDepth = 100000;
    bool fPointsReal = false;
    std::string sPointsAnswer;
    eFault fault = eFault::None;
    bool fStopped = false;
    std::string sPointWord = "DEF";
    std::string sSource = "CH1";
    std::map<std::string, std::shared_ptr<const std::vector<std::uint8_t>>> mRecords;
};

} // namespace Sim
