// The raw image format of ours.
#include "pictures/raw_picture.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

#include "host/image_modes.h"
#include "pictures/samples.h"

namespace vantrel::pictures {

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
