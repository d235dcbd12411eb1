#pragma once

#include <PixelPrimitives/Export.h>

// A test hook on the module's allocators: lets tests check that a caller survives an
// allocation that fails. Not for production use.

// Arms a single failure: after `successes` further successful allocations the next one
// returns null (0 fails the very next one); later allocations succeed again. A negative value
// disarms a pending failure.
PIXELPRIMITIVES_API void PixelPrimitivesFailAllocationAfter(long long successes);

// True while an armed failure has not happened yet.
PIXELPRIMITIVES_API bool PixelPrimitivesAllocationFailurePending();
