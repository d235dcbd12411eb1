#include "Common.h"
