// What libvips says: its errors as one-line reasons, its warnings kept to be
// told against the file they concern, and how its loaders meet damage.
#include <vips/vips.h>

#include <cctype>
#include <mutex>
#include <string>

#include "pictures/picture.h"
#include "pictures/vips_shared.h"

namespace vantrel::pictures {
namespace {

// How the loaders meet damage: libvips' fail_on level.
VipsFailOn g_failOn = VIPS_FAIL_ON_ERROR;

// libvips' warnings (its own, and its decoders' and encoders'), kept to be
// reported against the file they concern instead of printed as they come,
// from whichever thread of libvips gives them.
struct Warnings {
  std::mutex lock;
  std::string first;
  int more = 0;
} g_warnings;

void KeepWarning(const gchar* /*domain*/, GLogLevelFlags /*level*/, const gchar* message, gpointer /*unused*/) {
  // libvips' notes on its own handling of a failure: the failure says it.
  for (const char* noise : {"error in tile", "read gave "})
    if (vips_isprefix(noise, message)) return;
  std::string text = message;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  std::lock_guard<std::mutex> hold(g_warnings.lock);
  if (g_warnings.first.empty()) g_warnings.first = text;
  else ++g_warnings.more;
}

}  // namespace

void KeepMessages(bool acceptDamaged) {
  g_failOn = acceptDamaged ? VIPS_FAIL_ON_NONE : VIPS_FAIL_ON_ERROR;
  g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE), KeepWarning, nullptr);
}

VipsFailOn FailOn() { return g_failOn; }

std::string VipsReason(const char* fallback) {
  std::string text = vips_error_buffer();
  vips_error_clear();
  const auto newline = text.find('\n');
  if (newline != std::string::npos) text.resize(newline);
  return text.empty() ? fallback : text;
}

std::string Damaged(const std::string& reason) {
  std::string why = "the file is damaged or cut short: " + reason;
  if (g_failOn != VIPS_FAIL_ON_NONE) why += "; --accept-damaged takes what can be read";
  return why;
}

std::string DecodeFailure(const char* fallback) {
  std::string reason = VipsReason(fallback);
  // A layout the decoder does not take is no damage, and nothing can be
  // taken from it, damage accepted or not.
  if (reason.find("not supported") != std::string::npos || reason.find("unsupported") != std::string::npos) {
    std::string why = "libvips does not read the pixels of this file (" + reason + ")";
    if (g_failOn == VIPS_FAIL_ON_NONE) why += "; --accept-damaged cannot help with a layout libvips does not read";
    return why;
  }
  std::lock_guard<std::mutex> hold(g_warnings.lock);
  if (!g_warnings.first.empty()) reason += " (" + g_warnings.first + ")";
  g_warnings.first.clear();
  g_warnings.more = 0;
  return Damaged(reason);
}

std::string OpenFailure() {
  std::string why = VipsReason("not an image libvips can read");
  // Damage accepted, the loaders still refuse a file whose header they
  // cannot make sense of: there are no pixels to take.
  if (g_failOn == VIPS_FAIL_ON_NONE) why += "; --accept-damaged cannot help: libvips cannot open the file at all";
  return why;
}

std::string TakeWarnings() {
  std::lock_guard<std::mutex> hold(g_warnings.lock);
  std::string text = g_warnings.first;
  if (g_warnings.more > 0) text += " (and " + std::to_string(g_warnings.more) + " more)";
  g_warnings.first.clear();
  g_warnings.more = 0;
  return text;
}

}  // namespace vantrel::pictures
