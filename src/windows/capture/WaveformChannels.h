// The texts of the waveform channels and data sources: the display text of a channel (lists,
// file headers, status lines), its SCPI mnemonic per instrument maker, and the data sources a
// model offers, in the order the waveform window lists them.
#pragma once

#include "instrument/ModelCommands.h"
#include "instrument/WaveformSources.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace WaveformChannels {

// The oscilloscope families whose traces the waveform window reads.
enum eFamily { FamilyNone, FamilyHameg, FamilyRigol, FamilySiglent, FamilyRohdeSchwarz };
eFamily FamilyOf(std::int64_t eModel);

// "Channel 1", "Zoom-Logic pod 1", "FFT", ...; empty for 0, 2, 48 to 55 and values outside 0 to 55.
std::string GetChannelTypeName(std::int64_t eWaveform);

// The mnemonic a request names for the channel on the model (short or long form); empty when
// the model family or the channel has none.
std::string GetChannelName(std::int64_t eWaveform, std::int64_t eModel, bool fLongForm);

// The text of a data source in the waveform window's source list ("Screen 10 bit", ...).
std::string DataSourceName(std::int64_t eDataSource);

// The sources a model offers, in list order, and the index of the one chosen at first (the
// "Screen 10 bit" entry when offered, else 0). Empty when the model offers none.
struct uSourceList {
    std::vector<std::int64_t> mSources;
    std::size_t iSelected = 0;
};
uSourceList SourceList(const uModelCommands& commands);

} // namespace WaveformChannels
