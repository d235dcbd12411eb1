#include <PixelPrimitives/AllocationCounter.h>
#include <PixelPrimitives/AllocationFailure.h>
#include <PixelPrimitives/PixelPrimitives.h>
#include <PixelPrimitives/VectorPrimitives.h>

#include <atomic>
#include <cstdlib>
#include <limits>

namespace {

constexpr std::size_t kAlignment = 64;
std::atomic<long long> allocationCount{0};
// Allocations still to succeed before the armed failure; negative when none is armed.
std::atomic<long long> failureCountdown{-1};

// True for the one allocation that the test hook has chosen to fail.
bool FailThisAllocation() {
    long long remaining = failureCountdown.load(std::memory_order_relaxed);
    while (remaining >= 0) {
        if (failureCountdown.compare_exchange_weak(remaining, remaining - 1,
                                                   std::memory_order_relaxed)) {
            return remaining == 0;
        }
    }
    return false;
}

// One aligned allocator serves both classes, so a block is freed the same way whichever
// class allocated it.
void* AlignedAllocate(long long bytes) {
    if (bytes <= 0 || bytes > std::numeric_limits<std::ptrdiff_t>::max() / 2) {
        return nullptr;
    }
    if (FailThisAllocation()) {
        return nullptr;
    }
    std::size_t size = (static_cast<std::size_t>(bytes) + kAlignment - 1) / kAlignment * kAlignment;
    void* block = std::aligned_alloc(kAlignment, size);
    if (block != nullptr) {
        allocationCount.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

template <typename T>
T* AllocateImage(int width, int height, int bytesPerPixel, int* pitch) {
    if (pitch == nullptr) {
        return nullptr;
    }
    *pitch = 0;
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    long long rowBytes = static_cast<long long>(width) * bytesPerPixel;
    long long alignedRow = (rowBytes + kAlignment - 1) / static_cast<long long>(kAlignment) *
                           static_cast<long long>(kAlignment);
    if (alignedRow > std::numeric_limits<int>::max()) {
        return nullptr;
    }
    void* block = AlignedAllocate(alignedRow * height);
    if (block != nullptr) {
        *pitch = static_cast<int>(alignedRow);
    }
    return static_cast<T*>(block);
}

template <typename T>
T* AllocateVector(int length) {
    if (length <= 0) {
        return nullptr;
    }
    return static_cast<T*>(AlignedAllocate(static_cast<long long>(length) * sizeof(T)));
}

}  // namespace

long long PixelPrimitivesAllocationCount() {
    return allocationCount.load(std::memory_order_relaxed);
}

void PixelPrimitivesFailAllocationAfter(long long successes) {
    failureCountdown.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

bool PixelPrimitivesAllocationFailurePending() {
    return failureCountdown.load(std::memory_order_relaxed) >= 0;
}

unsigned char* PixelPrimitives::Malloc_8u_C1(int width, int height, int* pitch) {
    return AllocateImage<unsigned char>(width, height, 1, pitch);
}
unsigned char* PixelPrimitives::Malloc_8u_C3(int width, int height, int* pitch) {
    return AllocateImage<unsigned char>(width, height, 3, pitch);
}
unsigned short* PixelPrimitives::Malloc_16u_C1(int width, int height, int* pitch) {
    return AllocateImage<unsigned short>(width, height, 2, pitch);
}
float* PixelPrimitives::Malloc_32f_C1(int width, int height, int* pitch) {
    return AllocateImage<float>(width, height, 4, pitch);
}
void PixelPrimitives::Free(void* ptr) {
    std::free(ptr);
}

unsigned char* VectorPrimitives::Malloc_8u(int length) {
    return AllocateVector<unsigned char>(length);
}
unsigned short* VectorPrimitives::Malloc_16u(int length) {
    return AllocateVector<unsigned short>(length);
}
int* VectorPrimitives::Malloc_32s(int length) {
    return AllocateVector<int>(length);
}
float* VectorPrimitives::Malloc_32f(int length) {
    return AllocateVector<float>(length);
}
void VectorPrimitives::Free(void* ptr) {
    std::free(ptr);
}
