// The answer checks of the HAMEG reader (HM2008, HM1508, HM1008: models 15 to 17): the trace
// catalogue, the required-channels step, the source names, the trace answer (data block and
// description), the description's fields and the point count; and the save of a script's
// waveform value, which checks its arguments only.
#pragma once

#include "waveform/InstrumentWaveform.h"

#include <cstdint>
#include <string>

namespace InstrumentWaveform {

// Modes of the name table: 1 and 2 the source after ":TRAC:SOUR ", 3 the label of an element.
enum eHamegName : std::int64_t { HamegNameCatalogue = 1, HamegNameSource = 2, HamegNameLabel = 3 };

// The record of a save request. Nothing fills it; only its presence is checked.
struct uWaveformSave {};

bool HamegHM2008CheckVisibleChannels(std::int64_t eModel, const uAnswer& answer, uFlagTable& fVisible,
                                     std::string& sError);
void HamegHM2008RequiredChannels(std::int64_t eModel, const uTaskWaveform* pWaveform, uFlagTable& fVisible);
std::string HamegHM2008ChannelName(std::int64_t eWaveform, std::int64_t eMode);
// Stores the samples and the raw description of ":TRAC?" in the source's element.
bool HamegHM2008CheckChannelData(std::int64_t eModel, const uAnswer& answer, std::int64_t eWaveform,
                                 uWaveformData* pData, std::string& sError);
// Parses the element's raw description into its uPreambleHameg.
bool HamegHM2008CreatePreamble(std::int64_t eWaveform, uWaveformData* pData, std::string& sError);
bool HamegHM2008CheckAcquirePoints(std::int64_t eModel, const uAnswer& answer, std::int64_t& iPoints,
                                   std::string& sError);
// The description items (split at ';', the first item not kept) as the sixteen fields.
uPreambleHameg ParseHamegDescription(std::string_view sDescription);

// The script's save of a waveform value. Writing the traces of a task-road record as a file is
// not supported: once the checks pass, the save fails with a text that says so (a save that
// wrote nothing must not report success).
inline constexpr const char* ScriptSaveUnsupported =
    "Saving the traces of a script waveform as a file is not supported.";
bool SaveWaveform(const uWaveformData* pWaveform, const std::string& sFileName, const std::string& sUnused,
                  std::int64_t iUnused, std::string* pError);
bool HamegHM2008SaveWaveform(const uWaveformSave* pSave, const uWaveformData* pWaveform, std::string* pError);

} // namespace InstrumentWaveform
