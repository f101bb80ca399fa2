// The raw image format, and the helpers both image readers share.
#include "cli/raw_picture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <limits>

namespace vantrel::cli {

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

std::string ReadRawPicture(const std::string& path, Picture& picture) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot open the file";
  std::string magic, mode;
  int version = 0;
  long width = 0, height = 0, planes = 0;
  in >> magic >> version >> mode >> width >> height >> planes;
  if (!in || magic != "VANTREL-RAW" || version != 1 || in.get() != '\n') return "not a raw image of ours";
  const int16 imageMode = mode == "CMYK" ? plugInModeCMYKColor : mode == "RGB" ? plugInModeRGBColor : 0;
  if (imageMode == 0) return "raw image of unknown colour mode " + mode;
  const long colour = ColourPlanes(imageMode);
  if (planes != colour && planes != colour + 1) return "raw " + mode + " image with " + std::to_string(planes) + " planes";
  if (width < 1 || height < 1 || width > std::numeric_limits<int16>::max() || height > std::numeric_limits<int16>::max())
    return "raw image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
  runner::Image image{int16(width), int16(height), int16(planes)};
  in.read(reinterpret_cast<char*>(image.pixels.data()), std::streamsize(image.pixels.size()));
  if (in.gcount() != std::streamsize(image.pixels.size()) || in.peek() != EOF) return "raw image of the wrong length";
  FlipInk(image, imageMode);
  picture.pixels = std::move(image);
  picture.imageMode = imageMode;
  picture.file.reset();
  return "";
}

std::string WriteRawPicture(const runner::Image& pixels, int16 imageMode, const std::string& path) {
  runner::Image stored = pixels;
  FlipInk(stored, imageMode);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "VANTREL-RAW 1\n"
      << (imageMode == plugInModeCMYKColor ? "CMYK" : "RGB") << ' ' << stored.width << ' ' << stored.height << ' '
      << stored.planes << '\n';
  out.write(reinterpret_cast<const char*>(stored.pixels.data()), std::streamsize(stored.pixels.size()));
  out.close();
  return out ? "" : "cannot write the file";
}

}  // namespace vantrel::cli
