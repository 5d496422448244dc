#pragma once
// Memory figures the benchmark programs print.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

// The largest resident size the process has had, in bytes.
inline long PeakRssBytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss * 1024L;
}

// The resident size now, in bytes.
inline long CurrentRssBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}
