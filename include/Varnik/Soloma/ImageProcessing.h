#pragma once

// All public classes of the image-processing library.
#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>
#include <Varnik/Soloma/ImageProcessing/Blending.h>
#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>
#include <Varnik/Soloma/ImageProcessing/DDE.h>
#include <Varnik/Soloma/ImageProcessing/FastDDE.h>
#include <Varnik/Soloma/ImageProcessing/Fusion.h>
#include <Varnik/Soloma/ImageProcessing/GasDetection.h>
#include <Varnik/Soloma/ImageProcessing/GasDetectionDifference.h>
#include <Varnik/Soloma/ImageProcessing/GeometricTransforms.h>
#include <Varnik/Soloma/ImageProcessing/HistogramEqualization.h>
#include <Varnik/Soloma/ImageProcessing/ImageStabilization.h>
#include <Varnik/Soloma/ImageProcessing/IntensityTransformation.h>
#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>
#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>
#include <Varnik/Soloma/ImageProcessing/Palettes.h>
#include <Varnik/Soloma/ImageProcessing/PlateauEqualization.h>
#include <Varnik/Soloma/ImageProcessing/RadiometricStatistics.h>
#include <Varnik/Soloma/ImageProcessing/Statistics.h>
