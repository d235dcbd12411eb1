#pragma once

// Allocations made so far by the process: the primitives' allocators and every operator new,
// so that steady-state checks also see allocations that bypass the primitives. Linking
// AllocationCount.cpp replaces the global operator new and delete of the program.
long long AllocationMark();
