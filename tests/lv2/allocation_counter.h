// Counting heap allocations in a stretch of a test (the whole process's malloc is replaced).
#pragma once

void startCountingAllocations();
long stopCountingAllocations();
