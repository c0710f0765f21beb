#pragma once

#include <cstddef>
#include <new>

namespace pipwerk {

// Heap storage for growing buffers. A block of a megabyte or more (the node
// arena, the numbers and texts of a long set, the output text of a huge
// input) is mapped fresh from the kernel on every call, and touching it page
// by page costs a fault per 4 KiB: over ten thousand for a 10 MB expression,
// about as much time again as the work on it, and still a third more time
// per item for a set of 10^5 items. Such a block is aligned to 2 MiB and
// marked for transparent huge pages where the system offers them, so it
// faults once per 2 MiB. Smaller blocks come from operator new as usual.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{1} << 20;

[[nodiscard]] void* allocate_large_block(std::size_t bytes);
void free_large_block(void* block, std::size_t bytes) noexcept;

[[nodiscard]] inline void* allocate_block(std::size_t bytes) {
    return bytes < kLargeBlockBytes ? ::operator new(bytes) : allocate_large_block(bytes);
}

// `bytes` is the size the block was allocated with.
inline void free_block(void* block, std::size_t bytes) noexcept {
    if (bytes < kLargeBlockBytes) {
        ::operator delete(block, bytes);
    } else {
        free_large_block(block, bytes);
    }
}

}  // namespace pipwerk
