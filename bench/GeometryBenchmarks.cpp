#include "BenchSupport.h"

void RegisterGeometryBenchmarks(const BenchInput&) {}
