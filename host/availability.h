// Tests for the host's optional callbacks, asked at every use.
#pragma once

namespace vantrel::host {

// True when the host supplied the callback.
template <typename Proc>
bool CallbackPresent(Proc proc) {
  return proc != nullptr;
}

}  // namespace vantrel::host
