#pragma once
// A result column as a backend described it at the opening: its name and
// Oracle type stay what they were; only the way to the current row's value
// is the backend's own.

#include <string>
#include <utility>

#include "core/Session.h"

class TColumnField : public TField {
 public:
  // type: any description with Code, Size, Precision and Scale.
  template <class TType>
  TColumnField(std::string name, const TType& type)
      : name_(std::move(name)), code_(type.Code), size_(type.Size), precision_(type.Precision), scale_(type.Scale) {}

  std::string Name() override { return name_; }
  int OraMaxSize() override { return size_; }
  int OraPrecision() override { return precision_; }
  int OraScale() override { return scale_; }
  int OraIDataType() override { return code_; }

 protected:
  int Code() const { return code_; }

 private:
  std::string name_;
  int code_, size_, precision_, scale_;
};
