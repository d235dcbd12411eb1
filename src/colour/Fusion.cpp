#include <Varnik/Soloma/ImageProcessing/Fusion.h>
