// Shared pieces of the writer tests: channels built from hand-made answers, the Siglent answer
// with its descriptor, and the packed records of BIN files taken apart.
#pragma once

#include "waveform/WaveformData.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace WriterTest {

uWaveformRecordChannel Channel(std::int64_t eWaveform, const std::string& sAnswer, std::int64_t eDataSource = 1,
                               std::int64_t eAcquireType = 0);

// A Siglent waveform descriptor of 346 bytes, fields set by offset.
struct Descriptor {
    std::string bytes = std::string(346, '\0');
    template <typename T> Descriptor& Set(std::size_t iOffset, T value) {
        std::memcpy(bytes.data() + iOffset, &value, sizeof value);
        return *this;
    }
    Descriptor& Text(std::size_t iOffset, const std::string& s) {
        std::memcpy(bytes.data() + iOffset, s.data(), s.size());
        return *this;
    }
};
// The block, two bytes, "DESC,#9000000346", the descriptor, one byte, the unit.
std::string SiglentAnswer(const std::string& sData, const Descriptor& descriptor, const std::string& sUnit);

// A BIN file: the patched header length and the records after it.
struct BinFile {
    std::int32_t iHeader = 0;
    std::string sHeader; // from offset 15 up to the records
    std::string sRecords;
    std::size_t Records(std::size_t iSize) const { return sRecords.size() / iSize; }
    template <typename T> T At(std::size_t iRecord, std::size_t iSize, std::size_t iOffset) const {
        T v{};
        std::memcpy(&v, sRecords.data() + iRecord * iSize + iOffset, sizeof v);
        return v;
    }
};
// False when the file is no BIN file or its length field does not point behind the header.
bool ReadBin(const std::string& sFile, BinFile& bin);

// The lines of a text ("\r\n" line ends), the last empty one dropped.
std::vector<std::string> Lines(const std::string& s);

} // namespace WriterTest
