#pragma once

// All public classes of the image-processing library.
#include <Varnik/Soloma/ImageProcessing/DDE.h>
#include <Varnik/Soloma/ImageProcessing/FastDDE.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>
#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>
#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>
#include <Varnik/Soloma/ImageProcessing/Statistics.h>
