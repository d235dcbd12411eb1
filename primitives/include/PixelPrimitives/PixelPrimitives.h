#pragma once

#include <PixelPrimitives/Export.h>

// Two-dimensional image primitives. Every image is a pointer to the first pixel of the
// region and a row pitch in bytes; sources come first, then destinations, then width and
// height. Every operation returns true on success and returns false, writing nothing, on
// a null pointer, a non-positive size or a parameter the operation rejects.
class PIXELPRIMITIVES_API PixelPrimitives {
public:
    // Memory: 64-byte aligned rows; the pitch depends only on width and pixel type.
    static unsigned char* Malloc_8u_C1(int width, int height, int* pitch);
    static unsigned char* Malloc_8u_C3(int width, int height, int* pitch);
    static unsigned short* Malloc_16u_C1(int width, int height, int* pitch);
    static float* Malloc_32f_C1(int width, int height, int* pitch);
    static void Free(void* ptr);

    // Element-wise arithmetic.
    static bool Abs_32f_C1(const float* src, int srcStep, float* dst, int dstStep, int width,
                           int height);
    static bool Abs_32f_C1I(float* srcDst, int srcDstStep, int width, int height);
    static bool Add_32f_C1I(const float* src, int srcStep, float* srcDst, int srcDstStep, int width,
                            int height);
    static bool AddC_32f_C1I(float value, float* srcDst, int srcDstStep, int width, int height);
    static bool SubC_32f_C1I(float value, float* srcDst, int srcDstStep, int width, int height);
    static bool MulC_32f_C1I(float value, float* srcDst, int srcDstStep, int width, int height);
    static bool Sub_32f_C1(const float* src1, int src1Step, const float* src2, int src2Step,
                           float* dst, int dstStep, int width, int height);
    static bool Sub_32f_C1I(const float* src, int srcStep, float* srcDst, int srcDstStep, int width,
                            int height);
    static bool Mul_32f_C1I(const float* src, int srcStep, float* srcDst, int srcDstStep, int width,
                            int height);
    static bool MulC_32f_C1(const float* src, int srcStep, float value, float* dst, int dstStep,
                            int width, int height);
    static bool Mul_8u_C1(const unsigned char* src1, int src1Step, const unsigned char* src2,
                          int src2Step, unsigned char* dst, int dstStep, int width, int height,
                          int scaleFactor);
    static bool DivC_16u_C1(const unsigned short* src, int srcStep, unsigned short value,
                            unsigned short* dst, int dstStep, int width, int height,
                            int scaleFactor);

    // Bitwise logic on 8-bit images.
    static bool And_8u_C1(const unsigned char* src1, int src1Step, const unsigned char* src2,
                          int src2Step, unsigned char* dst, int dstStep, int width, int height);
    static bool Or_8u_C1(const unsigned char* src1, int src1Step, const unsigned char* src2,
                         int src2Step, unsigned char* dst, int dstStep, int width, int height);
    static bool Xor_8u_C1(const unsigned char* src1, int src1Step, const unsigned char* src2,
                          int src2Step, unsigned char* dst, int dstStep, int width, int height);
    static bool And_8u_C1I(const unsigned char* src, int srcStep, unsigned char* srcDst,
                           int srcDstStep, int width, int height);
    static bool Or_8u_C1I(const unsigned char* src, int srcStep, unsigned char* srcDst,
                          int srcDstStep, int width, int height);
    static bool Xor_8u_C1I(const unsigned char* src, int srcStep, unsigned char* srcDst,
                           int srcDstStep, int width, int height);
    static bool AndC_8u_C1(const unsigned char* src, int srcStep, unsigned char value,
                           unsigned char* dst, int dstStep, int width, int height);
    static bool OrC_8u_C1(const unsigned char* src, int srcStep, unsigned char value,
                          unsigned char* dst, int dstStep, int width, int height);
    static bool XorC_8u_C1(const unsigned char* src, int srcStep, unsigned char value,
                           unsigned char* dst, int dstStep, int width, int height);
    static bool AndC_8u_C1I(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                            int height);
    static bool OrC_8u_C1I(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                           int height);
    static bool XorC_8u_C1I(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                            int height);
    static bool Not_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                          int width, int height);
    static bool Not_8u_C1I(unsigned char* srcDst, int srcDstStep, int width, int height);

    // Comparison and thresholds.
    static bool CompareCGreater_32f_C1R(const float* src, int srcStep, float value,
                                        unsigned char* dst, int dstStep, int width, int height);
    static bool CompareCLess_32f_C1R(const float* src, int srcStep, float value, unsigned char* dst,
                                     int dstStep, int width, int height);
    static bool Threshold_LT_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                     float threshold);
    static bool Threshold_LTVal_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                        float threshold, float value);
    static bool Threshold_GTVal_32f_C1I(float* srcDst, int srcDstStep, int width, int height,
                                        float threshold, float value);
    static bool Threshold_LTValGTVal_32f_C1IR(float* srcDst, int srcDstStep, int width, int height,
                                              float thresholdLT, float valueLT, float thresholdGT,
                                              float valueGT);
    static bool ThresholdGreater_Val_8u_C1IR(unsigned char* srcDst, int srcDstStep, int width,
                                             int height, unsigned char threshold,
                                             unsigned char value);

    // Conversion, copy, set, transpose, borders.
    static bool Convert_16u32f_C1(const unsigned short* src, int srcStep, float* dst, int dstStep,
                                  int width, int height);
    static bool Convert_32f16u_C1(const float* src, int srcStep, unsigned short* dst, int dstStep,
                                  int width, int height);
    static bool Copy_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                           int width, int height);
    static bool Copy_16u_C1(const unsigned short* src, int srcStep, unsigned short* dst,
                            int dstStep, int width, int height);
    static bool Copy_32f_C1(const float* src, int srcStep, float* dst, int dstStep, int width,
                            int height);
    static bool CopyReplicateBorder_8u_C1(const unsigned char* src, int srcStep, int srcWidth,
                                          int srcHeight, unsigned char* dst, int dstStep,
                                          int dstWidth, int dstHeight, int top, int left);
    static bool CopyReplicateBorder_32f_C1(const float* src, int srcStep, int srcWidth,
                                           int srcHeight, float* dst, int dstStep, int dstWidth,
                                           int dstHeight, int top, int left);
    static bool Set_32f_C1(float value, float* dst, int dstStep, int width, int height);
    static bool Transpose_32f_C1R(const float* src, int srcStep, float* dst, int dstStep,
                                  int srcWidth, int srcHeight);

    // Filters. Accumulation in float in a fixed order.
    static bool Filter_32f_C1(const float* src, int srcStep, float* dst, int dstStep, int width,
                              int height, const float* kernel, int kernelWidth, int kernelHeight,
                              int anchorX, int anchorY);
    static bool FilterLowpassGetBufferSize3x3_32f_C1R(int width, int height, int* bufferSize);
    static bool FilterLowpassGetBufferSize5x5_32f_C1R(int width, int height, int* bufferSize);
    static bool FilterLowpassBorder3x3_32f_C1R(const float* src, int srcStep, float* dst,
                                               int dstStep, int width, int height,
                                               unsigned char* buffer);
    static bool FilterLowpassBorder5x5_32f_C1R(const float* src, int srcStep, float* dst,
                                               int dstStep, int width, int height,
                                               unsigned char* buffer);
    static bool FilterLowpassBorderConst5x5_32f_C1R(const float* src, int srcStep, float* dst,
                                                    int dstStep, int width, int height,
                                                    float borderValue, unsigned char* buffer);
    static bool FilterGaussGetBufferSize_32f_C1(int width, int height, int kernelSize,
                                                int* bufferSize);
    static bool FilterGaussBorder_32f_C1R(const float* src, int srcStep, float* dst, int dstStep,
                                          int width, int height, int kernelSize, float sigma,
                                          unsigned char* buffer);

    // Morphology on 8-bit images; the out-of-place forms read the one-pixel ring around
    // the region.
    static bool Dilate3x3_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                                int dstStep, int width, int height);
    static bool Erode3x3_8u_C1(const unsigned char* src, int srcStep, unsigned char* dst,
                               int dstStep, int width, int height);
    static bool Dilate3x3_8u_C1I(unsigned char* srcDst, int srcDstStep, int width, int height);
    static bool Erode3x3_8u_C1I(unsigned char* srcDst, int srcDstStep, int width, int height);

    // Flood fill with 8-connectivity.
    static bool FloodFillGetSize(int width, int height, int* bufferSize);
    static bool FloodFill_8Con_8u_C1IR(unsigned char* image, int imageStep, int width, int height,
                                       int seedX, int seedY, unsigned char newValue,
                                       unsigned char* buffer);

    // Histogram and look-up tables.
    static bool HistogramEven_16u_C1(const unsigned short* src, int srcStep, int width, int height,
                                     int* histogram, int* levels, int numLevels, int lowerLevel,
                                     int upperLevel);
    static bool LUT_16u_C1(const unsigned short* src, int srcStep, unsigned short* dst, int dstStep,
                           int width, int height, const int* values, const int* levels,
                           int numLevels);
    static bool LUT_16u_C1I(unsigned short* srcDst, int srcDstStep, int width, int height,
                            const int* values, const int* levels, int numLevels);
    static bool LUT_Linear_16u_C1R(const unsigned short* src, int srcStep, unsigned short* dst,
                                   int dstStep, int width, int height, const int* values,
                                   const int* levels, int numLevels);
    static bool LUT_Linear_16u_C1IR(unsigned short* srcDst, int srcDstStep, int width, int height,
                                    const int* values, const int* levels, int numLevels);
    static bool LUTPalette_16u32u_C1R(const unsigned short* src, int srcStep, int* dst, int dstStep,
                                      int width, int height, const int* palette, int bitSize);

    // Statistics. Ties go to the first pixel in row-major order.
    static bool Max_32f_C1(const float* src, int srcStep, int width, int height, float* max);
    static bool MinMax_16u_C1(const unsigned short* src, int srcStep, int width, int height,
                              unsigned short* min, unsigned short* max);
    static bool MinMax_32f_C1(const float* src, int srcStep, int width, int height, float* min,
                              float* max);
    static bool MinIndx_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                                unsigned short* value, int* indexX, int* indexY);
    static bool MaxIndx_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                                unsigned short* value, int* indexX, int* indexY);
    static bool Mean_32f_C1R(const float* src, int srcStep, int width, int height, double* mean,
                             bool accurate);
    static bool Mean_StdDev_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                                    double* mean, double* stdDev);
    static bool Sum_16u_C1R(const unsigned short* src, int srcStep, int width, int height,
                            double* sum);
    static bool Sum_32f_C1R(const float* src, int srcStep, int width, int height, double* sum,
                            bool accurate);

    // Geometry. Destination pixels without a source keep their content.
    static bool Remap_32f_C1R(const float* src, int srcWidth, int srcHeight, int srcStep, int roiX,
                              int roiY, int roiWidth, int roiHeight, const float* xMap,
                              int xMapStep, const float* yMap, int yMapStep, float* dst,
                              int dstStep, int dstWidth, int dstHeight, bool linear);
    static bool Resize_16u_C1(const unsigned short* src, int srcStep, int srcWidth, int srcHeight,
                              unsigned short* dst, int dstStep, int dstWidth, int dstHeight,
                              float scale, int offsetX, int offsetY, bool linear);
    static bool Resize_32f_C1(const float* src, int srcStep, int srcWidth, int srcHeight,
                              float* dst, int dstStep, int dstWidth, int dstHeight, float scale,
                              int offsetX, int offsetY, bool linear);
    static bool Resize_8u_C3(const unsigned char* src, int srcStep, int srcWidth, int srcHeight,
                             unsigned char* dst, int dstStep, int dstWidth, int dstHeight,
                             float scale, int offsetX, int offsetY, bool linear);
    static bool Resize_8u_C4(const unsigned char* src, int srcStep, int srcWidth, int srcHeight,
                             unsigned char* dst, int dstStep, int dstWidth, int dstHeight,
                             float scale, int offsetX, int offsetY, bool linear);
    static bool RotateCenter_16u_C1(const unsigned short* src, int srcStep, unsigned short* dst,
                                    int dstStep, int width, int height, float angle);
    static bool RotateCenter_32f_C1(const float* src, int srcStep, float* dst, int dstStep,
                                    int width, int height, float angle);
    static bool RotateCenter_8u_C3(const unsigned char* src, int srcStep, unsigned char* dst,
                                   int dstStep, int width, int height, float angle);
    static bool RotateCenter_8u_C4(const unsigned char* src, int srcStep, unsigned char* dst,
                                   int dstStep, int width, int height, float angle);

    // Colour layouts: 3-byte pixels are R, G, B; 4:2:2 is packed Y0 U Y1 V.
    static bool RGBToYUV422_8u_C3C2R(const unsigned char* src, int srcStep, unsigned char* dst,
                                     int dstStep, int width, int height);
    static bool YUV422ToRGB_8u_C2C3R(const unsigned char* src, int srcStep, unsigned char* dst,
                                     int dstStep, int width, int height);
};
