// Movable global memory, the currency of TWAIN containers, scanned images and
// logical palettes: an owned block and a scoped lock on any block.
#pragma once

#include <windows.h>

// Owns a global memory block and frees it when it goes, unless Detach() handed
// it on (to the source, to the dialog).
class CGlobalBlock {
public:
    CGlobalBlock() : m_hBlock(nullptr) {}
    explicit CGlobalBlock(HGLOBAL block) : m_hBlock(block) {}
    ~CGlobalBlock() { Free(); }
    CGlobalBlock(const CGlobalBlock&) = delete;
    CGlobalBlock& operator=(const CGlobalBlock&) = delete;
    CGlobalBlock(CGlobalBlock&& other) noexcept : m_hBlock(other.Detach()) {}
    CGlobalBlock& operator=(CGlobalBlock&& other) noexcept {
        if (this != &other) {
            Free();
            m_hBlock = other.Detach();
        }
        return *this;
    }

    // Movable and zero-filled, as every container the copier hands a source.
    static CGlobalBlock Allocate(SIZE_T bytes) { return CGlobalBlock(GlobalAlloc(GHND, bytes)); }

    HGLOBAL Get() const { return m_hBlock; }
    HGLOBAL Detach() {
        HGLOBAL block = m_hBlock;
        m_hBlock = nullptr;
        return block;
    }
    void Free() {
        if (m_hBlock) GlobalFree(m_hBlock);
        m_hBlock = nullptr;
    }

private:
    HGLOBAL m_hBlock;
};

// Keeps a block locked for its own lifetime; Data() is null when the lock failed.
class CGlobalLock {
public:
    explicit CGlobalLock(HGLOBAL block)
        : m_hBlock(block), m_pData(block ? GlobalLock(block) : nullptr) {}
    ~CGlobalLock() {
        if (m_pData) GlobalUnlock(m_hBlock);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;

    void* Data() const { return m_pData; }
    // The block's size as the allocator reports it, 0 when it is not locked.
    SIZE_T Size() const { return m_pData ? GlobalSize(m_hBlock) : 0; }

private:
    HGLOBAL m_hBlock;
    void* m_pData;
};
