#include <Varnik/Soloma/ImageProcessing/MorphologicalOperations.h>
