#include "common/DataBuffer.h"

#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

DataBuffer::DataBuffer(const DataBuffer& other) {
    if (other.iSize > 0 && reserve(other.iSize)) {
        std::memcpy(pBlock.get(), other.pBlock.get(), other.iSize);
        iSize = other.iSize;
    }
}

DataBuffer& DataBuffer::operator=(const DataBuffer& other) {
    if (this != &other) {
        DataBuffer copy(other);
        *this = std::move(copy);
    }
    return *this;
}

DataBuffer::DataBuffer(DataBuffer&& other) noexcept
    : pBlock(std::move(other.pBlock)), iSize(std::exchange(other.iSize, 0)),
      iCapacity(std::exchange(other.iCapacity, 0)) {}

DataBuffer& DataBuffer::operator=(DataBuffer&& other) noexcept {
    if (this != &other) {
        pBlock = std::move(other.pBlock);
        iSize = std::exchange(other.iSize, 0);
        iCapacity = std::exchange(other.iCapacity, 0);
    }
    return *this;
}

DataBuffer DataBuffer::FromBytes(const void* pBytes, std::size_t iCount) {
    DataBuffer buffer;
    buffer.assign(pBytes, iCount);
    return buffer;
}

bool DataBuffer::reserve(std::size_t iNewCapacity) {
    if (iNewCapacity <= iCapacity) return true;
    if (iNewCapacity > MaxCapacity) return false;
    std::unique_ptr<std::uint8_t[]> pNew(new (std::nothrow) std::uint8_t[iNewCapacity]);
    if (!pNew) return false;
    if (iCapacity > 0) std::memcpy(pNew.get(), pBlock.get(), iCapacity);
    pBlock = std::move(pNew);
    iCapacity = iNewCapacity;
    return true;
}

bool DataBuffer::setSize(std::size_t iNewSize) {
    if (iNewSize > iCapacity) return false;
    iSize = iNewSize;
    return true;
}

bool DataBuffer::append(const void* pBytes, std::size_t iCount) {
    if (iCount == 0) return true;
    if (pBytes == nullptr || iCount > SIZE_MAX - iSize) return false;
    const std::size_t iNeeded = iSize + iCount;
    if (iNeeded > iCapacity) {
        const std::size_t iDoubled = std::min(iCapacity * 2, MaxCapacity);
        if (!reserve(std::max(iNeeded, iDoubled)) && !reserve(iNeeded)) return false;
    }
    // The bytes may lie in this buffer's own room behind its valid bytes (an answer read there).
    std::memmove(pBlock.get() + iSize, pBytes, iCount);
    iSize = iNeeded;
    return true;
}

bool DataBuffer::assign(const void* pBytes, std::size_t iCount) {
    if (iCount > 0 && pBytes == nullptr) return false;
    if (iCount > iCapacity) {
        // The old contents are not needed: drop them before taking the new block.
        DataBuffer fresh;
        if (!fresh.reserve(iCount)) return false;
        *this = std::move(fresh);
    }
    if (iCount > 0) std::memcpy(pBlock.get(), pBytes, iCount);
    iSize = iCount;
    return true;
}

void DataBuffer::release() {
    pBlock.reset();
    iSize = 0;
    iCapacity = 0;
}

void DataBuffer::UseOneHeap() {
#ifdef M_ARENA_MAX
    mallopt(M_ARENA_MAX, 1);
#endif
#ifdef M_MMAP_THRESHOLD
    // A fixed threshold also ends the allocator's own raising of it.
    mallopt(M_MMAP_THRESHOLD, LargeBlock);
#endif
#ifdef M_MXFAST
    // Small blocks are merged with their free neighbours when freed, not kept in the fast lists:
    // a text view of millions of lines frees millions of small blocks, and the fast lists would
    // hand that whole merging to the next large allocation, which then holds its thread (the
    // GUI thread) for a tenth of a second. Recently freed small blocks are still reused at once
    // from the per-thread cache.
    mallopt(M_MXFAST, 0);
#endif
}
