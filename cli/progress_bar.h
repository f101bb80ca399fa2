// A one-line progress bar on standard error, redrawn in place; silent when
// standard error is not a terminal or when asked to be quiet.
#pragma once

#include <string>

namespace vantrel::cli {

class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  ~ProgressBar() { Clear(); }

  // Shows `label`, a bar filled to `fraction` (0 to 1) and `detail`.
  void Show(const std::string& label, double fraction, const std::string& detail = "");
  // Removes the bar, so that a message can be printed on a clean line.
  void Clear();

 private:
  bool enabled_;
  std::string shown_;
};

}  // namespace vantrel::cli
