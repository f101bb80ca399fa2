// The native suites that read or run what the win32 and win64 presets build.
// A tree where only the native preset was built lacks those files: there the
// cases that need them are skipped, saying which file is missing and which
// preset makes it. scripts/test.sh builds every preset and sets
// VANTREL_REQUIRE_WINDOWS_BUILDS=1, under which a missing file fails instead.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace vantrel::testing {

// Begins the message of every case skipped for a missing Windows build. CTest
// reports an entry whose output holds it as skipped (tests/CMakeLists.txt);
// a failure never prints it, so a failing entry is never shown as skipped.
constexpr const char* kSkippedWithoutWindowsBuild = "Windows build absent, case skipped: ";

// Whether a missing Windows build is a failure rather than a reason to skip.
inline bool WindowsBuildsRequired() {
  const char* value = std::getenv("VANTREL_REQUIRE_WINDOWS_BUILDS");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// "" when `path` exists, else why the case cannot run: the missing file and
// the preset (win32 or win64) whose build makes it.
inline std::string MissingWindowsBuild(const std::string& path, const std::string& preset) {
  if (std::filesystem::exists(path)) return "";
  return path + " is missing: `cmake --preset " + preset + " && cmake --build --preset " + preset + "` makes it";
}

}  // namespace vantrel::testing
