#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/AllocationFailure.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using PP = PixelPrimitives;
using VP = VectorPrimitives;

namespace {

bool Aligned64(const void* p) {
    return p != nullptr && reinterpret_cast<std::uintptr_t>(p) % 64 == 0;
}

}  // namespace

// Every block is 64-byte aligned and counted; a pitch is the row rounded up to 64 bytes,
// whatever the height. Columns: width, then the pitch of 8u, 8u C3, 16u and 32f.
TEST(Memory, BlocksAreAlignedCountedAndPitchedTo64) {
    const long long start = PixelPrimitivesAllocationCount();
    const int cases[][5] = {
        {17, 64, 64, 64, 128}, {33, 64, 128, 128, 192}, {640, 640, 1920, 1280, 2560}};
    int height = 1;
    for (const auto& c : cases) {
        int pitches[4] = {};
        void* blocks[] = {PP::Malloc_8u_C1(c[0], height, &pitches[0]),
                          PP::Malloc_8u_C3(c[0], height, &pitches[1]),
                          PP::Malloc_16u_C1(c[0], height, &pitches[2]),
                          PP::Malloc_32f_C1(c[0], height++, &pitches[3])};
        EXPECT_EQ(std::vector<int>(pitches, pitches + 4), std::vector<int>(c + 1, c + 5)) << c[0];
        for (void* p : blocks) {
            EXPECT_TRUE(Aligned64(p));
            PP::Free(p);
        }
    }
    void* vectors[] = {VP::Malloc_8u(1), VP::Malloc_16u(3), VP::Malloc_32s(4097),
                       VP::Malloc_32f(7)};
    for (void* p : vectors) {
        EXPECT_TRUE(Aligned64(p));
        VP::Free(p);
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 3 * 4 + 4);
}

// Including a size whose byte count overflows an int.
TEST(Memory, DegenerateSizesGiveNullAndZeroPitch) {
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-3, 2}, {1 << 30, 4}}) {
        int pitch = 77;
        EXPECT_EQ(PP::Malloc_32f_C1(w, h, &pitch), nullptr);
        EXPECT_EQ(pitch, 0);
    }
    EXPECT_EQ(VP::Malloc_32s(0), nullptr);
    PP::Free(nullptr);
    VP::Free(nullptr);
}

// The test hook fails exactly the chosen allocation, of either class, and only once; sizes
// rejected anyway do not count towards it.
TEST(Memory, ArmedFailureHitsOnlyTheChosenAllocation) {
    PixelPrimitivesFailAllocationAfter(1);
    EXPECT_EQ(VP::Malloc_32f(0), nullptr);  // not an allocation
    float* first = VP::Malloc_32f(8);
    EXPECT_TRUE(PixelPrimitivesAllocationFailurePending());
    int pitch = 5;
    EXPECT_EQ(PP::Malloc_16u_C1(4, 4, &pitch), nullptr);
    EXPECT_EQ(pitch, 0);
    EXPECT_FALSE(PixelPrimitivesAllocationFailurePending());
    unsigned char* third = PP::Malloc_8u_C1(4, 4, &pitch);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(third, nullptr);
    VP::Free(first);
    PP::Free(third);

    PixelPrimitivesFailAllocationAfter(0);
    PixelPrimitivesFailAllocationAfter(-1);  // disarmed before it struck
    EXPECT_FALSE(PixelPrimitivesAllocationFailurePending());
    int* kept = VP::Malloc_32s(3);
    EXPECT_NE(kept, nullptr);
    VP::Free(kept);
}
