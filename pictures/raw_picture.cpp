// The raw image format, and the helpers both image readers share.
#include "pictures/raw_picture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <type_traits>

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

// Rows served from a picture held whole.
class Held : public RowReader {
 public:
  explicit Held(Picture picture) : picture_(std::move(picture)) {}
  std::string Read(uint8* rows, int count, std::ptrdiff_t stride) override {
    const runner::Image& image = picture_.pixels;
    if (count > image.height - next_) return "the picture has no more rows";
    const std::size_t bytes = std::size_t(image.width) * image.PixelBytes();
    for (int i = 0; i < count; ++i) std::memcpy(rows + i * stride, image.At(next_ + i, 0), bytes);
    next_ += count;
    return "";
  }

 private:
  Picture picture_;
  int next_ = 0;
};

// Rows gathered whole, then written by WritePicture.
class Gathered : public RowWriter {
 public:
  Gathered(const PictureInfo& info, const std::string& path, const SaveOptions& options)
      : path_(path), options_(options) {
    picture_.imageMode = info.imageMode;
    picture_.file = info.file;
    if (info.width <= std::numeric_limits<int16>::max() && info.height <= std::numeric_limits<int16>::max())
      picture_.pixels = runner::Image(int16(info.width), int16(info.height), info.planes,
                                      host::SampleBytes(info.imageMode));
  }
  std::string Write(const uint8* rows, int count, std::ptrdiff_t stride) override {
    runner::Image& image = picture_.pixels;
    if (image.pixels.empty()) return "this format holds at most 32767 pixels a side";
    if (count > image.height - next_) return "more rows than the picture has";
    const std::size_t bytes = std::size_t(image.width) * image.PixelBytes();
    for (int i = 0; i < count; ++i) std::memcpy(image.At(next_ + i, 0), rows + i * stride, bytes);
    next_ += count;
    return "";
  }
  std::string Finish() override {
    if (picture_.pixels.pixels.empty() || next_ < picture_.pixels.height) return "the picture is missing rows";
    return WritePicture(picture_, picture_.pixels, path_, options_);
  }

 private:
  Picture picture_;
  std::string path_;
  SaveOptions options_;
  int next_ = 0;
};

}  // namespace

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

PictureInfo InfoOf(const Picture& picture) {
  return {picture.pixels.width, picture.pixels.height, picture.pixels.planes, picture.imageMode, picture.file};
}

std::unique_ptr<RowReader> HeldRows(Picture picture) { return std::make_unique<Held>(std::move(picture)); }

std::unique_ptr<RowWriter> GatheredRows(const PictureInfo& info, const std::string& path, const SaveOptions& options) {
  return std::make_unique<Gathered>(info, path, options);
}

void FlipInk(runner::Image& pixels, int16 imageMode) {
  if (imageMode == plugInModeCMYKColor) FlipInk(pixels.pixels.data(), pixels.pixels.data(), pixels.pixels.size(), pixels.planes, true);
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

std::string ReadRawPicture(const std::string& path, Picture& picture) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open the file";
  std::string magic, mode;
  int version = 0, bits = 8;
  long width = 0, height = 0, planes = 0;
  in >> magic >> version >> mode >> width >> height >> planes;
  if (version == 2) in >> bits;
  if (!in || magic != "VANTREL-RAW" || (version != 1 && version != 2) || in.get() != '\n')
    return "not a raw image of ours";
  if (bits != 8 && bits != 16) return "raw image of " + std::to_string(bits) + " bits per sample";
  const bool cmyk = mode == "CMYK";
  if (!cmyk && mode != "RGB") return "raw image of unknown colour mode " + mode;
  const int16 imageMode = bits == 16 ? (cmyk ? plugInModeCMYK64 : plugInModeRGB48)
                                     : (cmyk ? plugInModeCMYKColor : plugInModeRGBColor);
  const long colour = host::ColourPlanes(imageMode);
  if (planes != colour && planes != colour + 1) return "raw " + mode + " image with " + std::to_string(planes) + " planes";
  if (width < 1 || height < 1 || width > std::numeric_limits<int16>::max() || height > std::numeric_limits<int16>::max())
    return "raw image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
  runner::Image image{int16(width), int16(height), int16(planes), int16(bits / 8)};
  in.read(reinterpret_cast<char*>(image.pixels.data()), std::streamsize(image.pixels.size()));
  if (in.gcount() != std::streamsize(image.pixels.size()) || in.peek() != EOF) return "raw image of the wrong length";
  if (bits == 16) {
    // Little-endian in the file, the machine's order in memory.
    for (std::size_t i = 0; i < image.pixels.size(); i += 2) {
      const uint16 v = uint16(image.pixels[i] | image.pixels[i + 1] << 8);
      std::memcpy(&image.pixels[i], &v, 2);
    }
  }
  FileToHost(image, imageMode);
  picture.pixels = std::move(image);
  picture.imageMode = imageMode;
  picture.file.reset();
  return "";
}

std::string WriteRawPicture(const runner::Image& pixels, int16 imageMode, const std::string& path, int bits) {
  runner::Image stored = HostToFile(pixels, imageMode, bits);
  const int storedBits = 8 * stored.sampleBytes;
  if (storedBits == 16) {
    for (std::size_t i = 0; i < stored.pixels.size(); i += 2) {
      uint16 v;
      std::memcpy(&v, &stored.pixels[i], 2);
      stored.pixels[i] = uint8(v & 0xFF);
      stored.pixels[i + 1] = uint8(v >> 8);
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "VANTREL-RAW " << (storedBits == 16 ? 2 : 1) << '\n'
      << (host::CmykMode(imageMode) ? "CMYK" : "RGB") << ' ' << stored.width << ' ' << stored.height << ' ' << stored.planes;
  if (storedBits == 16) out << ' ' << storedBits;
  out << '\n';
  out.write(reinterpret_cast<const char*>(stored.pixels.data()), std::streamsize(stored.pixels.size()));
  out.close();
  return out ? "" : "cannot write the file";
}

}  // namespace vantrel::pictures
