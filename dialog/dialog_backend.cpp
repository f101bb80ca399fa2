// The backends alive in the process, so that a window a host names is taken
// for one only while it is one (as a window system tells its windows).
#include "dialog/dialog_backend.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace vantrel::dialog {
namespace {

std::mutex g_lock;
std::vector<const DialogBackend*>& Live() {
  static std::vector<const DialogBackend*> live;
  return live;
}

}  // namespace

DialogBackend::DialogBackend() {
  std::lock_guard<std::mutex> hold(g_lock);
  Live().push_back(this);
}

DialogBackend::~DialogBackend() {
  std::lock_guard<std::mutex> hold(g_lock);
  std::erase(Live(), this);
}

DialogBackend* BackendOfWindow(intptr_t window) {
  std::lock_guard<std::mutex> hold(g_lock);
  for (const DialogBackend* backend : Live())
    if (backend->AsWindow() == window && window != 0) return const_cast<DialogBackend*>(backend);
  return nullptr;
}

}  // namespace vantrel::dialog
