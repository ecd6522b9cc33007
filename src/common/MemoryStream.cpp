#include "common/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace MemoryStream {

std::shared_ptr<uMemoryStream> Create(int iMode, std::uint8_t* pBuffer, std::uint64_t iSize) {
    auto pStream = std::make_shared<uMemoryStream>();
    pStream->iMode = iMode;
    pStream->pBuffer = pBuffer;
    pStream->iSize = pBuffer ? iSize : 0;
    return pStream;
}

std::shared_ptr<uMemoryStream> CreateReadOnly(const std::uint8_t* pBuffer, std::uint64_t iSize) {
    // A read-only stream never writes through the pointer.
    return Create(ModeReadOnly, const_cast<std::uint8_t*>(pBuffer), iSize);
}

HRESULT Read(uMemoryStream& stream, void* pTarget, std::uint32_t iCount, std::uint32_t* pRead) {
    if (pRead) *pRead = 0;
    if (!pTarget) return STG_E_INVALIDPOINTER;
    if (stream.iPosition >= stream.iSize) return S_FALSE;
    const auto iTake = static_cast<std::uint32_t>(std::min<std::uint64_t>(iCount, stream.iSize - stream.iPosition));
    std::memcpy(pTarget, stream.pBuffer + stream.iPosition, iTake);
    stream.iPosition += iTake;
    if (pRead) *pRead = iTake;
    return S_OK;
}

HRESULT Write(uMemoryStream& stream, const void* pSource, std::uint32_t iCount, std::uint32_t* pWritten) {
    if (pWritten) *pWritten = 0;
    if (stream.iMode == ModeReadOnly) return STG_E_ACCESSDENIED;
    if (!pSource) return STG_E_INVALIDPOINTER;
    if (stream.iPosition >= stream.iSize) return STG_E_MEDIUMFULL;
    const std::uint64_t iLeft = stream.iSize - stream.iPosition;
    const auto iPut = static_cast<std::uint32_t>(std::min<std::uint64_t>(iCount, iLeft));
    std::memmove(stream.pBuffer + stream.iPosition, pSource, iPut); // source may lie in the same buffer
    stream.iPosition += iPut;
    if (pWritten) *pWritten = iPut;
    return iPut < iCount ? STG_E_MEDIUMFULL : S_OK;
}

HRESULT Seek(uMemoryStream& stream, std::int64_t iMove, int iOrigin, std::uint64_t* pNewPosition) {
    std::uint64_t iBase = 0;
    switch (iOrigin) {
    case SeekSet: iBase = 0; break;
    case SeekCur: iBase = stream.iPosition; break;
    case SeekEnd: iBase = stream.iSize; break;
    default: return STG_E_INVALIDFUNCTION;
    }
    std::uint64_t iNew = 0;
    if (iMove < 0) {
        const std::uint64_t iBack = std::uint64_t{0} - static_cast<std::uint64_t>(iMove);
        if (iBack > iBase) return STG_E_INVALIDFUNCTION;
        iNew = iBase - iBack;
    } else {
        const auto iForward = static_cast<std::uint64_t>(iMove);
        if (iForward > std::numeric_limits<std::uint64_t>::max() - iBase) return STG_E_INVALIDFUNCTION;
        iNew = iBase + iForward; // beyond the end is allowed
    }
    stream.iPosition = iNew;
    if (pNewPosition) *pNewPosition = iNew;
    return S_OK;
}

HRESULT CopyTo(uMemoryStream& stream, uMemoryStream* pTarget, std::uint64_t iCount, std::uint64_t* pRead,
               std::uint64_t* pWritten) {
    if (pRead) *pRead = 0;
    if (pWritten) *pWritten = 0;
    if (!pTarget) return STG_E_INVALIDPOINTER;
    const std::uint64_t iLeft = stream.iPosition < stream.iSize ? stream.iSize - stream.iPosition : 0;
    std::uint64_t iRemaining = std::min(iCount, iLeft);
    const std::uint8_t* pFrom = stream.pBuffer + (iRemaining ? stream.iPosition : 0);
    if (pRead) *pRead = iRemaining;
    stream.iPosition += iRemaining;
    std::uint64_t iWrittenTotal = 0;
    HRESULT iResult = S_OK;
    do { // the target's Write takes 32-bit counts: pass larger copies in pieces
        const auto iPiece =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(iRemaining, std::numeric_limits<std::uint32_t>::max()));
        std::uint32_t iWritten = 0;
        // A zero-byte copy still asks the target, so that its own result (a full medium) is seen.
        static const std::uint8_t iNothing = 0;
        iResult = Write(*pTarget, iPiece ? pFrom : &iNothing, iPiece, &iWritten);
        iWrittenTotal += iWritten;
        pFrom += iPiece;
        iRemaining -= iPiece;
        if (iResult != S_OK) break;
    } while (iRemaining > 0);
    if (pWritten) *pWritten = iWrittenTotal;
    return iResult;
}

HRESULT Stat(const uMemoryStream& stream, uStatStg* pStat) {
    if (!pStat) return STG_E_INVALIDPOINTER;
    *pStat = uStatStg{};
    pStat->iType = StgTypeStream;
    pStat->iSize = stream.iSize;
    pStat->iMode = stream.iMode == ModeReadOnly ? 0 : StgModeReadWrite;
    return S_OK;
}

HRESULT Clone(const uMemoryStream& stream, std::shared_ptr<uMemoryStream>* pClone) {
    if (!pClone) return STG_E_INVALIDPOINTER;
    *pClone = std::make_shared<uMemoryStream>(stream);
    return S_OK;
}

Device::Device(std::shared_ptr<uMemoryStream> pStreamIn) : pStream(std::move(pStreamIn)) {
    // Unbuffered: Qt's position and the stream's position stay one and the same.
    open((pStream->iMode == ModeReadOnly ? QIODevice::ReadOnly : QIODevice::ReadWrite) | QIODevice::Unbuffered);
}

qint64 Device::size() const { return static_cast<qint64>(pStream->iSize); }

bool Device::seek(qint64 iPosition) {
    if (iPosition < 0 || Seek(*pStream, iPosition, SeekSet, nullptr) != S_OK) return false;
    return QIODevice::seek(iPosition);
}

qint64 Device::readData(char* pData, qint64 iMax) {
    qint64 iTotal = 0;
    while (iTotal < iMax) {
        const auto iAsk = static_cast<std::uint32_t>(
            std::min<qint64>(iMax - iTotal, std::numeric_limits<std::uint32_t>::max()));
        std::uint32_t iRead = 0;
        if (Read(*pStream, pData + iTotal, iAsk, &iRead) != S_OK || iRead == 0) break;
        iTotal += iRead;
    }
    return iTotal;
}

qint64 Device::writeData(const char* pData, qint64 iCount) {
    const auto iAsk =
        static_cast<std::uint32_t>(std::min<qint64>(iCount, std::numeric_limits<std::uint32_t>::max()));
    std::uint32_t iWritten = 0;
    Write(*pStream, pData, iAsk, &iWritten);
    return iWritten == 0 && iCount > 0 ? -1 : iWritten;
}

} // namespace MemoryStream
