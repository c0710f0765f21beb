#include "large_block.hpp"

#include <cstdint>

#include "out_of_memory.hpp"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pipwerk {

#if defined(__linux__) && defined(MADV_HUGEPAGE)

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

constexpr std::size_t whole_huge_pages(std::size_t bytes) noexcept {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

// The block is a mapping of its own, not memory from the allocator's heap:
// the huge-page advice then covers this block alone and never the heap the
// interpreter's small objects live in.
void* allocate_large_block(std::size_t bytes) {
    const std::size_t size = whole_huge_pages(bytes);
    if (size < bytes) out_of_memory();
    // Map one huge page more than needed and cut the ends off, so the block
    // starts on a huge-page boundary.
    const std::size_t mapped = size + kHugePage;
    void* const raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) out_of_memory();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned != start) ::munmap(raw, aligned - start);
    if (const std::size_t after = start + mapped - (aligned + size); after != 0) {
        ::munmap(reinterpret_cast<void*>(aligned + size), after);
    }
    void* const block = reinterpret_cast<void*>(aligned);
    // Advice only: where huge pages are off or scarce the block keeps
    // ordinary pages, so a refusal changes nothing.
    (void)::madvise(block, size, MADV_HUGEPAGE);
    return block;
}

void free_large_block(void* block, std::size_t bytes) noexcept { ::munmap(block, whole_huge_pages(bytes)); }

#else

void* allocate_large_block(std::size_t bytes) { return ::operator new(bytes); }

void free_large_block(void* block, std::size_t bytes) noexcept { ::operator delete(block, bytes); }

#endif

}  // namespace pipwerk
