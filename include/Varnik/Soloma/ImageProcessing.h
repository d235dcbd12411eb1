#pragma once

// All public classes of the image-processing library.
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>
