#pragma once

#include <PixelPrimitives/Export.h>

// One-dimensional vector primitives: pointers and an element count. Every operation returns
// true on success and returns false, writing nothing, on a null pointer, a non-positive
// length or a parameter the operation rejects.
class PIXELPRIMITIVES_API VectorPrimitives {
public:
    // Memory: 64-byte aligned blocks, uninitialised.
    static unsigned char* Malloc_8u(int length);
    static unsigned short* Malloc_16u(int length);
    static int* Malloc_32s(int length);
    static float* Malloc_32f(int length);
    static void Free(void* ptr);

    static bool Abs_32f_I(float* srcDst, int length);
    static bool Add_32f_I(const float* src, float* srcDst, int length);
    static bool AddC_32f_I(float* srcDst, float value, int length);
    static bool MulC_32f_I(float* srcDst, float value, int length);
    static bool DivC_32f_I(float* srcDst, float value, int length);
    static bool MulC_32s_I(int* srcDst, int value, int length, int scaleFactor);
    // srcDst[i] += src[i] * value, the product rounded to float before the addition.
    static bool AddProductC_32f(const float* src, float value, float* srcDst, int length);
    // dst = src2 - src1.
    static bool Sub_32f(const float* src1, const float* src2, float* dst, int length);

    // roundMode: 0 truncates toward zero, 1 rounds to nearest even, 2 rounds half away from
    // zero. Results saturate to the int range; NaN gives 0.
    static bool Convert_32f32s(const float* src, int* dst, int length, int roundMode);
    static bool Convert_32s32f(const int* src, float* dst, int length);
    static bool Copy_32f(const float* src, float* dst, int length);
    static bool Set_32f(float value, float* dst, int length);
    static bool Set_32s(int value, int* dst, int length);
    static bool Zero_32f(float* dst, int length);

    static bool Max_32f(const float* src, int length, float* max);
    static bool MinIndex_32f(const float* src, int length, float* min, int* index);
    static bool Sum_32f(const float* src, int length, float* sum, bool accurate);

    // dst[i] = offset + slope * i, evaluated in double and rounded once.
    static bool VectorRamp_32f(float* dst, int length, float offset, float slope);
    static bool VectorSlope_32f(float* dst, int length, float offset, float slope);
    static bool VectorSlope_16u(unsigned short* dst, int length, double offset, double slope);
    static bool WinHamming_32f_I(float* srcDst, int length);
};
