#include <Varnik/Soloma/ImageProcessing/LogicalOperations.h>
