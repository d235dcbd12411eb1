#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>

#include <memory>

using Varnik::Soloma::ImageProcessing::detail::ImageBuffer;
using Varnik::Soloma::ImageProcessing::detail::VectorBuffer;

TEST(VectorBuffer, CopiesDuplicateContentNeverShareAndOutliveTheirSource) {
    auto source = std::make_unique<VectorBuffer<int>>();
    source->Allocate(100);
    for (int i = 0; i < 100; ++i) {
        (*source)[i] = 3 * i + 1;
    }
    VectorBuffer<int> copy(*source);
    VectorBuffer<int> assigned;
    assigned.Allocate(7);
    assigned = *source;
    assigned = assigned;  // self-assignment keeps the buffer
    for (const VectorBuffer<int>* buffer : {&copy, &assigned}) {
        ASSERT_TRUE(*buffer);
        EXPECT_NE(buffer->Get(), source->Get());
        EXPECT_EQ(buffer->Length(), 100);
    }
    source.reset();  // the copies must not depend on it (ASan watches the memory)
    EXPECT_EQ(copy[99], 298);
    EXPECT_EQ(assigned[99], 298);

    VectorBuffer<float> absent;
    EXPECT_FALSE(VectorBuffer<float>(absent));
}

TEST(VectorBuffer, AllocateIfAbsentAllocatesOnce) {
    long long start = PixelPrimitivesAllocationCount();
    VectorBuffer<float> buffer;
    for (int i = 0; i < 3; ++i) {
        buffer.AllocateIfAbsent(64);
    }
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
    auto row = [](const ImageBuffer<unsigned short>& image, int y) {
        return reinterpret_cast<unsigned short*>(reinterpret_cast<unsigned char*>(image.Get()) +
                                                 y * image.Pitch());
    };
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 37; ++x) {
            row(source, y)[x] = static_cast<unsigned short>(y * 100 + x);
        }
    }
    ImageBuffer<unsigned short> copy;
    copy = source;
    EXPECT_NE(copy.Get(), source.Get());
    EXPECT_EQ(copy.Width(), 37);
    EXPECT_EQ(copy.Height(), 5);
    EXPECT_EQ(copy.Pitch(), source.Pitch());
    source.Release();
    EXPECT_EQ(source.Pitch(), 0);
    EXPECT_EQ(row(copy, 4)[36], 436);
}
