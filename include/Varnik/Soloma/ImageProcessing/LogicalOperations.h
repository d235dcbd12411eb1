#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Bitwise operations on 8-bit images such as selection masks, on whole bytes, so masks with
// values other than 0 and 255 combine bit by bit. Only static operations; nothing is kept
// between calls, so calls may run at once from several threads.
//
// Two forms recur: the two-source form (src1, src2 -> dst) and the in-place form
// (srcDst = src op srcDst). A destination must not overlap a source of the same call; two
// read-only sources may be the same image. A region of no pixels writes nothing.
class SOLOMA_IMAGEPROCESSING_API LogicalOperations {
public:
    LogicalOperations& operator=(const LogicalOperations& other);

    static void And(const unsigned char* src1, int src1Step, const unsigned char* src2,
                    int src2Step, unsigned char* dst, int dstStep, int width, int height);
    static void And(const unsigned char* src, int srcStep, unsigned char* srcDst, int srcDstStep,
                    int width, int height);
    static void AndC(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                     int height);
    static void AndC(const unsigned char* src, int srcStep, unsigned char value, unsigned char* dst,
                     int dstStep, int width, int height);

    static void Or(const unsigned char* src1, int src1Step, const unsigned char* src2, int src2Step,
                   unsigned char* dst, int dstStep, int width, int height);
    static void Or(const unsigned char* src, int srcStep, unsigned char* srcDst, int srcDstStep,
                   int width, int height);
    static void OrC(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                    int height);
    static void OrC(const unsigned char* src, int srcStep, unsigned char value, unsigned char* dst,
                    int dstStep, int width, int height);

    static void Xor(const unsigned char* src1, int src1Step, const unsigned char* src2,
                    int src2Step, unsigned char* dst, int dstStep, int width, int height);
    static void Xor(const unsigned char* src, int srcStep, unsigned char* srcDst, int srcDstStep,
                    int width, int height);
    static void XorC(unsigned char* srcDst, int srcDstStep, unsigned char value, int width,
                     int height);
    static void XorC(const unsigned char* src, int srcStep, unsigned char value, unsigned char* dst,
                     int dstStep, int width, int height);

    static void Not(unsigned char* srcDst, int srcDstStep, int width, int height);
    static void Not(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep,
                    int width, int height);

protected:
    // Not meant to be instantiated: all members are static.
    LogicalOperations(const LogicalOperations& other);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
