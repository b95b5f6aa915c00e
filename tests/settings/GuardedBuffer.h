#pragma once
#include <cstddef>
#include <vector>

// `capacity` elements between two runs of guard elements, to show that a writer
// kept within what it was given.
template <typename T>
struct GuardedBuffer {
    explicit GuardedBuffer(std::size_t capacity) : capacity(capacity), storage(capacity + 32, T(0x5A)) {}
    T* data() { return storage.data() + 16; }
    bool GuardsIntact() const {
        for (std::size_t i = 0; i < 16; ++i)
            if (storage[i] != T(0x5A) || storage[16 + capacity + i] != T(0x5A)) return false;
        return true;
    }
    std::size_t capacity;
    std::vector<T> storage;
};
