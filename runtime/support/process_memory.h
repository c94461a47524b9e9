// runtime/support/process_memory.h — the process's peak resident memory, for the figures that
// the benchmark and the baseline tool print.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

// Peak resident memory of this process in kB (VmHWM of /proc/self/status); 0 when unknown.
inline long peak_memory_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}
