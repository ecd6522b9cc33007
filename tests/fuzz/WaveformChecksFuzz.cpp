// Arbitrary answers to every waveform answer check and to the assembly of a trace from parts.
// Byte 0 picks the model; the rest is a points answer and part answers separated by 0xFF, each
// also handed to the visible-channel, logic, acquire-type and whole-trace checks. The part
// window must stay ordered and the assembled block header must state the bytes behind it.
#include "instrument/ModelTable.h"
#include "transport/BlockHeader.h"
#include "windows/capture/WaveformChecks.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

class QuietWindow : public WaveformPumpWindow {
  public:
    void SetStatus(const std::string&) override {}
    void AddLine(const std::string&) override {}
    void AddError(const std::string&) override {}
    void DisableGadgets(bool) override {}
    bool ChannelTicked() override { return true; }
    std::size_t CreateSendRequestList(uWaveformPump&) override { return 0; }
    void SaveWaveform(uWaveformPump&) override {}
    void MessageRequester(const std::string&) override {}
    void PostOptionsEvent() override {}
};

class NoTimers : public WaveformPumpTimers {
  public:
    void Start(int, int) override {}
    void Stop(int) override {}
};

constexpr std::int64_t Models[] = {ModelRigolDS1000Z,           ModelRigolMSO2000,          ModelSiglentSDS2000XPlusCh4,
                                   ModelSiglentSDS5000XCh2,     ModelRohdeSchwarzRTB2000Ch4, ModelHamegHM2008,
                                   ModelRigolDS1000ZPlus,       ModelRohdeSchwarzRTB2000Ch2};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize) {
    if (iSize < 1) return 0;
    QuietWindow window;
    NoTimers timers;
    uWaveformPump pump;
    pump.pWindow = &window;
    pump.pTimers = &timers;
    pump.instrument.eModel = Models[pInput[0] % std::size(Models)];
    pump.pRecord = std::make_shared<uWaveformRecord>();
    pump.pRecord->Channels.resize(2);
    pump.iChannelIndex = 1;
    uWaveformRequest part;
    part.eKind = RequestWaveformPart;
    part.fLogic = (pInput[0] & 0x80) ? 1 : 0;
    pump.mRequestList = {part, part};

    std::vector<std::vector<std::uint8_t>> answers(1);
    for (std::size_t i = 1; i < iSize; ++i) {
        if (pInput[i] == 0xFF) answers.emplace_back();
        else answers.back().push_back(pInput[i]);
    }
    for (std::size_t i = 0; i < answers.size(); ++i) {
        // Each answer in a block of its own size, so that a read beyond it is seen.
        const std::unique_ptr<std::uint8_t[]> p(answers[i].empty() ? nullptr : new std::uint8_t[answers[i].size()]);
        if (p) std::copy(answers[i].begin(), answers[i].end(), p.get());
        const std::size_t n = answers[i].size();
        if (i == 0) {
            WaveformChecks::CheckInstrumentResponseWaveformPoints(pump, p.get(), n);
            WaveformChecks::CheckInstrumentResponseGetVisibleChannels(pump, p.get(), n);
            WaveformChecks::CheckInstrumentResponseGetLogicDisplay(pump, p.get(), n);
            WaveformChecks::CheckInstrumentResponseWaveformAcquireType(pump, p.get(), n);
            continue;
        }
        if (pump.iChannelIndex == 0) {
            pump.pRecord->Channels.emplace_back();
            pump.iChannelIndex = pump.pRecord->Channels.size() - 1;
        }
        std::size_t iHeader = 0;
        std::uint64_t iCount = 0;
        if (p) iHeader = Instrument::ParseBlockHeader(p.get(), 0, n, &iCount);
        if (WaveformChecks::CheckInstrumentResponseWaveformPart(pump, p.get(), n, iHeader, iCount) == 1)
            pump.iChannelIndex = 0;
        if (pump.iStopPoint < 0 || (pump.iStopPoint > 0 && pump.iStartPoint > pump.iStopPoint + 1)) __builtin_trap();
        if (pump.mRequestList.empty()) pump.mRequestList = {part};
        if (i % 3 == 0 && pump.iChannelIndex > 0) WaveformChecks::CheckInstrumentResponseWaveform(pump, p.get(), n);
    }
    return 0;
}
