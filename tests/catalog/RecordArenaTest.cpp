#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "catalog/RecordArena.h"

using qd::RecordArena;

// Pieces of every size around the chunk sizes, each aligned as asked, none
// overlapping another, each keeping what was written into it; after reset()
// the same requests are served from the chunks kept.
TEST(RecordArena, HandsOutAlignedDisjointPiecesAndReusesItsChunksAfterReset)
{
    const std::pair<std::size_t, std::size_t> requests[] = {
        {1, 1}, {0, 1}, {80, 8}, {3, 4}, {65536, 8}, {7, 64}, {100000, 16}, {3 << 20, 4096}, {5, 2}, {40 << 20, 8},
    };
    RecordArena arena;
    std::vector<const void*> first;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::pair<char*, std::size_t>> pieces;
        for (const auto& [bytes, align] : requests) {
            char* p = static_cast<char*>(arena.allocate(bytes, align));
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % align, 0u) << bytes << " bytes at " << align;
            std::memset(p, int(pieces.size() + 1), bytes);
            pieces.push_back({p, bytes});
        }
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const auto [p, bytes] = pieces[i];
            EXPECT_TRUE(std::all_of(p, p + bytes, [&](char c) { return c == char(i + 1); })) << "piece " << i;
        }
        std::sort(pieces.begin(), pieces.end());
        for (std::size_t i = 1; i < pieces.size(); ++i)
            EXPECT_LE(pieces[i - 1].first + pieces[i - 1].second, pieces[i].first) << "pieces overlap";

        std::vector<const void*> now;
        for (const auto& piece : pieces)
            now.push_back(piece.first);
        if (round == 0)
            first = now;
        else
            EXPECT_EQ(now, first) << "the same requests after reset() take the same memory";
        EXPECT_EQ(arena.unused(), 0u);
        arena.deallocate(80);
        EXPECT_EQ(arena.unused(), 80u);
        arena.reset();
        EXPECT_EQ(arena.handedOut(), 0u);
    }
}
