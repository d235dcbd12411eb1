#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TestImage.h"

// Expects image(x, y) to equal expected(x, y) bit for bit (so NaN matches NaN) over the whole
// region, and nothing outside the region to have changed.
template <typename T, typename F>
void ExpectRegion(const TestImage<T>& image, F expected) {
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            T want = static_cast<T>(expected(x, y));
            T got = image.At(x, y);
            ASSERT_EQ(std::memcmp(&got, &want, sizeof(T)), 0)
                << "at (" << x << ", " << y << "): got " << +got << ", want " << +want;
        }
    }
    EXPECT_TRUE(image.OutsideUntouched());
}
