#include <PixelPrimitives/PixelPrimitives.h>

#include <limits>

#include "ElementWise.h"

namespace {

using pp::ValidImages;

enum class Comparison { Greater, Less };

// Writes 255 where the strict comparison holds and 0 elsewhere; NaN compares false.
PP_MULTIVERSION void CompareWithConstant(Comparison comparison, const float* src, int srcStep,
                                         float value, unsigned char* dst, int dstStep, int width,
                                         int height) {
    auto map = [&](auto f) { pp::MapPixels(src, srcStep, dst, dstStep, width, height, f); };
    switch (comparison) {
        case Comparison::Greater:
            map([value](float v) { return static_cast<unsigned char>(v > value ? 255 : 0); });
            break;
        case Comparison::Less:
            map([value](float v) { return static_cast<unsigned char>(v < value ? 255 : 0); });
            break;
    }
}

// Every threshold operation is this one with some tests made impossible: v < lowThreshold
// becomes lowValue, v > highThreshold becomes highValue, anything else (NaN included) stays.
template <typename T>
struct ReplaceOutside {
    T lowThreshold;
    T lowValue;
    T highThreshold;
    T highValue;

    T operator()(T v) const {
        return v < lowThreshold ? lowValue : (v > highThreshold ? highValue : v);
    }
};

PP_MULTIVERSION void ReplaceOutsideFloat(const ReplaceOutside<float>& rule, float* srcDst, int step,
                                         int width, int height) {
    pp::MapPixels(srcDst, step, srcDst, step, width, height, rule);
}

PP_MULTIVERSION void ReplaceOutsideByte(const ReplaceOutside<unsigned char>& rule,
                                        unsigned char* srcDst, int step, int width, int height) {
    pp::MapPixels(srcDst, step, srcDst, step, width, height, rule);
}

constexpr float kInfinity = std::numeric_limits<float>::infinity();

bool Compare(Comparison comparison, const float* src, int srcStep, float value, unsigned char* dst,
             int dstStep, int width, int height) {
    if (!ValidImages(width, height, src, dst)) {
        return false;
    }
    CompareWithConstant(comparison, src, srcStep, value, dst, dstStep, width, height);
    return true;
}

bool Threshold(const ReplaceOutside<float>& rule, float* srcDst, int step, int width, int height) {
    if (!ValidImages(width, height, srcDst)) {
        return false;
    }
    ReplaceOutsideFloat(rule, srcDst, step, width, height);
    return true;
}

}  // namespace

bool PixelPrimitives::CompareCGreater_32f_C1R(const float* src, int srcStep, float value,
                                              unsigned char* dst, int dstStep, int width,
                                              int height) {
    return Compare(Comparison::Greater, src, srcStep, value, dst, dstStep, width, height);
}

bool PixelPrimitives::CompareCLess_32f_C1R(const float* src, int srcStep, float value,
                                           unsigned char* dst, int dstStep, int width, int height) {
    return Compare(Comparison::Less, src, srcStep, value, dst, dstStep, width, height);
}

bool PixelPrimitives::Threshold_LT_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                           float threshold) {
    return Threshold({threshold, threshold, kInfinity, 0.0f}, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Threshold_LTVal_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                              float threshold, float value) {
    return Threshold({threshold, value, kInfinity, 0.0f}, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Threshold_GTVal_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                              float threshold, float value) {
    return Threshold({-kInfinity, 0.0f, threshold, value}, srcDst, srcDstStep, width, height);
}

bool PixelPrimitives::Threshold_LTValGTVal_32f_C1IR(float* srcDst, int srcDstStep, int width,
                                                    int height, float thresholdLT, float valueLT,
                                                    float thresholdGT, float valueGT) {
    if (thresholdLT > thresholdGT) {
        return false;
    }
    return Threshold({thresholdLT, valueLT, thresholdGT, valueGT}, srcDst, srcDstStep, width,
                     height);
}

bool PixelPrimitives::ThresholdGreater_Val_8u_C1IR(unsigned char* srcDst, int srcDstStep, int width,
                                                   int height, unsigned char threshold,
                                                   unsigned char value) {
    if (!ValidImages(width, height, srcDst)) {
        return false;
    }
    // No byte is below 0, so only the upper test can fire.
    ReplaceOutsideByte({0, 0, threshold, value}, srcDst, srcDstStep, width, height);
    return true;
}
