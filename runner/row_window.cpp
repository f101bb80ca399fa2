// The rows a streamed run holds: read from the stream as requests reach
// them, handed on once no request can change them any more, so that a few
// bands of an image are held however tall it is.
#include <algorithm>
#include <cstring>
#include <utility>

#include "runner/host.h"

namespace vantrel::runner {
namespace {

// Rows of a streamed image that go on unread by any request are passed on
// this many at a time.
constexpr int32 kPassedRows = 64;

// The image rows, first and past the last, that a request for `rect` reads
// at `rate`: its sampled rows inside an image of `height` rows, with the
// edge rows that edge replication copies; {0, 0} when it reads none.
std::pair<int32, int32> RowsRead(const Rect& rect, Fixed rate, int16 padding, int32 height) {
  if (!NonEmpty(rect) || height <= 0) return {0, 0};
  int64_t first = int64_t(rect.top) * rate >> 16;
  int64_t last = int64_t(rect.bottom - 1) * rate >> 16;
  if (padding == plugInWantsEdgeReplication) {
    first = std::clamp<int64_t>(first, 0, height - 1);
    last = std::clamp<int64_t>(last, 0, height - 1);
  } else {
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, height - 1);
    if (first > last) return {0, 0};
  }
  return {int32(first), int32(last + 1)};
}

}  // namespace

OSErr Host::HoldRequestedRows(Fixed rate) {
  const FilterRecord& r = *record_;
  // The rows both buffers read, held before anything is served.
  const auto in = RowsRead(r.inRect, rate, r.inputPadding, source_.height);
  const auto out = RowsRead(r.outRect, rate, r.outputPadding, source_.height);
  const bool reads[2] = {in.first < in.second, out.first < out.second};
  if (!reads[0] && !reads[1]) return noErr;
  const int32 first = !reads[0] ? out.first : !reads[1] ? in.first : std::min(in.first, out.first);
  const int32 last = !reads[0] ? out.second : !reads[1] ? in.second : std::max(in.second, out.second);
  return HoldRows(first, last);
}

OSErr Host::HoldRows(int32 first, int32 last) {
  if (first < heldTop_) return paramErr;  // a row already handed on
  if (OSErr e = HandOnRows(first); e != noErr) return e;
  return ReadHeldRows(last);
}

OSErr Host::ReadHeldRows(int32 last) {
  last = std::min<int32>(last, source_.height);
  const int32 end = heldTop_ + heldRows_;
  if (last <= end) return noErr;
  const int32 count = last - end;
  const std::size_t rowBytes = std::size_t(source_.width) * source_.PixelBytes();
  if (heldIn_.height < heldRows_ + count) {
    // Room for the rows held and the new ones; the held ones move along.
    const int16 rows = int16(heldRows_ + count);
    for (Image* held : {&heldIn_, &heldOut_}) {
      Image grown(source_.width, rows, source_.planes, source_.sampleBytes);
      if (heldRows_ > 0 && rowBytes > 0)
        std::memcpy(grown.pixels.data(), held->pixels.data(), std::size_t(heldRows_) * rowBytes);
      *held = std::move(grown);
    }
  }
  uint8* in = heldIn_.pixels.data() + std::size_t(heldRows_) * rowBytes;
  if (OSErr e = stream_->ReadRows(end, count, in, std::ptrdiff_t(rowBytes)); e != noErr) return e;
  // The run's pixels start as the image's.
  if (rowBytes > 0)
    std::memcpy(heldOut_.pixels.data() + std::size_t(heldRows_) * rowBytes, in, std::size_t(count) * rowBytes);
  heldRows_ += count;
  heldPeak_ = std::max(heldPeak_, heldRows_);
  return noErr;
}

OSErr Host::HandOnRows(int32 until) {
  until = std::min<int32>(until, source_.height);
  const std::size_t rowBytes = std::size_t(source_.width) * source_.PixelBytes();
  while (heldTop_ < until) {
    // Rows that no request reached go on as they came.
    if (heldRows_ == 0) {
      if (OSErr e = ReadHeldRows(std::min(until, heldTop_ + kPassedRows)); e != noErr) return e;
    }
    const int32 count = std::min(until - heldTop_, heldRows_);
    if (OSErr e = stream_->WriteRows(heldTop_, count, heldOut_.pixels.data(), std::ptrdiff_t(rowBytes)); e != noErr)
      return e;
    heldTop_ += count;
    heldRows_ -= count;
    const std::size_t moved = std::size_t(heldRows_) * rowBytes, from = std::size_t(count) * rowBytes;
    if (moved > 0) {
      std::memmove(heldIn_.pixels.data(), heldIn_.pixels.data() + from, moved);
      std::memmove(heldOut_.pixels.data(), heldOut_.pixels.data() + from, moved);
    }
  }
  return noErr;
}

}  // namespace vantrel::runner
