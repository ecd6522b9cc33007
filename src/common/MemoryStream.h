// A stream over a caller's byte buffer with the read, write, seek, stat and clone rules of a
// COM IStream: it never grows, never owns the buffer, and reports results as HRESULT codes.
// The image decoder reads received screen copies through it (see Device below).
#pragma once

#include <QIODevice>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace MemoryStream {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
inline constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
inline constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
inline constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070u);

inline constexpr int ModeReadOnly = 0;
inline constexpr int ModeReadWrite = 1; // any value but 0 makes the stream writable

inline constexpr int SeekSet = 0; // from the start
inline constexpr int SeekCur = 1; // from the position
inline constexpr int SeekEnd = 2; // from the end (the size)

inline constexpr int StgTypeStream = 2;
inline constexpr int StgModeReadWrite = 2;

struct uMemoryStream {
    int iMode = ModeReadOnly;
    std::uint8_t* pBuffer = nullptr; // not owned; must outlive the stream
    std::uint64_t iSize = 0;
    std::uint64_t iPosition = 0;
};

struct uStatStg {
    int iType = 0;
    std::uint64_t iSize = 0;
    int iMode = 0;
};

// A stream is shared: the last owner frees it, never the buffer. One thread at a time.
std::shared_ptr<uMemoryStream> Create(int iMode, std::uint8_t* pBuffer, std::uint64_t iSize);
// A read-only stream over constant bytes.
std::shared_ptr<uMemoryStream> CreateReadOnly(const std::uint8_t* pBuffer, std::uint64_t iSize);

HRESULT Read(uMemoryStream& stream, void* pTarget, std::uint32_t iCount, std::uint32_t* pRead);
HRESULT Write(uMemoryStream& stream, const void* pSource, std::uint32_t iCount, std::uint32_t* pWritten);
HRESULT Seek(uMemoryStream& stream, std::int64_t iMove, int iOrigin, std::uint64_t* pNewPosition);
HRESULT CopyTo(uMemoryStream& stream, uMemoryStream* pTarget, std::uint64_t iCount, std::uint64_t* pRead,
               std::uint64_t* pWritten);
HRESULT Stat(const uMemoryStream& stream, uStatStg* pStat);
HRESULT Clone(const uMemoryStream& stream, std::shared_ptr<uMemoryStream>* pClone);

// The stream as a Qt device, so that QImageReader reads through it. Keeps the stream alive.
class Device : public QIODevice {
  public:
    explicit Device(std::shared_ptr<uMemoryStream> pStream);
    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 iPosition) override;

  protected:
    qint64 readData(char* pData, qint64 iMax) override;
    qint64 writeData(const char* pData, qint64 iCount) override;

  private:
    std::shared_ptr<uMemoryStream> pStream;
};

} // namespace MemoryStream
