#include "instrument/WaveformRead.h"

#include "instrument/InstrumentDefault.h"
#include "transport/AbortRequests.h"

#include <map>
#include <mutex>

namespace InstrumentDefault {
namespace {

std::mutex mReaders;
std::map<std::int64_t, WaveformReader>& Readers() {
    static std::map<std::int64_t, WaveformReader> readers;
    return readers;
}

} // namespace

void SetWaveformReader(std::int64_t eModel, WaveformReader reader) {
    std::lock_guard lock(mReaders);
    if (reader) {
        Readers()[eModel] = reader;
    } else {
        Readers().erase(eModel);
    }
}

WaveformReader FindWaveformReader(std::int64_t eModel) {
    std::lock_guard lock(mReaders);
    const auto it = Readers().find(eModel);
    return it == Readers().end() ? nullptr : it->second;
}

bool GetWaveform(uInstance& instance, int iWindow, uTaskWaveform& waveform, uWaveformData& data, std::string& sError) {
    if (!instance.fConnected || !instance.pTransport) {
        sError = "InstrumentDefault::GetWaveform: The instrument is not open.";
        return false;
    }
    // A request left from an earlier cancel is not meant for this read.
    Instrument::TakeAbortRequest(instance.pTransport->AbortId());
    const WaveformReader reader = FindWaveformReader(instance.uConnection.eModel);
    if (!reader) {
        sError = "The instrument is not supported for reading the traces.";
        return false;
    }
    return reader(instance, iWindow, waveform, data, sError);
}

bool FreeReceiveData(uInstance& instance) {
    uRequest& request = instance.request;
    request.requestData.release();
    request.iRequestTransferred = 0;
    return false;
}

} // namespace InstrumentDefault
