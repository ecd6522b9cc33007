#include "waveform/WaveformDataLogic.h"

#include "common/ByteRoutines.h"
#include "common/WindowLog.h"
#include "transport/BlockHeader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace WaveformData {

namespace {

// Samples between two check points of the pod merge.
constexpr std::size_t PodCheckSamples = 10000;
// Milliseconds between two progress reports.
constexpr std::int64_t ProgressInterval = 100;

// The samples of one pod or line: its block's data, never read beyond its own count.
struct uSource {
    const std::uint8_t* pData = nullptr;
    std::size_t iCount = 0;
    std::uint8_t At(std::size_t k) const { return k < iCount ? pData[k] : 0; }
};

// What the reference element gives the whole merge.
struct uReference {
    const uWaveformRecordChannel* pChannel = nullptr;
    std::size_t iHeader = 0;
    std::size_t iCount = 0;
};

// Checks one logic element and finds its block; false with the text in sError.
bool CheckElement(const uWaveformRecordChannel& channel, const char* sProcedure, uSource& source,
                  std::size_t& iHeader, std::string& sError) {
    if (!channel.pData.allocated() || channel.iDataSize <= 0) {
        sError = "Die Daten für den digitalen Kanal " + channel.sFileChannel + " sind nicht vorhanden.";
        return false;
    }
    const auto iSize = static_cast<std::size_t>(channel.iDataSize);
    if (!Utility::MemoryHasSize(channel.pData, iSize)) {
        sError = "Der Speicher ist kleiner als die angegebene Datengröße, iDataSize = " +
                 std::to_string(channel.iDataSize);
        WindowLog::PostError(std::string("WaveformData::") + sProcedure + ": " + sError);
        return false;
    }
    std::uint64_t iCount = 0;
    iHeader = Instrument::ParseBlockHeaderOnly(channel.pData.data(), 0, iSize, &iCount);
    if (iHeader == 0) {
        sError = "Das SCPI-Blockformat ist für den digitalen Kanal " + channel.sFileChannel + " nicht vorhanden.";
        return false;
    }
    if (iCount > iSize - iHeader) {
        sError = "Die angegebene Größe im Blockformat ist für den Kanal " + channel.sFileChannel +
                 " größer als die vorhandenen Daten.";
        return false;
    }
    source.pData = channel.pData.data() + iHeader;
    source.iCount = static_cast<std::size_t>(iCount);
    return true;
}

// Checks every element whose channel lies in [eFirst, eLast]; the sources are indexed from
// eFirst, and the last element of an id wins. The reference is the first element in list order.
bool CheckElements(const uWaveformRecord& record, std::int64_t eFirst, std::int64_t eLast, const char* sProcedure,
                   std::vector<uSource>& sources, uReference& reference, std::string& sError) {
    sources.assign(static_cast<std::size_t>(eLast - eFirst + 1), uSource{});
    for (const uWaveformRecordChannel& channel : record.Channels) {
        if (channel.eWaveform < eFirst || channel.eWaveform > eLast) continue;
        uSource source;
        std::size_t iHeader = 0;
        if (!CheckElement(channel, sProcedure, source, iHeader, sError)) return false;
        sources[static_cast<std::size_t>(channel.eWaveform - eFirst)] = source;
        if (!reference.pChannel) reference = {&channel, iHeader, source.iCount};
    }
    return true;
}

// The merged block: "#9" and the nine digits of 2 x iWords, the words (all 0 until merged), the
// reference's trailing bytes. False with the text in sError.
bool ReserveMerged(const uReference& reference, std::size_t iWords, DataBuffer& merged, std::size_t& iDataOffset,
                   std::string& sError) {
    const std::uint64_t iBytes = 2 * static_cast<std::uint64_t>(iWords);
    if (iBytes > Instrument::MaxBlockCount) {
        sError = "Die Anzahl der Samples ist zu groß, iTotalPoints = " + std::to_string(iWords);
        return false;
    }
    std::string sDigits = std::to_string(iBytes);
    const std::string sHeader = "#9" + std::string(9 - sDigits.size(), '0') + sDigits;
    const uWaveformRecordChannel& channel = *reference.pChannel;
    const std::size_t iTrailStart = reference.iHeader + reference.iCount;
    const std::size_t iTrail = static_cast<std::size_t>(channel.iDataSize) - iTrailStart;
    const std::size_t iTotal = sHeader.size() + iBytes + iTrail;
    if (!merged.reserve(iTotal) || !merged.setSize(iTotal)) {
        sError = "Der Speicher für die kombinierten Logikdaten konnte nicht reserviert werden.";
        return false;
    }
    std::memcpy(merged.data(), sHeader.data(), sHeader.size());
    std::memset(merged.data() + sHeader.size(), 0, iBytes);
    if (iTrail > 0) std::memcpy(merged.data() + sHeader.size() + iBytes, channel.pData.data() + iTrailStart, iTrail);
    iDataOffset = sHeader.size();
    return true;
}

// Merge progress: at most one report per interval, and only when the percent grew.
struct uMergeProgress {
    WaveformDataInstance& instance;
    std::size_t iLast; // N - 1
    std::int64_t iTime = Milliseconds();
    std::int64_t iPercent = 0;
    std::int64_t iPosted = -1;

    // k: the index just merged (0 keeps the percent). True when the merge is to stop.
    bool CheckPoint(std::size_t k) {
        const std::int64_t iNow = Milliseconds();
        if (iNow - iTime >= ProgressInterval) {
            iTime = iNow;
            if (k > 0) {
                const std::uint64_t iDivisor = iLast > 0 ? iLast : 1;
                iPercent = static_cast<std::int64_t>((static_cast<std::uint64_t>(k) * 100 + iDivisor - 1) / iDivisor);
                iPercent = std::min<std::int64_t>(iPercent, 100);
            }
            if (iPercent > iPosted) {
                iPosted = iPercent;
                PostStatus(instance, SaveStatusMergeProgress, iPercent);
            }
        }
        const std::int64_t eStatus = instance.eThreadStatus.load();
        return eStatus == ThreadStatusStop || eStatus == ThreadStatusEnd;
    }
};

bool AppendMerged(uWaveformRecord& record, const uReference& reference, std::size_t iWords, DataBuffer&& merged,
                  WaveformDataInstance& instance, std::string& sError) {
    try {
        uWaveformRecordChannel channel;
        channel.eWaveform = WaveformLogic;
        channel.eDataSource = reference.pChannel->eDataSource;
        channel.iTotalPoints = static_cast<std::int64_t>(iWords);
        channel.iDataSize = static_cast<std::int64_t>(merged.size());
        channel.pData = std::move(merged);
        channel.sFileChannel = record.sLogicChannelName;
        channel.sChannelName = record.sLogicChannelName;
        record.Channels.push_back(std::move(channel)); // the reference pointer is not used after this
    } catch (const std::bad_alloc&) {
        sError = "Der Speicher für die kombinierten Logikdaten konnte nicht reserviert werden.";
        return false;
    }
    PostStatus(instance, SaveStatusMergeFinished, 0);
    return true;
}

bool CombinePods(uWaveformRecord& record, WaveformDataInstance& instance, const char* sProcedure,
                 std::string& sError) {
    bool fPod1 = false, fPod2 = false;
    for (const uWaveformRecordChannel& channel : record.Channels) {
        fPod1 = fPod1 || channel.eWaveform == WaveformLogicPod1;
        fPod2 = fPod2 || channel.eWaveform == WaveformLogicPod2;
    }
    for (uWaveformLogicLine& line : record.LogicLines) {
        if (!fPod1 && line.iLine < 8) line.fShown = 0;
        if (!fPod2 && line.iLine > 7) line.fShown = 0;
    }
    if (!fPod1 && !fPod2) return true;

    std::vector<uSource> pods;
    uReference reference;
    if (!CheckElements(record, WaveformLogicPod1, WaveformLogicPod2, sProcedure, pods, reference, sError))
        return false;
    const std::int64_t iTotalPoints = reference.pChannel->iTotalPoints;
    if (iTotalPoints <= 0) {
        sError = "Die Anzahl der Samples ist Null.";
        return false;
    }
    // The instrument's total never sizes more words than the pods hold samples.
    const std::size_t iWords = std::min<std::uint64_t>(static_cast<std::uint64_t>(iTotalPoints), reference.iCount);
    DataBuffer merged;
    std::size_t iOffset = 0;
    if (!ReserveMerged(reference, iWords, merged, iOffset, sError)) return false;

    std::uint8_t* pWords = merged.data() + iOffset;
    uMergeProgress progress{instance, reference.iCount > 0 ? reference.iCount - 1 : 0};
    const uSource& pod1 = pods[0];
    const uSource& pod2 = pods[1];
    for (std::size_t k = 0; k < iWords; ++k) {
        pWords[2 * k] = pod1.At(k);
        pWords[2 * k + 1] = pod2.At(k);
        if ((k + 1) % PodCheckSamples == 0 && progress.CheckPoint(k)) break;
    }
    return AppendMerged(record, reference, iWords, std::move(merged), instance, sError);
}

} // namespace

std::uint64_t TransposeBits8x8(std::uint64_t x) {
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    return x ^ t ^ (t << 28);
}

bool CombineLogicChannelsRTB2000(uWaveformRecord& record, WaveformDataInstance& instance, std::string& sError) {
    return CombinePods(record, instance, "CombineLogicChannelsRTB2000", sError);
}

bool CombineLogicChannelsRigol(uWaveformRecord& record, WaveformDataInstance& instance, std::string& sError) {
    return CombinePods(record, instance, "CombineLogicChannelsRigol", sError);
}

bool CombineLogicChannelsSiglent(uWaveformRecord& record, WaveformDataInstance& instance, std::string& sError) {
    const bool fAny = std::any_of(record.Channels.begin(), record.Channels.end(), [](const uWaveformRecordChannel& c) {
        return c.eWaveform >= WaveformDigital0 && c.eWaveform <= WaveformDigital15;
    });
    if (!fAny) return true;

    std::vector<uSource> lines;
    uReference reference;
    if (!CheckElements(record, WaveformDigital0, WaveformDigital15, "CombineLogicChannelsSiglent", lines, reference,
                       sError))
        return false;
    const std::int64_t iTotalPoints = reference.pChannel->iTotalPoints;
    if (iTotalPoints <= 0) {
        sError = "Die Anzahl der Samples ist Null.";
        return false;
    }
    const std::uint64_t iBytes = reference.iCount;
    const std::size_t iWords = std::min<std::uint64_t>(static_cast<std::uint64_t>(iTotalPoints), 8 * iBytes);
    DataBuffer merged;
    std::size_t iOffset = 0;
    if (!ReserveMerged(reference, iWords, merged, iOffset, sError)) return false;

    std::uint8_t* pWords = merged.data() + iOffset;
    uMergeProgress progress{instance, iBytes > 0 ? static_cast<std::size_t>(iBytes - 1) : 0};
    progress.iPosted = -1;
    std::size_t iWord = 0;
    for (std::size_t k = 0; k < iBytes && iWord < iWords; k += 8) {
        // Byte b of the group holds samples 8b to 8b + 7 of every line: lines 0-7 and 8-15 each
        // form an 8 x 8 bit matrix whose transpose gives the low and high bytes of eight words.
        for (std::size_t b = 0; b < 8 && iWord < iWords; ++b) {
            std::uint64_t iLow = 0, iHigh = 0;
            for (std::size_t i = 0; i < 8; ++i) {
                iLow |= static_cast<std::uint64_t>(lines[i].At(k + b)) << (8 * i);
                iHigh |= static_cast<std::uint64_t>(lines[i + 8].At(k + b)) << (8 * i);
            }
            iLow = TransposeBits8x8(iLow);
            iHigh = TransposeBits8x8(iHigh);
            for (std::size_t j = 0; j < 8 && iWord < iWords; ++j, ++iWord) {
                pWords[2 * iWord] = static_cast<std::uint8_t>(iLow >> (8 * j));
                pWords[2 * iWord + 1] = static_cast<std::uint8_t>(iHigh >> (8 * j));
            }
        }
        if (progress.CheckPoint(k)) break;
    }
    return AppendMerged(record, reference, iWords, std::move(merged), instance, sError);
}

} // namespace WaveformData
