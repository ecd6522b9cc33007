// The waveform window's request lists per oscilloscope family: the list of one read (the
// checked instrument-control rows around the family's channel requests), the visible-channel
// query of "Refresh", and the logic display-and-label query put behind the request being
// handled. The families: HAMEG HM2008/HM1508/HM1008, Rigol DS1000Z/DS1000Z Plus/DS2000/MSO2000,
// Siglent SDS2000X Plus/SDS5000X, R&S RTB2000.
#pragma once

#include "waveform/WaveformData.h"
#include "windows/capture/WaveformChannels.h"
#include "windows/capture/WaveformOptions.h"
#include "windows/capture/WaveformPump.h"
#include "windows/capture/WaveformRequest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace WaveformRequests {

using WaveformChannels::eFamily;
using WaveformChannels::FamilyOf;
using enum WaveformChannels::eFamily;

// The list of one read: empties the list and the transfer totals, appends the checked before
// rows, the model's requests and the checked after rows. Logs "Es werden keine Kanäle
// eingelesen." when the model adds nothing. Returns the number of requests appended.
std::size_t CreateSendRequestList(uWaveformPump& pump, const uWaveformOptionState& options,
                                  std::int64_t eDataSource, const std::vector<std::int64_t>& channels);

// The model's requests of a read; 1 when a family's builder ran, 0 for a model in no family.
int CreateRequestListModel(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels);

// The four builders; each appends at least one set-up request and the end request, and
// returns 1.
int CreateRequestListHameg(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels);
int CreateRequestListRigol(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels);
int CreateRequestListSiglent(uWaveformPump& pump, std::int64_t eDataSource, const std::vector<std::int64_t>& channels,
                             const std::vector<uWaveformLogicLine>& lines);
int CreateRequestListRohdeSchwarz(uWaveformPump& pump, std::int64_t eDataSource,
                                  const std::vector<std::int64_t>& channels,
                                  const std::vector<uWaveformLogicLine>& lines);

// The model's visible-channel query, alone in the emptied list; 1 when appended.
int CreateRequestGetVisibleChannels(uWaveformPump& pump);
// The model's logic display-and-label query, inserted directly behind the first request (the
// one being handled); 1 when inserted.
int CreateRequestGetLogicDisplay(uWaveformPump& pump);

// The commands of the two queries ("" for a model without them).
std::string VisibleChannelsCommand(std::int64_t eModel);
std::string LogicDisplayCommand(std::int64_t eModel);

// "Refresh": the visible-channel query, gadgets locked and the pump started; "The data could
// not be sent." when the model has none.
void RefreshChannels(uWaveformPump& pump);

} // namespace WaveformRequests
