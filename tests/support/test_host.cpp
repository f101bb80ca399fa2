#include "tests/support/test_host.h"

namespace vantrel::testing {

TestHost::TestHost(runner::EntryProc entry) : Host(entry) { record().abortProc = Abort; }

void TestHost::OfferHandleSuite(HandleSuiteOffer offer) {
  ReofferHandleSuite();
  HandleProcs* suite = record().handleProcs;
  switch (offer) {
    case HandleSuiteOffer::Full: break;
    case HandleSuiteOffer::None: record().handleProcs = nullptr; break;
    case HandleSuiteOffer::Version0: suite->handleProcsVersion = 0; break;
    case HandleSuiteOffer::Version2: suite->handleProcsVersion = 2; break;
    case HandleSuiteOffer::Short6: suite->numHandleProcs = 6; break;
    case HandleSuiteOffer::NullSetSize: suite->setSizeProc = nullptr; break;
    case HandleSuiteOffer::NullLock: suite->lockProc = nullptr; break;
    case HandleSuiteOffer::NullUnlock: suite->unlockProc = nullptr; break;
  }
}

void TestHost::OfferDescriptorSuite(DescriptorSuiteOffer offer) {
  using Mode = runner::DescriptorSuiteMode;
  SetDescriptorSuite(offer == DescriptorSuiteOffer::None         ? Mode::None
                     : offer == DescriptorSuiteOffer::NullSuites ? Mode::NullSuites
                                                                 : Mode::Full);
  PIDescriptorParameters* parameters = record().descriptorParameters;
  if (parameters == nullptr || parameters->readDescriptorProcs == nullptr) return;
  ReadDescriptorProcs& read = *parameters->readDescriptorProcs;
  WriteDescriptorProcs& write = *parameters->writeDescriptorProcs;
  switch (offer) {
    case DescriptorSuiteOffer::Full:
    case DescriptorSuiteOffer::None:
    case DescriptorSuiteOffer::NullSuites: break;
    case DescriptorSuiteOffer::ParametersVersion1: parameters->descriptorParametersVersion = 1; break;
    case DescriptorSuiteOffer::ReadVersion1: read.readDescriptorProcsVersion = 1; break;
    case DescriptorSuiteOffer::ReadShort17: read.numReadDescriptorProcs = 17; break;
    case DescriptorSuiteOffer::NullPinnedUnitFloat: read.getPinnedUnitFloatProc = nullptr; break;
    case DescriptorSuiteOffer::WriteVersion1: write.writeDescriptorProcsVersion = 1; break;
    case DescriptorSuiteOffer::WriteShort15: write.numWriteDescriptorProcs = 15; break;
  }
}

void TestHost::FailAllocationsAfter(int successes) {
  allocationsLeft_ = successes;
  HandleProcs* suite = record().handleProcs;
  if (suite == nullptr || suite->newProc == NewProc) return;
  realNew_ = suite->newProc;
  suite->newProc = NewProc;
}

Handle TestHost::NewProc(int32 size) {
  TestHost* self = Self();
  if (self->allocationsLeft_ == 0) return nullptr;
  if (self->allocationsLeft_ > 0) self->allocationsLeft_ -= 1;
  return self->realNew_(size);
}

void TestHost::FailAdvanceStateAt(int n, OSErr code) {
  advanceFailAt_ = n;
  advanceFailCode_ = code;
  if (record().advanceState == nullptr || record().advanceState == AdvanceState) return;
  realAdvance_ = record().advanceState;
  record().advanceState = AdvanceState;
}

OSErr TestHost::AdvanceState() {
  TestHost* self = Self();
  if (self->advanceFailAt_ > 0 && self->advanceStateCalls() + 1 >= self->advanceFailAt_) {
    self->CountAdvanceStateCall();
    return self->advanceFailCode_;
  }
  return self->realAdvance_();
}

void TestHost::SetCloseReadResult(OSErr code) {
  closeReadResult_ = code;
  PIDescriptorParameters* parameters = record().descriptorParameters;
  if (parameters == nullptr || parameters->readDescriptorProcs == nullptr) return;
  ReadDescriptorProcs& read = *parameters->readDescriptorProcs;
  if (read.closeReadDescriptorProc == CloseRead) return;
  realCloseRead_ = read.closeReadDescriptorProc;
  read.closeReadDescriptorProc = CloseRead;
}

OSErr TestHost::CloseRead(PIReadDescriptor token) {
  TestHost* self = Self();
  const OSErr own = self->realCloseRead_(token);
  return self->closeReadResult_ != noErr ? self->closeReadResult_ : own;
}

void TestHost::SetRowSlack(int32 bytes) {
  runner::HostHabits habits = this->habits();
  habits.rowSlack = bytes;
  SetHabits(habits);
}

void TestHost::LimitBufferBytes(int64_t bytes) {
  runner::HostHabits habits = this->habits();
  habits.mostBufferBytes = bytes;
  SetHabits(habits);
}

void TestHost::AbortAfter(int n) {
  abortAfter_ = n;
  abortCalls_ = 0;
}

Boolean TestHost::Abort() {
  TestHost* self = Self();
  ++self->abortCalls_;
  return self->abortAfter_ >= 0 && self->abortCalls_ > self->abortAfter_ ? 1 : 0;
}

}  // namespace vantrel::testing
