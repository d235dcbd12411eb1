#pragma once

// Symbols of the primitives module are hidden unless marked with this macro.
#if defined(_WIN32)
#if defined(PIXELPRIMITIVES_BUILDING)
#define PIXELPRIMITIVES_API __declspec(dllexport)
#else
#define PIXELPRIMITIVES_API __declspec(dllimport)
#endif
#else
#define PIXELPRIMITIVES_API __attribute__((visibility("default")))
#endif
