#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

bool Aligned64(const void* p) { return reinterpret_cast<std::uintptr_t>(p) % 64 == 0; }

}  // namespace

TEST(Memory, PitchIsRowRoundedUpTo64AndDependsOnlyOnWidthAndType) {
    struct Case {
        int width;
        int expected8u, expected8uC3, expected16u, expected32f;
    };
    for (Case c : {Case{1, 64, 64, 64, 64}, Case{16, 64, 64, 64, 64}, Case{17, 64, 64, 64, 128},
                   Case{33, 64, 128, 128, 192}, Case{640, 640, 1920, 1280, 2560}}) {
        for (int height : {1, 3}) {
            int pitch = -1;
            unsigned char* a = PixelPrimitives::Malloc_8u_C1(c.width, height, &pitch);
            EXPECT_EQ(pitch, c.expected8u);
            unsigned char* b = PixelPrimitives::Malloc_8u_C3(c.width, height, &pitch);
            EXPECT_EQ(pitch, c.expected8uC3);
            unsigned short* d = PixelPrimitives::Malloc_16u_C1(c.width, height, &pitch);
            EXPECT_EQ(pitch, c.expected16u);
            float* e = PixelPrimitives::Malloc_32f_C1(c.width, height, &pitch);
            EXPECT_EQ(pitch, c.expected32f);
            for (void* p : {static_cast<void*>(a), static_cast<void*>(b), static_cast<void*>(d),
                            static_cast<void*>(e)}) {
                ASSERT_NE(p, nullptr);
                EXPECT_TRUE(Aligned64(p));
                PixelPrimitives::Free(p);
            }
        }
    }
}

TEST(Memory, DegenerateSizesGiveNullAndZeroPitch) {
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 2}, std::pair{1 << 30, 4}}) {
        int pitch = 77;
        EXPECT_EQ(PixelPrimitives::Malloc_32f_C1(w, h, &pitch), nullptr);
        EXPECT_EQ(pitch, 0);
    }
    EXPECT_EQ(PixelPrimitives::Malloc_16u_C1(4, 4, nullptr), nullptr);
    EXPECT_EQ(VectorPrimitives::Malloc_32s(0), nullptr);
    EXPECT_EQ(VectorPrimitives::Malloc_32f(-1), nullptr);
    PixelPrimitives::Free(nullptr);
    VectorPrimitives::Free(nullptr);
}

TEST(Memory, VectorBlocksAreAlignedAndCounted) {
    long long start = PixelPrimitivesAllocationCount();
    void* blocks[] = {VectorPrimitives::Malloc_8u(1), VectorPrimitives::Malloc_16u(3),
                      VectorPrimitives::Malloc_32s(4097), VectorPrimitives::Malloc_32f(7)};
    for (void* p : blocks) {
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(Aligned64(p));
        VectorPrimitives::Free(p);
    }
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 4);
}
