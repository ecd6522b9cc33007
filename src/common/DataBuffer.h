// An owning block of bytes that knows how many bytes it holds (size) and how many it has room
// for (capacity). Answer and send buffers of every transport, file contents and block data
// travel in it. Growing never throws: a failed allocation is reported as false and leaves the
// buffer as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

class DataBuffer {
  public:
    // No buffer grows beyond this: a length from an instrument or a file that asks for more
    // is refused like a failed allocation.
    static constexpr std::size_t MaxCapacity = std::size_t{1} << 32;

    DataBuffer() = default;
    DataBuffer(const DataBuffer& other);
    DataBuffer& operator=(const DataBuffer& other);
    DataBuffer(DataBuffer&& other) noexcept;
    DataBuffer& operator=(DataBuffer&& other) noexcept;
    ~DataBuffer() = default;

    // A buffer holding a copy of the bytes; empty (no memory) when the allocation fails.
    static DataBuffer FromBytes(const void* pBytes, std::size_t iCount);
    static DataBuffer FromText(std::string_view sText) { return FromBytes(sText.data(), sText.size()); }

    std::uint8_t* data() { return pBlock.get(); }
    const std::uint8_t* data() const { return pBlock.get(); }
    std::size_t size() const { return iSize; }
    std::size_t capacity() const { return iCapacity; }
    bool empty() const { return iSize == 0; }
    // True when memory is held (a buffer may have capacity but no valid bytes yet).
    bool allocated() const { return pBlock != nullptr; }

    std::uint8_t& operator[](std::size_t i) { return pBlock[i]; }
    std::uint8_t operator[](std::size_t i) const { return pBlock[i]; }
    std::uint8_t* begin() { return data(); }
    std::uint8_t* end() { return data() + iSize; }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + iSize; }

    std::span<std::uint8_t> span() { return {data(), iSize}; }
    std::span<const std::uint8_t> span() const { return {data(), iSize}; }
    // The valid bytes read as single-byte text.
    std::string_view view() const { return {reinterpret_cast<const char*>(data()), iSize}; }

    // Makes the capacity exactly iCapacity when it is larger than now, keeping every byte the
    // old block held; the new part is not cleared. False (nothing changed) when the memory
    // cannot be had or the request exceeds MaxCapacity. A smaller request changes nothing and succeeds.
    bool reserve(std::size_t iNewCapacity);
    // Sets the count of valid bytes; false (nothing changed) beyond the capacity.
    bool setSize(std::size_t iNewSize);
    // Appends bytes, growing the capacity to at least double when it must grow. The bytes may
    // lie in the buffer's own room behind its valid bytes when no growth is needed.
    bool append(const void* pBytes, std::size_t iCount);
    bool append(std::string_view sText) { return append(sText.data(), sText.size()); }
    // Replaces the contents with a copy of the bytes.
    bool assign(const void* pBytes, std::size_t iCount);
    // No valid bytes, memory kept.
    void clear() { iSize = 0; }
    // No valid bytes and no memory.
    void release();

    // Start-up, before any other thread runs: every thread allocates from the main thread's
    // heap. An instrument's worker thread fills a trace's sample block and the GUI thread frees
    // it; in a heap of the worker's own, that free empties the heap, which goes back to the
    // system, and the next read's block is faulted in afresh page by page (on a virtual machine
    // that costs as much as the transfer). The program's threads are few and seldom allocate
    // at the same time. Freed small blocks are merged at once (see the definition).
    // Blocks of LargeBlock bytes or more (pictures, screen-copy answers, long traces) are mapped
    // on their own and go back to the system when freed. Left to the heap, as the allocator
    // does by itself once the first such block was freed, the pictures of several capture
    // windows at work leave holes between records that stay, and the program's resident size
    // crept up by about 20 MB over two hours of three instruments' automatic screenshots and
    // waveforms. A mapped block is faulted in afresh at each use: about 1 ms per MB here, next
    // to the transfer of that MB from an instrument.
    static constexpr int LargeBlock = 512 * 1024;
    static void UseOneHeap();

  private:
    std::unique_ptr<std::uint8_t[]> pBlock;
    std::size_t iSize = 0;
    std::size_t iCapacity = 0;
};
