#pragma once

#include "TestImage.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
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

// A named call whose result depends only on the index of the host thread that makes it.
using NamedRun = std::pair<std::string, std::function<Bytes(int thread)>>;

// Runs every call `rounds` times on `threads` host threads at once, each thread taking the
// calls in its own order so that different calls overlap as well as the same one, and expects
// each thread's results to equal a lone run's. Then expects a lone run's result not to depend
// on the size of the library's thread team.
inline void ExpectIndependentOfThreads(const std::vector<NamedRun>& runs, int threads, int rounds) {
    const int count = static_cast<int>(runs.size());
    std::vector<std::vector<Bytes>> results(threads, std::vector<Bytes>(runs.size()));
    RunConcurrently(threads, [&](int thread) {
        for (int i = 0; i < count * rounds; ++i) {
            const int r = (thread + i) % count;
            results[thread][r] = runs[r].second(thread);
        }
    });
    for (int r = 0; r < count; ++r) {
        for (int thread = 0; thread < threads; ++thread) {
            EXPECT_EQ(results[thread][r], runs[r].second(thread))
                << runs[r].first << " on thread " << thread;
        }
    }
    const int defaultTeam = omp_get_max_threads();
    for (const auto& [name, run] : runs) {
        omp_set_num_threads(1);
        const Bytes serial = run(0);
        for (int team = 2; team <= 4; ++team) {
            omp_set_num_threads(team);
            EXPECT_EQ(run(0), serial) << name << " on " << team << " threads";
        }
    }
    omp_set_num_threads(defaultTeam);
}
