#include "BenchSupport.h"

void RegisterColourBenchmarks(const BenchInput&) {}
