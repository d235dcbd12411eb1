#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>

#include <memory>

using Varnik::Soloma::ImageProcessing::detail::ImageBuffer;
using Varnik::Soloma::ImageProcessing::detail::VectorBuffer;

namespace {

VectorBuffer<int> FilledVector(int length) {
    VectorBuffer<int> buffer;
    buffer.Allocate(length);
    for (int i = 0; i < length; ++i) {
        buffer[i] = 3 * i + 1;
    }
    return buffer;
}

}  // namespace

TEST(VectorBuffer, CopiesDuplicateContentAndNeverShare) {
    VectorBuffer<int> source = FilledVector(100);
    VectorBuffer<int> copy(source);
    ASSERT_TRUE(copy);
    EXPECT_NE(copy.Get(), source.Get());
    EXPECT_EQ(copy.Length(), 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(copy[i], 3 * i + 1);
    }

    VectorBuffer<int> assigned = FilledVector(7);
    assigned = source;
    EXPECT_NE(assigned.Get(), source.Get());
    EXPECT_EQ(assigned.Length(), 100);
    EXPECT_EQ(assigned[99], 298);

    // An absent buffer copies as absent.
    VectorBuffer<float> empty;
    VectorBuffer<float> emptyCopy(empty);
    EXPECT_FALSE(emptyCopy);
    EXPECT_EQ(emptyCopy.Length(), 0);
}

TEST(VectorBuffer, SelfAssignmentAndDestructionOrder) {
    VectorBuffer<int> buffer = FilledVector(10);
    int* before = buffer.Get();
    VectorBuffer<int>& alias = buffer;
    buffer = alias;
    EXPECT_EQ(buffer.Get(), before);
    EXPECT_EQ(buffer[9], 28);

    // Either of a pair may go first; the survivor keeps working (ASan checks the memory).
    auto first = std::make_unique<VectorBuffer<int>>(FilledVector(5));
    auto second = std::make_unique<VectorBuffer<int>>(*first);
    first.reset();
    EXPECT_EQ((*second)[4], 13);
    second.reset();
}

TEST(VectorBuffer, AllocateIfAbsentAllocatesOnce) {
    long long start = PixelPrimitivesAllocationCount();
    VectorBuffer<float> buffer;
    buffer.AllocateIfAbsent(64);
    buffer.AllocateIfAbsent(64);
    buffer.AllocateIfAbsent(64);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 1);
    buffer.Release();
    EXPECT_FALSE(buffer);
    buffer.AllocateIfAbsent(64);
    EXPECT_EQ(PixelPrimitivesAllocationCount() - start, 2);
}

TEST(ImageBuffer, CopyKeepsSizeAndPitchAndDuplicatesRows) {
    ImageBuffer<unsigned short> source;
    source.Allocate(37, 5);
    ASSERT_TRUE(source);
    EXPECT_EQ(source.Pitch() % 64, 0);
    EXPECT_GE(source.Pitch(), 37 * 2);
    for (int y = 0; y < 5; ++y) {
        auto* row = reinterpret_cast<unsigned short*>(
            reinterpret_cast<unsigned char*>(source.Get()) + y * source.Pitch());
        for (int x = 0; x < 37; ++x) {
            row[x] = static_cast<unsigned short>(y * 100 + x);
        }
    }

    ImageBuffer<unsigned short> copy;
    copy = source;
    EXPECT_NE(copy.Get(), source.Get());
    EXPECT_EQ(copy.Width(), 37);
    EXPECT_EQ(copy.Height(), 5);
    EXPECT_EQ(copy.Pitch(), source.Pitch());
    auto* lastRow = reinterpret_cast<unsigned short*>(
        reinterpret_cast<unsigned char*>(copy.Get()) + 4 * copy.Pitch());
    EXPECT_EQ(lastRow[36], 436);

    source.Release();
    EXPECT_EQ(source.Width(), 0);
    EXPECT_EQ(source.Pitch(), 0);
    EXPECT_EQ(lastRow[0], 400);
}

TEST(ImageBuffer, DegenerateSizeHoldsNothing) {
    ImageBuffer<float> buffer;
    buffer.Allocate(0, 10);
    EXPECT_FALSE(buffer);
    EXPECT_EQ(buffer.Pitch(), 0);
    EXPECT_EQ(buffer.Width(), 0);
}
