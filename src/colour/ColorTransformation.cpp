#include <Varnik/Soloma/ImageProcessing/ColorTransformation.h>
