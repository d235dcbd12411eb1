#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

bool Aligned64(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % 64 == 0;
}

}  // namespace

TEST(Memory, PitchIsRowRoundedUpTo64AndDependsOnlyOnWidthAndType) {
    struct Case {
        int width;
        int expected8u, expected8uC3, expected16u, expected32f;
    };
    for (Case c : {Case{1, 64, 64, 64, 64}, Case{17, 64, 64, 64, 128}, Case{33, 64, 128, 128, 192},
                   Case{640, 640, 1920, 1280, 2560}}) {
        for (int height : {1, 3}) {
            int pitches[4] = {};
            void* blocks[] = {PixelPrimitives::Malloc_8u_C1(c.width, height, &pitches[0]),
                              PixelPrimitives::Malloc_8u_C3(c.width, height, &pitches[1]),
                              PixelPrimitives::Malloc_16u_C1(c.width, height, &pitches[2]),
                              PixelPrimitives::Malloc_32f_C1(c.width, height, &pitches[3])};
            EXPECT_EQ(pitches[0], c.expected8u);
            EXPECT_EQ(pitches[1], c.expected8uC3);
            EXPECT_EQ(pitches[2], c.expected16u);
            EXPECT_EQ(pitches[3], c.expected32f);
            for (void* p : blocks) {
                EXPECT_TRUE(p != nullptr && Aligned64(p));
                PixelPrimitives::Free(p);
            }
        }
    }
}

TEST(Memory, DegenerateSizesGiveNullAndZeroPitch) {
    for (auto [w, h] :
         {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 2}, std::pair{1 << 30, 4}}) {
        int pitch = 77;
        EXPECT_EQ(PixelPrimitives::Malloc_32f_C1(w, h, &pitch), nullptr);
        EXPECT_EQ(pitch, 0);
    }
    EXPECT_EQ(VectorPrimitives::Malloc_32s(0), nullptr);
    PixelPrimitives::Free(nullptr);
    VectorPrimitives::Free(nullptr);
}

TEST(Memory, VectorBlocksAreAlignedAndCounted) {
    long long start = PixelPrimitivesAllocationCount();
    void* blocks[] = {VectorPrimitives::Malloc_8u(1), VectorPrimitives::Malloc_16u(3),
                      VectorPrimitives::Malloc_32s(4097), VectorPrimitives::Malloc_32f(7)};
    for (void* p : blocks) {
        EXPECT_TRUE(p != nullptr && Aligned64(p));
        VectorPrimitives::Free(p);
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 4);
}
