// The hostile input files (tests/hostile, made by make_hostile.py there), a watch on the largest
// single heap allocation while a loader reads one, and the bytes allocated.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The bytes of tests/hostile/name (empty when it cannot be read).
std::vector<uint8_t> ReadHostileFile(const std::string &name);
// 1 when this build can watch allocations (the address sanitizer's hooks), else 0.
int CanWatchAllocations(void);
// The largest single allocation any thread made while body ran (0 when it cannot be watched).
size_t LargestAllocationDuring(const std::function<void()> &body);
// The bytes allocated now (0 when they cannot be watched).
size_t AllocatedBytes(void);
