#include <Varnik/Soloma/ImageProcessing/detail/OwnedBuffer.h>

#include <PixelPrimitives/AllocationCounter.h>

#include <gtest/gtest.h>

#include <memory>

using Varnik::Soloma::ImageProcessing::detail::ImageBuffer;
using Varnik::Soloma::ImageProcessing::detail::VectorBuffer;

// Copies must own their memory: ASan watches the reads after the source is gone.
TEST(OwnedBuffer, CopiesDuplicateContentAndOutliveTheirSource) {
    auto source = std::make_unique<VectorBuffer<int>>();
    source->Allocate(100);
    for (int i = 0; i < 100; ++i) {
        (*source)[i] = 3 * i + 1;
    }
    VectorBuffer<int> copy(*source), assigned;
    assigned.Allocate(7);
    assigned = *source;
    assigned = assigned;  // self-assignment keeps the buffer
    auto image = std::make_unique<ImageBuffer<unsigned short>>();
    image->Allocate(37, 5);
    const int pitch = image->Pitch();
    auto lastPixel = [](const ImageBuffer<unsigned short>& buffer) -> unsigned short& {
        return *reinterpret_cast<unsigned short*>(reinterpret_cast<unsigned char*>(buffer.Get()) +
                                                  4 * buffer.Pitch() + 36 * 2);
    };
    lastPixel(*image) = 436;
    ImageBuffer<unsigned short> imageCopy;
    imageCopy = *image;
    EXPECT_NE(copy.Get(), source->Get());
    EXPECT_NE(assigned.Get(), source->Get());
    EXPECT_NE(imageCopy.Get(), image->Get());
    source.reset();
    image.reset();
    EXPECT_TRUE(copy.Length() == 100 && copy[99] == 298 && assigned.Length() == 100 &&
                assigned[99] == 298);
    EXPECT_TRUE(imageCopy.Width() == 37 && imageCopy.Height() == 5 && imageCopy.Pitch() == pitch);
    EXPECT_EQ(lastPixel(imageCopy), 436);
    const VectorBuffer<float> absent;
    EXPECT_FALSE(VectorBuffer<float>(absent));
}

TEST(OwnedBuffer, AllocateIfAbsentAllocatesOnce) {
    const long long start = PixelPrimitivesAllocationCount();
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
