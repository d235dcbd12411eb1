#include <Varnik/Soloma/ImageProcessing/Blending.h>
