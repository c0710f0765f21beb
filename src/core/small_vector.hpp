#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "large_block.hpp"
#include "out_of_memory.hpp"

namespace pipwerk {

// A vector of plain values whose first N elements live inside the object, so
// the short lists of a typical expression cost no heap allocation. Past N it
// moves to the heap and grows geometrically like std::vector. Elements are
// trivially copyable, so moving storage is a memcpy and nothing is destroyed.
template <class T, std::size_t N>
class SmallVector {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    static_assert(N > 0);
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

public:
    SmallVector() noexcept = default;
    SmallVector(const SmallVector& other) { append(other.data(), other.size()); }
    SmallVector(SmallVector&& other) noexcept { take(other); }
    SmallVector& operator=(const SmallVector& other) {
        if (this != &other) {
            size_ = 0;
            append(other.data(), other.size());
        }
        return *this;
    }
    SmallVector& operator=(SmallVector&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~SmallVector() { release(); }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
    [[nodiscard]] bool on_heap() const noexcept { return data_ != inline_data(); }

    [[nodiscard]] T* data() noexcept { return data_; }
    [[nodiscard]] const T* data() const noexcept { return data_; }
    [[nodiscard]] T* begin() noexcept { return data_; }
    [[nodiscard]] T* end() noexcept { return data_ + size_; }
    [[nodiscard]] const T* begin() const noexcept { return data_; }
    [[nodiscard]] const T* end() const noexcept { return data_ + size_; }
    [[nodiscard]] T& operator[](std::size_t i) noexcept { return data_[i]; }
    [[nodiscard]] const T& operator[](std::size_t i) const noexcept { return data_[i]; }
    [[nodiscard]] T& back() noexcept { return data_[size_ - 1]; }
    [[nodiscard]] const T& back() const noexcept { return data_[size_ - 1]; }
    [[nodiscard]] std::span<const T> span() const noexcept { return {data_, size_}; }

    void push_back(const T& value) {
        if (size_ == capacity_) {
            const T copy = value;  // value may live in the storage about to move
            grow(size_ + 1);
            std::construct_at(data_ + size_, copy);
        } else {
            std::construct_at(data_ + size_, value);
        }
        ++size_;
    }
    // Constructs the new last element in place, so nothing is built aside and
    // copied in (a fresh piecewise-written copy is slow to read back whole).
    // The arguments must not refer into this vector.
    template <class... Args>
    T& emplace_back(Args&&... args) {
        if (size_ == capacity_) grow(size_ + 1);
        T* element = std::construct_at(data_ + size_, std::forward<Args>(args)...);
        ++size_;
        return *element;
    }
    void pop_back() noexcept { --size_; }
    // Grows by n elements left for the caller to write, and returns the first.
    [[nodiscard]] T* extend(std::size_t n) {
        if (n > capacity_ - size_) grow(size_ + n);
        T* first = data_ + size_;
        size_ += n;
        return first;
    }
    // Drops the elements from n on; n is at most size().
    void truncate(std::size_t n) noexcept { size_ = n; }
    void clear() noexcept { size_ = 0; }
    void reserve(std::size_t n) {
        if (n > capacity_) grow(n);
    }
    void append(const T* items, std::size_t count) {
        if (count == 0) return;
        if (count > capacity_ - size_) {
            // items may point into our own storage, which is about to move
            const bool inside = std::less_equal<>{}(data_, items) && std::less<>{}(items, data_ + size_);
            const std::size_t offset = inside ? static_cast<std::size_t>(items - data_) : 0;
            grow(size_ + count);
            if (inside) items = data_ + offset;
        }
        std::memcpy(static_cast<void*>(data_ + size_), items, count * sizeof(T));
        size_ += count;
    }

private:
    [[nodiscard]] T* inline_data() noexcept { return reinterpret_cast<T*>(inline_); }
    [[nodiscard]] const T* inline_data() const noexcept { return reinterpret_cast<const T*>(inline_); }

    // Out of line: the callers' usual path is a bounds check and a store.
    [[gnu::noinline]] void grow(std::size_t needed) {
        const std::size_t capacity = std::max(needed, 2 * capacity_);
        if (capacity > std::size_t(-1) / sizeof(T)) out_of_memory();
        T* fresh = static_cast<T*>(allocate_block(capacity * sizeof(T)));
        if (size_ != 0) std::memcpy(static_cast<void*>(fresh), data_, size_ * sizeof(T));
        release();
        data_ = fresh;
        capacity_ = capacity;
    }

    void release() noexcept {
        if (on_heap()) free_block(data_, capacity_ * sizeof(T));
    }

    // Takes other's elements, leaving it empty and inline.
    void take(SmallVector& other) noexcept {
        if (other.on_heap()) {
            data_ = other.data_;
            capacity_ = other.capacity_;
        } else {
            data_ = inline_data();
            capacity_ = N;
            if (other.size_ != 0) std::memcpy(static_cast<void*>(data_), other.data_, other.size_ * sizeof(T));
        }
        size_ = other.size_;
        other.data_ = other.inline_data();
        other.size_ = 0;
        other.capacity_ = N;
    }

    T* data_ = inline_data();
    std::size_t size_ = 0;
    std::size_t capacity_ = N;
    alignas(T) unsigned char inline_[N * sizeof(T)];
};

}  // namespace pipwerk
