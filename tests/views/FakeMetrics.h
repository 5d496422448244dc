#pragma once
// Fixed-width metrics: a single-byte character is 6 x 12 pixels, a
// double-byte one 12 x 12, so every extent can be worked out by hand.
#include "views/GridText.h"

class TFakeMetrics final : public TGridMetrics {
 public:
  TTextExtent CharExtent(uint16_t ch) override {
    ++Queries;
    return {ch > 0xFF ? 12 : 6, 12};
  }
  int Queries = 0;
};
