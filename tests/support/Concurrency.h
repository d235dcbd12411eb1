#pragma once

#include "TestImage.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <type_traits>
#include <vector>

// Runs body(index) on `threads` std::threads that start together (each waits until all are
// up, so that the calls really overlap) and returns when all have finished.
template <typename Body>
void RunConcurrently(int threads, Body body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < threads) {
                std::this_thread::yield();
            }
            body(t);
        });
    }
    for (std::thread& thread : pool) {
        thread.join();
    }
}

// Results as bytes, so that images and values of any type compare exactly.
using Bytes = std::vector<unsigned char>;

template <typename T>
void AppendBytes(Bytes& bytes, const T& value) {
    static_assert(std::is_arithmetic_v<T>, "padding bytes would make the comparison flaky");
    const auto* first = reinterpret_cast<const unsigned char*>(&value);
    bytes.insert(bytes.end(), first, first + sizeof(T));
}

// The region's pixels, row by row, then 1 when nothing outside the region changed since the
// image was filled (0 shows a write outside it).
template <typename T>
void AppendBytes(Bytes& bytes, const TestImage<T>& image) {
    for (int y = 0; y < image.Height(); ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(image.Pixel(0, y));
        bytes.insert(bytes.end(), row, row + image.Width() * sizeof(T));
    }
    bytes.push_back(image.OutsideUntouched() ? 1 : 0);
}

template <typename T>
Bytes RegionBytes(const TestImage<T>& image) {
    Bytes bytes;
    AppendBytes(bytes, image);
    return bytes;
}
