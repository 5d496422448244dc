#pragma once
// Timing a piece of work: once, and the median of several rounds.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

inline double Ms(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(int rounds, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < rounds; ++i) t.push_back(Ms(f));
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}
