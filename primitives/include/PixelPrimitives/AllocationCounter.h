#pragma once

#include <PixelPrimitives/Export.h>

// Number of successful allocations made by the module's allocators since the process
// started. Lets tests and benchmarks check that steady-state processing allocates nothing.
PIXELPRIMITIVES_API long long PixelPrimitivesAllocationCount();
