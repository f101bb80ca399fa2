// Our own host's record, words and handle suite.
#include "runner/host.h"

#include <algorithm>
#include <cstring>

#include "runner/host_window.h"

namespace vantrel::runner {

Host* Host::current_ = nullptr;
std::vector<Host*> Host::live_;

Host::Host(EntryProc entry) : entry_(entry) {
  const std::size_t words = (kHostFilterRecordSize + 7) / 8;
  recordStorage_.reset(new std::uint64_t[words]());
  record_ = reinterpret_cast<FilterRecord*>(recordStorage_.get());
  window_ = CreateHostWindow();
  platform_.hwnd = window_;
  record_->platformData = &platform_;
  record_->abortProc = NeverAbortProc;
  record_->progressProc = ProgressProcCallback;
  record_->maxSpace = 64 * 1024 * 1024;
  // Like the hosts that support padding, ask the filter to choose; until it
  // does, a request outside the image is an error.
  record_->supportsPadding = 1;
  record_->inputPadding = record_->outputPadding = record_->maskPadding = plugInWantsErrorOnBoundsException;
  SetHandleSuite();
  OfferAdvanceState(true);
  OfferDisplayPixels(true);
  SetDescriptorSuite(DescriptorSuiteMode::Full);
  current_ = this;
  live_.push_back(this);
}

Host::~Host() {
  DisposeRunHandles();
  DisposeAny(descriptorParameters_.descriptor);
  DestroyHostWindow(window_);
  live_.erase(std::find(live_.begin(), live_.end(), this));
  // The suite a caller reaches between calls is the newest host's left.
  if (current_ == this) current_ = live_.empty() ? nullptr : live_.back();
}

void Host::SetHandleSuite() {
  suite_ = HandleProcs{};
  suite_.handleProcsVersion = kCurrentHandleProcsVersion;
  suite_.numHandleProcs = kCurrentHandleProcsCount;
  suite_.newProc = NewProc;
  suite_.disposeProc = DisposeProc;
  suite_.getSizeProc = GetSizeProc;
  suite_.setSizeProc = SetSizeProc;
  suite_.lockProc = LockProc;
  suite_.unlockProc = UnlockProc;
  suite_.recoverSpaceProc = RecoverSpaceProc;
  suite_.disposeRegularHandleProc = DisposeProc;
  record_->handleProcs = &suite_;
}

int16 Host::Call(int16 selector) {
  if (selector == filterSelectorStart && !dialogsToPerson_)
    RunWithDialogUser(dialogScript_, dialogsShown_, platform_,
                      [this] { CallRaw(filterSelectorStart, record_, &data_, &result_); });
  else
    CallRaw(selector, record_, &data_, &result_);
  return result_;
}

int16 Host::CallAbout(intptr_t ownerWindow) {
  AboutRecord about{};
  PlatformData platform{ownerWindow};
  about.platformData = &platform;
  CallRaw(filterSelectorAbout, &about, &data_, &result_);
  return result_;
}

void Host::CallRaw(int16 selector, void* record, intptr_t* data, int16* result) {
  current_ = this;
  if (result != nullptr) *result = kResultSentinel;
  entry_(selector, record, data, result);
}

int Host::LiveHandles() const {
  int live = 0;
  for (const auto& [h, handle] : handles_) live += handle->disposed ? 0 : 1;
  return live;
}

bool Host::OwnsHandle(Handle h) const {
  auto it = handles_.find(h);
  return it != handles_.end() && !it->second->disposed;
}

int Host::LockCount(Handle h) const {
  auto it = handles_.find(h);
  return it == handles_.end() ? 0 : it->second->lockCount;
}

void Host::DisposeAny(Handle h) {
  if (h == nullptr || reinterpret_cast<intptr_t>(h) == staleData_) return;
  descriptors_.erase(h);
  if (handles_.erase(h) == 0) ReleaseForeignHandle(h);
}

void Host::DisposeRunHandles() {
  DisposeAny(reinterpret_cast<Handle>(data_));
  data_ = 0;
  DisposeAny(record_->parameters);
  record_->parameters = nullptr;
}

Handle Host::MakeHandle(int32 size) {
  auto handle = std::make_unique<HostHandle>();
  handle->storage.reset(new char[size == 0 ? 1 : size]());
  handle->data = handle->storage.get();
  handle->size = size;
  Handle h = &handle->data;
  handles_[h] = std::move(handle);
  return h;
}

Handle Host::NewProc(int32 size) {
  Host* self = current_;
  if (size < 0) return nullptr;
  Handle h = self->MakeHandle(size);
  self->events_.push_back({HandleEvent::New, h});
  return h;
}

void Host::DisposeProc(Handle h) {
  Host* self = current_;
  self->events_.push_back({HandleEvent::Dispose, h});
  self->descriptors_.erase(h);
  auto it = self->handles_.find(h);
  if (it == self->handles_.end()) return;
  if (self->habits_.handles.disposeFreesNothing)
    it->second->disposed = true;
  else
    self->handles_.erase(it);
}

int32 Host::GetSizeProc(Handle h) {
  auto it = current_->handles_.find(h);
  const int32 size = it == current_->handles_.end() ? 0 : it->second->size;
  switch (current_->habits_.handles.size) {
    case HandleHabits::Size::Honest: return size;
    case HandleHabits::Size::Zero: return 0;
    case HandleHabits::Size::Negative: return -1 - size;
    case HandleHabits::Size::Smaller: return size / 2;
    case HandleHabits::Size::Larger: return size + 64;
  }
  return size;
}

OSErr Host::SetSizeProc(Handle h, int32 size) {
  if (current_->habits_.handles.setSizeDoesNothing) return noErr;
  auto it = current_->handles_.find(h);
  if (it == current_->handles_.end() || size < 0) return paramErr;
  HostHandle& handle = *it->second;
  std::unique_ptr<char[]> storage(new char[size == 0 ? 1 : size]());
  std::memcpy(storage.get(), handle.data, static_cast<std::size_t>(size < handle.size ? size : handle.size));
  handle.storage = std::move(storage);
  handle.data = handle.storage.get();
  handle.size = size;
  return noErr;
}

Ptr Host::LockProc(Handle h, Boolean /*moveHigh*/) {
  Host* self = current_;
  self->events_.push_back({HandleEvent::Lock, h});
  auto it = self->handles_.find(h);
  if (it == self->handles_.end() || self->habits_.handles.lockAnswersNull) return nullptr;
  it->second->lockCount += 1;
  return it->second->data;
}

void Host::UnlockProc(Handle h) {
  Host* self = current_;
  self->events_.push_back({HandleEvent::Unlock, h});
  auto it = self->handles_.find(h);
  if (it != self->handles_.end()) it->second->lockCount -= 1;
}

void Host::RecoverSpaceProc(int32 /*size*/) {}

}  // namespace vantrel::runner
