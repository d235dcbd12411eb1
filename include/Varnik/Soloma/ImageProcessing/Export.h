#pragma once

// The library's classes are exported whole; everything else is hidden.
#if defined(_WIN32)
#if defined(SOLOMA_IMAGEPROCESSING_BUILDING)
#define SOLOMA_IMAGEPROCESSING_API __declspec(dllexport)
#else
#define SOLOMA_IMAGEPROCESSING_API __declspec(dllimport)
#endif
#else
#define SOLOMA_IMAGEPROCESSING_API __attribute__((visibility("default")))
#endif

#if !defined(_WIN32)
// The platform's four-byte colour record: blue, green, red, then a reserved (alpha) byte.
#ifndef SOLOMA_RGBQUAD_DEFINED
#define SOLOMA_RGBQUAD_DEFINED
typedef struct tagRGBQUAD {
    unsigned char rgbBlue;
    unsigned char rgbGreen;
    unsigned char rgbRed;
    unsigned char rgbReserved;
} RGBQUAD;
#endif
#else
#include <windows.h>
#endif
