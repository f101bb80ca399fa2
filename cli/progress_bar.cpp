#include "cli/progress_bar.h"

#include <algorithm>
#include <cstdio>

#include "cli/platform.h"

namespace vantrel::cli {

void ProgressBar::Show(const std::string& label, double fraction, const std::string& detail) {
  if (!enabled_) return;
  constexpr int kWidth = 30;
  const int filled = int(std::clamp(fraction, 0.0, 1.0) * kWidth + 0.5);
  std::string line = label + " [" + std::string(std::size_t(filled), '#') + std::string(std::size_t(kWidth - filled), '-') +
                     "] " + std::to_string(int(std::clamp(fraction, 0.0, 1.0) * 100 + 0.5)) + "%";
  if (!detail.empty()) line += "  " + detail;
  const std::size_t columns = std::size_t(std::max(platform::TerminalColumns() - 1, 20));
  if (line.size() > columns) line.resize(columns);
  if (line == shown_) return;
  std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
  std::fflush(stderr);
  shown_ = line;
}

void ProgressBar::Clear() {
  if (!enabled_ || shown_.empty()) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
  shown_.clear();
}

}  // namespace vantrel::cli
