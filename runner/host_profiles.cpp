// The habits of real host programs, as profiles of our host: what each
// answers, in which order it calls, and what it keeps between runs.
#include <algorithm>
#include <cstring>
#include <vector>

#include "host/image_modes.h"
#include "runner/host.h"

namespace vantrel::runner {
namespace {

// A signature as the host's four bytes lie in memory.
uint32 SignatureBytes(const char (&bytes)[5]) {
  uint32 value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// What the hosts that offer "all available memory" offer here.
constexpr int32 kAvailableMemory = 256 << 20;

}  // namespace

HostHabits HabitsOf(HostProfile profile) {
  HostHabits h;
  switch (profile) {
    case HostProfile::Honest:
      break;
    case HostProfile::PluginHostDll:
      h.handles.size = HandleHabits::Size::Zero;
      h.handles.setSizeDoesNothing = true;
      h.handles.disposeFreesNothing = true;
      h.clampRects = true;
      h.finish = FinishHabit::BeforeFlushAfterSuccess;
      h.serveFromImage = false;  // buffers of its own, always
      break;
    case HostProfile::GimpBridge:
      h.finish = FinishHabit::OnlyAfterFailure;
      h.serveFromImage = false;
      h.ignorePadding = true;
      h.displaysOnlyRgbAndGray = true;
      break;
    case HostProfile::DotNetHost:
      h.finish = FinishHabit::AfterFlush;
      h.ignoreOwnAdvanceErrors = true;
      break;
  }
  return h;
}

void Host::UseProfile(HostProfile profile) {
  profile_ = profile;
  habits_ = HabitsOf(profile);
  FilterRecord& r = *record_;
  SetHandleSuite();
  SetDescriptorSuite(DescriptorSuiteMode::Full);
  platform_.hwnd = window_;
  r.platformData = &platform_;
  r.errorString = nullptr;
  r.hostSig = 0;
  r.maxSpace = 64 * 1024 * 1024;
  r.bufferSpace = 0;
  r.supportsPadding = 1;
  r.inputPadding = r.outputPadding = r.maskPadding = plugInWantsErrorOnBoundsException;
  r.inputRate = r.maskRate = 0;

  switch (profile) {
    case HostProfile::Honest:
      break;
    case HostProfile::PluginHostDll:
      SetDescriptorSuite(DescriptorSuiteMode::NullSuites);
      descriptorParameters_.descriptor = nullptr;
      r.hostSig = SignatureBytes("spHO");
      r.maxSpace = r.bufferSpace = kAvailableMemory;
      r.supportsPadding = 0;
      r.inputPadding = r.outputPadding = r.maskPadding = 0;
      r.inputRate = r.maskRate = kFixedOne;
      r.errorString = &errorString_;
      break;
    case HostProfile::GimpBridge:
      SetDescriptorSuite(DescriptorSuiteMode::None);
      platform_.hwnd = 0;
      r.hostSig = SignatureBytes("GIMP");
      r.maxSpace = 100000000;
      r.supportsPadding = 0;
      r.inputPadding = r.outputPadding = r.maskPadding = 0;
      break;
    case HostProfile::DotNetHost:
      r.hostSig = 0x4E44502E;  // ".PDN" in memory
      r.maxSpace = r.bufferSpace = kAvailableMemory;
      r.inputRate = r.maskRate = kFixedOne;
      std::memset(errorString_, 0, sizeof errorString_);
      r.errorString = &errorString_;
      break;
  }
  SetImageFields();
}

void Host::SetImageFields() {
  FilterRecord& r = *record_;
  const int16 colour = host::ColourPlanes(r.imageMode);
  const bool transparency = source_.planes > colour;
  r.inLayerPlanes = std::min<int16>(colour, source_.planes);
  r.inTransparencyMask = transparency ? 1 : 0;
  r.inNonLayerPlanes = 0;
  r.filterCase = 0;
  switch (profile_) {
    case HostProfile::Honest:
    case HostProfile::GimpBridge:
      break;
    case HostProfile::PluginHostDll:
      r.filterCase = transparency ? 4 : 1;
      break;
    case HostProfile::DotNetHost:
      // A flat image's planes are no layer's.
      r.filterCase = transparency ? 4 : 1;
      if (!transparency) {
        r.inNonLayerPlanes = r.inLayerPlanes;
        r.inLayerPlanes = 0;
      }
      break;
  }
}

void Host::BetweenRuns() {
  const bool firstRun = runs_++ == 0;
  FilterRecord& r = *record_;
  const intptr_t lastData = data_;
  auto globals = handles_.find(reinterpret_cast<Handle>(lastData));
  if (profile_ == HostProfile::GimpBridge && !firstRun && globals != handles_.end()) {
    // The last run's process is gone with its memory; its handle is kept
    // aside only so that no new handle takes its address.
    retired_.push_back(std::move(globals->second));
    handles_.erase(globals);
  } else {
    DisposeAny(reinterpret_cast<Handle>(lastData));
  }
  data_ = 0;
  if (firstRun) return;

  switch (profile_) {
    case HostProfile::Honest:
      break;
    case HostProfile::PluginHostDll: {
      // Nothing is kept: every run starts from no block. A block of the
      // host's own lives on in the host, which frees nothing before it goes;
      // one of the filter's own memory is let go at once.
      const Handle kept = r.parameters;
      if (handles_.count(kept) == 0) DisposeAny(kept);
      r.parameters = nullptr;
      break;
    }
    case HostProfile::GimpBridge:
    case HostProfile::DotNetHost: {
      // The block's bytes are saved after a run and handed back in a new
      // handle of the host's own.
      const Handle kept = r.parameters;  // read out of the packed record
      auto it = handles_.find(kept);
      if (it != handles_.end() && it->second->data != nullptr) {
        std::vector<char> saved(it->second->data, it->second->data + it->second->size);
        DisposeAny(kept);
        r.parameters = MakeHandle(int32(saved.size()));
        std::copy(saved.begin(), saved.end(), *r.parameters);
      }
      if (profile_ == HostProfile::GimpBridge) {
        // Each run is a process of its own: the filter is loaded anew and
        // handed the data word the last run left, now naming nothing.
        if (reload_) entry_ = reload_();
        data_ = staleData_ = lastData;
      }
      break;
    }
  }
}

}  // namespace vantrel::runner
