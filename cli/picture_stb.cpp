// Image files for the Windows tool: PNG (8-bit RGB, with or without a
// transparency plane) through the header-only stb library, and CMYK through
// the raw format of ours.
#include <algorithm>
#include <cstdlib>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "cli/picture.h"
#include "cli/raw_picture.h"

namespace vantrel::cli {
namespace {

constexpr const char* kFormats = "this build reads and writes .png and .vraw files";

}  // namespace

void StartPictures(const char*) {}
void StopPictures() {}

std::string ReadPicture(const std::string& path, Picture& picture) {
  const std::string ext = Extension(path);
  if (ext == kRawExtension) return ReadRawPicture(path, picture);
  if (ext != ".png") return std::string("not a format of this build; ") + kFormats;
  int width = 0, height = 0, channels = 0;
  if (stbi_info(path.c_str(), &width, &height, &channels) == 0) return stbi_failure_reason();
  if (stbi_is_16_bit(path.c_str())) return "16-bit samples; the filter takes 8-bit images only";
  if (channels < 3) return "a greyscale image; the filter takes RGB and CMYK images";
  if (width > 32767 || height > 32767)
    return std::to_string(width) + " x " + std::to_string(height) + " pixels; the filter interface takes at most 32767 a side";
  stbi_uc* data = stbi_load(path.c_str(), &width, &height, &channels, channels);
  if (data == nullptr) return stbi_failure_reason();
  runner::Image pixels{int16(width), int16(height), int16(channels)};
  std::copy(data, data + pixels.pixels.size(), pixels.pixels.begin());
  stbi_image_free(data);
  picture.pixels = std::move(pixels);
  picture.imageMode = plugInModeRGBColor;
  picture.file.reset();
  return "";
}

std::string CheckWritable(const Picture& picture, const std::string& path, const SaveOptions& options) {
  const std::string ext = Extension(path);
  if (ext == kRawExtension) return "";
  if (ext != ".png") return std::string("no image format for the extension \"") + ext + "\"; " + kFormats;
  if (picture.imageMode != plugInModeRGBColor) return ".png files cannot hold CMYK pixels; write .vraw";
  const std::string& c = options.compression;
  if (!c.empty() && !(c.size() == 1 && c[0] >= '0' && c[0] <= '9'))
    return "PNG compression \"" + c + "\" is not a level from 0 to 9";
  return "";
}

std::string WritePicture(const Picture& picture, const runner::Image& pixels, const std::string& path,
                         const SaveOptions& options) {
  if (Extension(path) == kRawExtension) return WriteRawPicture(pixels, picture.imageMode, path);
  if (!options.compression.empty()) stbi_write_png_compression_level = std::atoi(options.compression.c_str());
  const int ok = stbi_write_png(path.c_str(), pixels.width, pixels.height, pixels.planes, pixels.pixels.data(),
                                pixels.width * pixels.planes);
  return ok != 0 ? "" : "cannot write the file";
}

}  // namespace vantrel::cli
