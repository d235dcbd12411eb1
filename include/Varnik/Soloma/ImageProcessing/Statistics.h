#pragma once

// Statistics of a region of a 16-bit frame, in signal counts or in kelvin. The host owns the
// record; the library only writes it. Declared outside the library's namespace so that hosts
// can keep it in their own plain data.
//
// Status codes beside each value: 2 the value is valid; 4 the pixel that gave it lay below the
// kelvin table's signal range; 5 it lay above.
struct Statistics {
    double min;
    int minStatus;
    double max;
    int maxStatus;
    double mean;
    int meanStatus;
    double sum;
    int sumStatus;
    double stdDev;  // population standard deviation
    int stdDevStatus;
    int minX;  // image column and row of the pixel that gave min (region offset included)
    int minY;
    int maxX;  // likewise for max
    int maxY;
};
