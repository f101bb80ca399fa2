// Samples between the files' convention and the host's.
#include "pictures/samples.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "host/image_modes.h"

namespace vantrel::pictures {
namespace {

constexpr uint32 kFull = 32768;  // the hosts' full scale of a 16-bit sample

// A file's 16-bit sample on the hosts' scale, and back; both round to the
// nearest, so that a sample that goes in and out unchanged moves by 1 at most.
// Both fit 32 bits: 65535 * 65536 + 65535 is the largest 32-bit number.
inline uint16 HostSample(uint32 v) { return uint16((v * 65536u + 65535u) / 131070u); }
inline uint16 FileSample(uint32 v) { return uint16((std::min(v, kFull) * 65535u + kFull / 2) / kFull); }

// Writes `f(sample, isInk)` to `to` for every 16-bit sample of `bytes` bytes
// of pixels of `planes` planes at `from` (which may be `to`): isInk for the
// colour planes of a CMYK image, which flip between the conventions.
template <class F>
void EachDeepSample(const uint8* from, uint8* to, std::size_t bytes, int planes, int16 imageMode, F f) {
  const std::size_t ink = host::CmykMode(imageMode) ? 4 : 0;
  const std::size_t count = bytes / 2;
  // Where every plane is alike (RGB, or CMYK without transparency) one
  // plain loop, which the compiler turns into vector instructions.
  auto each = [&](auto isInk) {
    for (std::size_t i = 0; i < count; ++i) {
      uint16 v;
      std::memcpy(&v, from + 2 * i, 2);
      v = f(v, bool(isInk));
      std::memcpy(to + 2 * i, &v, 2);
    }
  };
  if (ink == 0) return each(std::false_type{});
  if (std::size_t(planes) == ink) return each(std::true_type{});
  for (std::size_t i = 0, k = 0; i < count; ++i) {
    uint16 v;
    std::memcpy(&v, from + 2 * i, 2);
    v = f(v, k < ink);
    std::memcpy(to + 2 * i, &v, 2);
    if (++k == std::size_t(planes)) k = 0;
  }
}

// Copies 8-bit pixels, turning the inks of CMYK ones round.
void FlipInk(const uint8* from, uint8* to, std::size_t bytes, int planes, bool cmyk) {
  if (!cmyk) {
    if (from != to) std::memcpy(to, from, bytes);
    return;
  }
  for (std::size_t i = 0; i + std::size_t(planes) <= bytes; i += std::size_t(planes)) {
    for (std::size_t k = 0; k < 4; ++k) to[i + k] = uint8(255 - from[i + k]);
    for (std::size_t k = 4; k < std::size_t(planes); ++k) to[i + k] = from[i + k];
  }
}

}  // namespace

void FlipInk(runner::Image& pixels, int16 imageMode) {
  if (imageMode == plugInModeCMYKColor)
    FlipInk(pixels.pixels.data(), pixels.pixels.data(), pixels.pixels.size(), pixels.planes, true);
}

void FileToHost(const uint8* samples, uint8* out, std::size_t bytes, int planes, int16 imageMode) {
  if (!host::DeepMode(imageMode)) return FlipInk(samples, out, bytes, planes, host::CmykMode(imageMode));
  EachDeepSample(samples, out, bytes, planes, imageMode,
                 [](uint32 v, bool ink) { return HostSample(ink ? 65535 - v : v); });
}

void FileToHost(uint8* samples, std::size_t bytes, int planes, int16 imageMode) {
  FileToHost(samples, samples, bytes, planes, imageMode);
}

void FileToHost(runner::Image& pixels, int16 imageMode) {
  FileToHost(pixels.pixels.data(), pixels.pixels.size(), pixels.planes, imageMode);
}

void HostToFile(const uint8* samples, std::size_t bytes, int planes, int16 imageMode, int bits, uint8* out) {
  const bool deep = host::DeepMode(imageMode);
  const bool wide = bits == 0 ? deep : bits == 16;
  if (deep == wide) {
    if (!deep) return FlipInk(samples, out, bytes, planes, host::CmykMode(imageMode));
    return EachDeepSample(samples, out, bytes, planes, imageMode,
                          [](uint32 v, bool ink) { return uint16(ink ? 65535 - FileSample(v) : FileSample(v)); });
  }
  const std::size_t ink = host::CmykMode(imageMode) ? 4 : 0;
  if (!deep) {
    // 8 bits up to 16.
    for (std::size_t i = 0, k = 0; i < bytes; ++i) {
      const uint8 v = k < ink ? uint8(255 - samples[i]) : samples[i];
      const uint16 w = uint16(v * 257);
      std::memcpy(out + 2 * i, &w, 2);
      if (++k == std::size_t(planes)) k = 0;
    }
    return;
  }
  // 16 bits down to 8.
  for (std::size_t i = 0, k = 0; i < bytes / 2; ++i) {
    uint16 v;
    std::memcpy(&v, samples + 2 * i, 2);
    const uint32 f = k < ink ? 65535 - FileSample(v) : FileSample(v);
    out[i] = uint8((f + 128) / 257);
    if (++k == std::size_t(planes)) k = 0;
  }
}

runner::Image HostToFile(const runner::Image& pixels, int16 imageMode, int bits) {
  const int16 bytes = int16(bits == 0 ? pixels.sampleBytes : bits / 8);
  runner::Image stored(pixels.width, pixels.height, pixels.planes, bytes);
  HostToFile(pixels.pixels.data(), pixels.pixels.size(), pixels.planes, imageMode, bits, stored.pixels.data());
  return stored;
}

}  // namespace vantrel::pictures
