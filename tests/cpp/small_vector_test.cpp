#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "large_block.hpp"
#include "small_vector.hpp"
#include "text_buffer.hpp"

namespace pipwerk {
namespace {

using Small = SmallVector<std::uint32_t, 4>;

std::vector<std::uint32_t> items(const Small& v) { return {v.begin(), v.end()}; }

Small counting(std::uint32_t n) {
    Small v;
    for (std::uint32_t i = 0; i < n; ++i) v.push_back(i);
    return v;
}

std::vector<std::uint32_t> iota(std::uint32_t n) {
    std::vector<std::uint32_t> v(n);
    std::iota(v.begin(), v.end(), 0u);
    return v;
}

TEST(SmallVector, GrowsFromInlineToHeapKeepingItsElements) {
    for (const std::uint32_t n : {0u, 1u, 4u, 5u, 8u, 9u, 1000u}) {
        SCOPED_TRACE(n);
        const Small v = counting(n);
        EXPECT_EQ(items(v), iota(n));
        EXPECT_EQ(v.on_heap(), n > 4);
        EXPECT_GE(v.capacity(), n);
    }
}

TEST(SmallVector, CopiesAndMovesBothForms) {
    for (const std::uint32_t n : {3u, 40u}) {
        SCOPED_TRACE(n);
        Small source = counting(n);
        const Small copy = source;
        EXPECT_EQ(items(copy), iota(n));
        Small assigned = counting(7);
        assigned = copy;
        EXPECT_EQ(items(assigned), iota(n));

        Small moved = std::move(source);
        EXPECT_EQ(items(moved), iota(n));
        EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty and usable
        EXPECT_FALSE(source.on_heap());
        source.push_back(9);
        EXPECT_EQ(items(source), std::vector<std::uint32_t>{9});

        Small target = counting(20);
        target = std::move(moved);
        EXPECT_EQ(items(target), iota(n));
    }
}

TEST(SmallVector, AppendsFromItselfAcrossAGrowth) {
    // push_back of an element and append of a run that live in the storage
    // about to be reallocated.
    Small v = counting(4);
    v.push_back(v[1]);
    EXPECT_EQ(items(v), (std::vector<std::uint32_t>{0, 1, 2, 3, 1}));
    Small w = counting(4);
    w.append(w.data() + 1, 3);
    EXPECT_EQ(items(w), (std::vector<std::uint32_t>{0, 1, 2, 3, 1, 2, 3}));
}

TEST(SmallVector, EmplaceExtendAndTruncate) {
    Small v;
    v.emplace_back(7u);
    std::uint32_t* room = v.extend(6);
    for (std::uint32_t i = 0; i < 6; ++i) room[i] = 10 + i;
    EXPECT_EQ(items(v), (std::vector<std::uint32_t>{7, 10, 11, 12, 13, 14, 15}));
    v.truncate(2);
    EXPECT_EQ(items(v), (std::vector<std::uint32_t>{7, 10}));
    v.reserve(100);
    EXPECT_GE(v.capacity(), 100u);
    EXPECT_EQ(items(v), (std::vector<std::uint32_t>{7, 10}));
    v.clear();
    EXPECT_TRUE(v.empty());
}

TEST(SmallVector, CrossesIntoLargeBlocksAndBack) {
    // Past kLargeBlockBytes the storage is a mapping of its own; growing into
    // it, copying, moving and shrinking must keep every element.
    const auto large = static_cast<std::uint32_t>(kLargeBlockBytes / sizeof(std::uint32_t) + 12345);
    Small v = counting(large);
    EXPECT_GE(v.capacity() * sizeof(std::uint32_t), kLargeBlockBytes);
    EXPECT_EQ(items(v), iota(large));
    Small copy = v;
    EXPECT_EQ(items(copy), iota(large));
    copy = counting(3);  // assigning a short list keeps the large block
    EXPECT_EQ(items(copy), iota(3));
    Small moved = std::move(v);
    EXPECT_EQ(moved.size(), large);
    EXPECT_EQ(moved.back(), large - 1);
    moved.append(moved.data(), moved.size());  // from itself, across a growth
    EXPECT_EQ(moved.size(), 2 * std::size_t{large});
    EXPECT_EQ(moved[large], 0u);
    EXPECT_EQ(moved.back(), large - 1);
}

TEST(TextBuffer, BuildsTextsOfAnyLength) {
    // Short texts stay inline; a long one moves to the heap mid-way, also
    // inside a write.
    for (const std::size_t pieces : {1u, 20u, 500u}) {
        SCOPED_TRACE(pieces);
        TextBuffer text;
        std::string want;
        for (std::size_t i = 0; i < pieces; ++i) {
            text += "[6]";
            text += ' ';
            text.append(2, '(');
            text.write(20, [](char* at) {
                at[0] = '4';
                at[1] = '2';
                return at + 2;
            });
            want += "[6] ((42";
        }
        EXPECT_EQ(text.view(), want);
        text.truncate(3);
        EXPECT_EQ(text.view(), "[6]");
    }
}

}  // namespace
}  // namespace pipwerk
