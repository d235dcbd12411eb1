#pragma once

#include <Varnik/Soloma/ImageProcessing/Export.h>
