#include <Varnik/Soloma/ImageProcessing/MagicWand.h>
