#include <Varnik/Soloma/ImageProcessing/AlphaComposition.h>
