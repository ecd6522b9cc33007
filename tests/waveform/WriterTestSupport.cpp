#include "WriterTestSupport.h"

#include "WaveformTestSupport.h"

namespace WriterTest {

uWaveformRecordChannel Channel(std::int64_t eWaveform, const std::string& sAnswer, std::int64_t eDataSource,
                               std::int64_t eAcquireType) {
    uWaveformRecordChannel channel;
    channel.eWaveform = eWaveform;
    channel.eDataSource = eDataSource;
    channel.eAcquireType = eAcquireType;
    channel.pData = WaveformTest::Bytes(sAnswer);
    channel.iDataSize = static_cast<std::int64_t>(sAnswer.size());
    channel.sChannelName = "CH1";
    return channel;
}

std::string SiglentAnswer(const std::string& sData, const Descriptor& descriptor, const std::string& sUnit) {
    return WaveformTest::Block(sData) + "\n\n" + "DESC,#9000000346" + descriptor.bytes + "\n" + sUnit;
}

bool ReadBin(const std::string& sFile, BinFile& bin) {
    const std::string s = WaveformTest::ReadFile(sFile);
    if (s.size() < 15 || s.compare(0, 11, "DATA OFFSET") != 0) return false;
    std::memcpy(&bin.iHeader, s.data() + 11, 4);
    if (bin.iHeader < 15 || static_cast<std::size_t>(bin.iHeader) > s.size()) return false;
    bin.sHeader = s.substr(15, static_cast<std::size_t>(bin.iHeader) - 15);
    bin.sRecords = s.substr(static_cast<std::size_t>(bin.iHeader));
    return true;
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t e = s.find("\r\n", i);
        if (e == std::string::npos) {
            lines.push_back(s.substr(i));
            break;
        }
        lines.push_back(s.substr(i, e - i));
        i = e + 2;
    }
    return lines;
}

} // namespace WriterTest
