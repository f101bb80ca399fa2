// Image files for the Windows tool: PNG through the header-only stb library
// (RGB with or without a transparency plane; 8- and 16-bit in, 8-bit out),
// and CMYK and 16-bit images out through the raw format of ours.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "core/settings.h"
#include "pictures/picture.h"
#include "pictures/raw_picture.h"
#include "pictures/samples.h"

namespace vantrel::pictures {
namespace {

constexpr const char* kFormats = "this build reads and writes .png and .vraw files";

}  // namespace

// stb reads a file whole or not at all: a damaged one always fails.
void StartPictures(const char*, bool) {}
void StopPictures() {}
std::string TakeWarnings() { return ""; }

std::string ReadPicture(const std::string& path, Picture& picture) {
  const std::string ext = Extension(path);
  if (ext == kRawExtension) return ReadRawPicture(path, picture);
  if (ext != ".png") return std::string("not a format of this build; ") + kFormats;
  int width = 0, height = 0, channels = 0;
  if (stbi_info(path.c_str(), &width, &height, &channels) == 0) return stbi_failure_reason();
  if (channels < 3) return "a greyscale image; the filter takes RGB and CMYK images";
  if (width > kMostSide || height > kMostSide)
    return std::to_string(width) + " x " + std::to_string(height) + " pixels; the filter interface takes at most " +
           std::to_string(kMostSide) + " a side";
  const bool deep = stbi_is_16_bit(path.c_str()) != 0;
  const int16 mode = deep ? plugInModeRGB48 : plugInModeRGBColor;
  // Samples in the machine's order, as the host hands them over; as many
  // planes as the file has, whatever stb reports it holds.
  const int planes = channels;
  void* data = deep ? static_cast<void*>(stbi_load_16(path.c_str(), &width, &height, &channels, planes))
                    : static_cast<void*>(stbi_load(path.c_str(), &width, &height, &channels, planes));
  if (data == nullptr) return stbi_failure_reason();
  runner::Image pixels{int16(width), int16(height), int16(planes), int16(deep ? 2 : 1)};
  std::memcpy(pixels.pixels.data(), data, pixels.pixels.size());
  stbi_image_free(data);
  FileToHost(pixels, mode);
  picture.pixels = std::move(pixels);
  picture.imageMode = mode;
  picture.file.reset();
  return "";
}

std::string OpenRows(const std::string& path, PictureInfo& info, std::unique_ptr<RowReader>& reader) {
  Picture picture;
  if (std::string why = ReadPicture(path, picture); !why.empty()) return why;
  info = InfoOf(picture);
  reader = HeldRows(std::move(picture));
  return "";
}

std::string CreateRows(const PictureInfo& info, const std::string& path, const SaveOptions& options,
                       std::unique_ptr<RowWriter>& writer) {
  writer = GatheredRows(info, path, options);
  return "";
}

std::string CheckWritable(const PictureInfo& picture, const std::string& path, const SaveOptions& options) {
  const std::string ext = Extension(path);
  if (ext == kRawExtension) return "";
  if (ext != ".png") return std::string("no image format for the extension \"") + ext + "\"; " + kFormats;
  if (host::CmykMode(picture.imageMode)) return ".png files cannot hold CMYK pixels; write .vraw";
  if (OutputBits(picture.imageMode, options) == 16)
    return ".png files of this build hold 8-bit samples; write .vraw, or add --depth 8";
  return CheckPngLevel(options.compression);
}

std::string WritePicture(const Picture& picture, const runner::Image& pixels, const std::string& path,
                         const SaveOptions& options, std::string* leftOut) {
  // stb writes the pixels alone: there is nothing beside them to leave out.
  if (leftOut != nullptr) leftOut->clear();
  const int bits = OutputBits(picture.imageMode, options);
  if (Extension(path) == kRawExtension) return WriteRawPicture(pixels, picture.imageMode, path, bits);
  if (!options.compression.empty()) stbi_write_png_compression_level = std::atoi(options.compression.c_str());
  // 16-bit pixels come down to 8 (CheckWritable has refused to keep them).
  const runner::Image converted = pixels.sampleBytes == 1 ? runner::Image{} : HostToFile(pixels, picture.imageMode, 8);
  const runner::Image& stored = pixels.sampleBytes == 1 ? pixels : converted;
  const int ok = stbi_write_png(path.c_str(), stored.width, stored.height, stored.planes, stored.pixels.data(),
                                stored.width * stored.planes);
  return ok != 0 ? "" : "cannot write the file";
}

}  // namespace vantrel::pictures
