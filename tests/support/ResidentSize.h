#pragma once
// The process's resident size and its peak, from /proc/self/status, with the peak reset
// through /proc/self/clear_refs: what a piece of work made the process touch at its highest.

#include <malloc.h>

#include <cstddef>
#include <fstream>
#include <string>

namespace zvt::test {

// Bytes of a "VmRSS" or "VmHWM" line; 0 when the file cannot be read.
inline size_t procStatusBytes(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stoull(line.substr(prefix.size())) * 1024;
  }
  return 0;
}

// Measures how far the resident size rose above where it stood at construction.
class PeakResidentGrowth {
 public:
  PeakResidentGrowth() {
    // Free memory the allocator still holds would be reused without growing the resident size:
    // it goes back to the system first.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from the current size
    start_ = procStatusBytes("VmRSS");
  }
  size_t bytes() const {
    const size_t peak = procStatusBytes("VmHWM");
    return peak > start_ ? peak - start_ : 0;
  }

 private:
  size_t start_ = 0;
};

}  // namespace zvt::test
