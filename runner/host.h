// Our own host: owns a filter record, the data and result words and a handle
// suite, and calls a filter's entry point selector by selector.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/host_records.h"
#include "runner/filter_loader.h"

namespace vantrel::runner {

// The handle suite the host offers: the full one, none, or a spoiled one.
enum class HandleSuiteMode {
  Full,         // version 1, 8 entries
  None,         // handleProcs is null
  Version0,     // version 0, otherwise full
  Version2,     // version 2, otherwise full
  Short6,       // version 1 with only 6 entries
  NullSetSize,  // version 1, 8 entries, setSizeProc null
  NullLock,     // version 1, 8 entries, lockProc null
  NullUnlock,   // version 1, 8 entries, unlockProc null
};

// One call the filter made into the handle suite.
struct HandleEvent {
  enum Kind { New, Dispose, Lock, Unlock } kind;
  Handle handle;
};

class Host {
 public:
  explicit Host(EntryProc entry);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The record as the filter sees it; allocated zero-filled at the size real
  // hosts use.
  FilterRecord& record() { return *record_; }

  // Calls the filter with `selector`; the result word is preset to
  // `kResultSentinel` so that a call that writes nothing can be told apart.
  int16 Call(int16 selector);
  // Calls the about selector with an about record naming `ownerWindow`.
  int16 CallAbout(intptr_t ownerWindow);
  // Calls with the given words, for tests of what the filter does with them.
  void CallRaw(int16 selector, void* record, intptr_t* data, int16* result);

  static constexpr int16 kResultSentinel = 0x7A5A;

  intptr_t& data() { return data_; }
  int16 result() const { return result_; }

  void SetHandleSuite(HandleSuiteMode mode);
  // Makes the suite's newProc fail after `successes` more allocations (-1: never).
  void FailAllocationsAfter(int successes) { allocationsLeft_ = successes; }

  // Handles made through the suite and not yet disposed of.
  int LiveHandles() const { return static_cast<int>(handles_.size()); }
  // Locks minus unlocks of a handle made through the suite.
  int LockCount(Handle h) const;
  bool OwnsHandle(Handle h) const { return handles_.count(h) != 0; }
  const std::vector<HandleEvent>& handleEvents() const { return events_; }
  void ClearHandleEvents() { events_.clear(); }

  // Ends the run as a host does: disposes of the filter's data and parameter
  // handles, whichever side made them.
  void DisposeRunHandles();

 private:
  struct HostHandle;
  static Host* current_;

  static Handle NewProc(int32 size);
  static void DisposeProc(Handle h);
  static int32 GetSizeProc(Handle h);
  static OSErr SetSizeProc(Handle h, int32 size);
  static Ptr LockProc(Handle h, Boolean moveHigh);
  static void UnlockProc(Handle h);
  static void RecoverSpaceProc(int32 size);
  void DisposeAny(Handle h);

  EntryProc entry_;
  std::unique_ptr<std::uint64_t[]> recordStorage_;
  FilterRecord* record_;
  HandleProcs suite_{};
  PlatformData platform_{};
  intptr_t data_ = 0;
  int16 result_ = 0;
  int allocationsLeft_ = -1;
  std::map<Handle, std::unique_ptr<HostHandle>> handles_;
  std::vector<HandleEvent> events_;
};

}  // namespace vantrel::runner
