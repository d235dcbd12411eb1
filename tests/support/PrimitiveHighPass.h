#pragma once

#include <PixelPrimitives/PixelPrimitives.h>

#include <vector>

#include "TestImage.h"

// |5x5 low-pass (zero border) - image| of the whole frame, step by step through the
// primitives: the edge map the stabiliser and the gas detectors build on.
inline TestImage<float> PrimitiveHighPass(const TestImage<float>& image) {
    const int w = image.Width(), h = image.Height();
    TestImage<float> edges(w, h);
    int size = 0;
    PixelPrimitives::FilterLowpassGetBufferSize5x5_32f_C1R(w, h, &size);
    std::vector<unsigned char> buffer(size);
    PixelPrimitives::FilterLowpassBorderConst5x5_32f_C1R(image.Data(), image.Pitch(), edges.Data(),
                                                         edges.Pitch(), w, h, 0.0f, buffer.data());
    PixelPrimitives::Sub_32f_C1I(image.Data(), image.Pitch(), edges.Data(), edges.Pitch(), w, h);
    PixelPrimitives::Abs_32f_C1I(edges.Data(), edges.Pitch(), w, h);
    return edges;
}

// The stabiliser's edge threshold: 0.6 times the mean magnitude.
inline float EdgeThreshold(const TestImage<float>& edges) {
    double mean = 0.0;
    PixelPrimitives::Mean_32f_C1R(edges.Data(), edges.Pitch(), edges.Width(), edges.Height(), &mean,
                                  true);
    return static_cast<float>(mean) * 0.6f;
}
