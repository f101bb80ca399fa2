// The raw image format, and the helpers both image readers share.
#include "cli/raw_picture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

namespace vantrel::cli {
namespace {

constexpr uint32 kFull = 32768;  // the hosts' full scale of a 16-bit sample

// A file's 16-bit sample on the hosts' scale, and back; both round to the
// nearest, so that a sample that goes in and out unchanged moves by 1 at most.
uint16 HostSample(uint32 v) { return uint16((uint64_t(v) * 2 * kFull + 65535) / (2 * 65535)); }
uint16 FileSample(uint32 v) { return uint16((std::min(v, kFull) * 65535 + kFull / 2) / kFull); }

// Applies `f(sample, isInk)` to every 16-bit sample of `pixels`: isInk for
// the colour planes of a CMYK image, which flip between the conventions.
template <class F>
void EachDeepSample(runner::Image& pixels, int16 imageMode, F f) {
  const std::size_t planes = std::size_t(pixels.planes);
  const std::size_t ink = CmykMode(imageMode) ? 4 : 0;
  uint8* p = pixels.pixels.data();
  const std::size_t count = pixels.pixels.size() / 2;
  for (std::size_t i = 0, k = 0; i < count; ++i, p += 2) {
    uint16 v;
    std::memcpy(&v, p, 2);
    v = f(v, k < ink);
    std::memcpy(p, &v, 2);
    if (++k == planes) k = 0;
  }
}

}  // namespace

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

void FlipInk(runner::Image& pixels, int16 imageMode) {
  if (imageMode != plugInModeCMYKColor) return;
  const std::size_t planes = std::size_t(pixels.planes);
  for (std::size_t i = 0; i < pixels.pixels.size(); i += planes)
    for (std::size_t k = 0; k < 4; ++k) pixels.pixels[i + k] = uint8(255 - pixels.pixels[i + k]);
}

void FileToHost(runner::Image& pixels, int16 imageMode) {
  if (pixels.sampleBytes == 1) return FlipInk(pixels, imageMode);
  EachDeepSample(pixels, imageMode, [](uint32 v, bool ink) { return HostSample(ink ? 65535 - v : v); });
}

runner::Image HostToFile(const runner::Image& pixels, int16 imageMode, int bits) {
  runner::Image stored = pixels;
  if (stored.sampleBytes == 1)
    FlipInk(stored, imageMode);
  else
    EachDeepSample(stored, imageMode, [](uint32 v, bool ink) { return uint16(ink ? 65535 - FileSample(v) : FileSample(v)); });
  const int16 bytes = int16(bits == 0 ? stored.sampleBytes : bits / 8);
  if (bytes == stored.sampleBytes) return stored;
  runner::Image changed(stored.width, stored.height, stored.planes, bytes);
  const std::size_t count = std::size_t(stored.width) * std::size_t(stored.height) * std::size_t(stored.planes);
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes == 2) {
      const uint16 v = uint16(stored.pixels[i] * 257);
      std::memcpy(&changed.pixels[2 * i], &v, 2);
    } else {
      uint16 v;
      std::memcpy(&v, &stored.pixels[2 * i], 2);
      changed.pixels[i] = uint8((v + 128) / 257);
    }
  }
  return changed;
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
  const long colour = ColourPlanes(imageMode);
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
      << (CmykMode(imageMode) ? "CMYK" : "RGB") << ' ' << stored.width << ' ' << stored.height << ' ' << stored.planes;
  if (storedBits == 16) out << ' ' << storedBits;
  out << '\n';
  out.write(reinterpret_cast<const char*>(stored.pixels.data()), std::streamsize(stored.pixels.size()));
  out.close();
  return out ? "" : "cannot write the file";
}

}  // namespace vantrel::cli
