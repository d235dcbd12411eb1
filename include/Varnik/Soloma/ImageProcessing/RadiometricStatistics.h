#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
#include <Varnik/Soloma/ImageProcessing/Statistics.h>

namespace Varnik {
namespace Soloma {
namespace ImageProcessing {

// Radiometry of 16-bit detector frames: statistics of a region in signal counts or in kelvin,
// display limits from a histogram, and conversions between signal and other scales through
// tables or a linear map. Only static operations; nothing is kept between calls, so calls may
// run at once from several threads.
class SOLOMA_IMAGEPROCESSING_API RadiometricStatistics {
public:
    RadiometricStatistics& operator=(const RadiometricStatistics& other);

    // Fills `statistics` for the width x height region whose first pixel is at column x, row y
    // of the image starting at src. Note the argument order: sizes before the pitch, then the
    // row before the column. With useSignal the values are signal counts and the table is not
    // read; otherwise each signal s becomes kelvinTable[s - tableLow], and pixels outside
    // tableLow..tableHigh take the nearer end entry, with status 4 (below) or 5 (above) when
    // they give the minimum or maximum. Positions are image coordinates.
    static void Calculate(const unsigned short* src, int width, int height, int srcStep, int y,
                          int x, const float* kelvinTable, int tableLow, int tableHigh,
                          Statistics& statistics, bool useSignal);

    // Display limits of the region at column x, row y: minValue is the lower edge of the bin in
    // which the share lowFraction of the pixels, counted from the bottom, is reached, maxValue
    // the lower edge of the bin where highFraction is reached counting from the top. hist
    // (nLevels - 1 bins) and levels (nLevels edges, even from lowerLevel to upperLevel) are
    // left filled for the caller. maxValue always ends above minValue unless minValue is 65535.
    static void CalculateHistogramMinMax(const unsigned short* src, int srcStep, int* hist,
                                         int* levels, int nLevels, int lowerLevel, int upperLevel,
                                         int x, int y, int width, int height, float lowFraction,
                                         float highFraction, unsigned short& minValue,
                                         unsigned short& maxValue);

    // Resamples srcTable[srcFirst..srcLast] onto dstTable[dstFirst..dstLast] by nearest-lower
    // sampling; entries outside the destination range are not touched. The last two
    // arguments are not read.
    static void CalculateSignalLUT(const int* srcTable, int* dstTable, int dstFirst, int dstLast,
                                   int srcFirst, int srcLast, int reserved1, int reserved2);

    // dst = lut[src] for every pixel; lut needs an entry for every signal in the image.
    static void FillFromLUT(const unsigned short* src, int srcStep, float* dst, int dstStep,
                            const float* lut, int width, int height);

    // Maps float values back to signal: below outputLow (or NaN) signalLow, above outputHigh
    // signalHigh, otherwise (v - outputLow) * scale + signalLow + 0.5 truncated toward zero; a
    // scale of 0 or NaN gives signalHigh. Only the low 16 bits of the result are kept.
    static void OutputToSignal(const float* src, int srcStep, unsigned short* dst, int dstStep,
                               int width, int height, double outputLow, double outputHigh,
                               int signalLow, int signalHigh, double scale);

protected:
    // Not meant to be instantiated: all members are static.
    RadiometricStatistics(const RadiometricStatistics& other);

private:
    // The library's own pass over the region, always parallel, all five values at once.
    static void CalculateKelvin(const unsigned short* src, int width, int height, int srcStep,
                                int y, int x, const float* kelvinTable, int tableLow, int tableHigh,
                                Statistics& statistics);
    // The primitives' region statistics, in the calling thread.
    static void CalculateSignal(const unsigned short* src, int width, int height, int srcStep,
                                int y, int x, Statistics& statistics);
};

}  // namespace ImageProcessing
}  // namespace Soloma
}  // namespace Varnik
