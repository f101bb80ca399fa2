#include "cli/selection.h"

#include <charconv>
#include <cstdint>
#include <filesystem>

namespace vantrel::cli {
namespace {

// FNV-1a, 64 bits.
uint64_t NameHash(const std::string& name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : name) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

std::string ParseShare(const std::string& text, Share& share) {
  const std::string bad = "\"" + text + "\" is not K/N, the K-th of N shares (1 <= K <= N, K counted from 1)";
  const auto slash = text.find('/');
  if (slash == std::string::npos) return bad;
  int k = 0, n = 0;
  const char* end = text.data() + text.size();
  const auto first = std::from_chars(text.data(), text.data() + slash, k);
  const auto second = std::from_chars(text.data() + slash + 1, end, n);
  if (first.ec != std::errc() || first.ptr != text.data() + slash || second.ec != std::errc() || second.ptr != end ||
      k < 1 || n < 1 || k > n)
    return bad;
  share = {k, n};
  return "";
}

int ShareOf(const std::string& outputName, int count) {
  return count <= 1 ? 1 : int(NameHash(outputName) % uint64_t(count)) + 1;
}

bool OutputDone(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace vantrel::cli
