// Our host for tests: the real one, with faults it can be told to make,
// wrapped around its own suites and callbacks the way a test file system
// wraps a real one. Allocations that fail, suites spoiled in their version,
// count or entries, advanceState and closeRead answering an error, strides
// wider than the data, a buffer limit, and a user who cancels after a
// number of abort checks. The tool and the page link the real host alone.
#pragma once

#include "runner/host.h"

namespace vantrel::testing {

// A handle suite as some host might offer it.
enum class HandleSuiteOffer {
  Full,         // version 1, 8 entries
  None,         // handleProcs is null
  Version0,     // version 0, otherwise whole
  Version2,     // version 2, otherwise whole
  Short6,       // version 1 with only 6 entries
  NullSetSize,  // setSizeProc null
  NullLock,     // lockProc null
  NullUnlock,   // unlockProc null
};

// Descriptor suites as some host might offer them.
enum class DescriptorSuiteOffer {
  Full,                 // parameters record and both suites of version 0, full counts
  None,                 // descriptorParameters is null
  NullSuites,           // the record is there but both suite pointers are null
  ParametersVersion1,   // the record claims version 1
  ReadVersion1,         // the read suite claims version 1
  ReadShort17,          // the read suite has 17 entries
  NullPinnedUnitFloat,  // the read suite's last entry is null
  WriteVersion1,        // the write suite claims version 1
  WriteShort15,         // the write suite has 15 entries
};

class TestHost : public runner::Host {
 public:
  // Counts its abort checks (a user who never cancels until told to).
  explicit TestHost(runner::EntryProc entry);

  // The suites offered, whole or spoiled. Call the faults below after these
  // and after UseProfile and OfferAdvanceState, which offer whole ones.
  void OfferHandleSuite(HandleSuiteOffer offer);
  void OfferDescriptorSuite(DescriptorSuiteOffer offer);
  // newProc fails after `successes` more allocations (-1: never).
  void FailAllocationsAfter(int successes);
  // advanceState answers `code` from its `n`th call of a run on (1-based;
  // 0: never).
  void FailAdvanceStateAt(int n, OSErr code);
  // closeReadDescriptorProc answers `code` instead of its own result (0: its own).
  void SetCloseReadResult(OSErr code);
  // Strides `bytes` wider than the data; the largest buffer lent.
  void SetRowSlack(int32 bytes);
  void LimitBufferBytes(int64_t bytes);
  // abortProc says stop from its (n+1)th call from now on; -1: never.
  void AbortAfter(int n);
  // The abort checks since the host was made or AbortAfter last called.
  int abortCalls() const { return abortCalls_; }

 private:
  static TestHost* Self() { return static_cast<TestHost*>(Current()); }
  static Handle NewProc(int32 size);
  static OSErr AdvanceState();
  static OSErr CloseRead(PIReadDescriptor token);
  static Boolean Abort();

  NewPIHandleProc realNew_ = nullptr;
  int allocationsLeft_ = -1;
  ::AdvanceStateProc realAdvance_ = nullptr;
  int advanceFailAt_ = 0;
  OSErr advanceFailCode_ = noErr;
  OSErr (*realCloseRead_)(PIReadDescriptor) = nullptr;
  OSErr closeReadResult_ = noErr;
  int abortAfter_ = -1;
  int abortCalls_ = 0;
};

}  // namespace vantrel::testing
