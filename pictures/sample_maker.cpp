// Makes the bundled sample images from nothing but arithmetic: a small RGB
// colour chart (also with a transparency plane) and a CMYK chart as TIFF and
// in the raw format of ours, each also at 16 bits (chart16*: TIFF, a PNG
// with transparency, and the raw format); or, with --size, one large RGB
// chart for the benchmarks, at 16 bits when the file is a .tif.
#include <vips/vips.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/settings.h"
#include "pictures/picture.h"
#include "pictures/raw_picture.h"
#include "pictures/samples.h"

namespace vantrel::pictures {
namespace {

// A 16-bit sample from the 8-bit drawing `v` (0 to 255) with `fine` (0 to
// 255) in its low byte, so that the low bits differ from sample to sample.
uint16 Deep(double v, int fine) { return uint16(std::clamp(v * 257.0 + fine - 128, 0.0, 65535.0)); }

// Hue bars across, brightness down, with a fine diagonal texture so that
// every channel differs from its neighbours and from the other channels; at
// 16 bits the same drawing with a finer texture in the low bits.
runner::Image RgbChart(int16 width, int16 height, int16 planes, int16 sampleBytes = 1) {
  runner::Image image(width, height, planes, sampleBytes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double hue = 6.0 * x / width, light = 1.0 - double(y) / height;
      const double r = std::fabs(hue - 3.0) - 1.0;
      const double g = 2.0 - std::fabs(hue - 2.0);
      const double b = 2.0 - std::fabs(hue - 4.0);
      const double texture = ((x * 7 + y * 13) % 23) - 11;
      const double rgb[3] = {r, g, b};
      for (int k = 0; k < 3; ++k) {
        const double v = std::clamp(255.0 * std::clamp(rgb[k], 0.0, 1.0) * light + texture + 20.0 * k, 0.0, 255.0);
        image.SetSample(y, x, k, sampleBytes == 1 ? uint8(v) : Deep(v, (x * 31 + y * 17 + k * 89) % 256));
      }
      if (planes == 4) {
        const int alpha = (x * 255) / std::max(1, width - 1);
        image.SetSample(y, x, 3, sampleBytes == 1 ? uint16(alpha) : Deep(alpha, (x * 13 + y * 7) % 256));
      }
    }
  }
  return image;
}

// Four ink ramps in overlapping stripes, in the files' convention (0 = no ink).
runner::Image CmykChart(int16 width, int16 height, int16 sampleBytes = 1) {
  runner::Image image(width, height, 4, sampleBytes);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int inks[4] = {x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1),
                           ((x / 16 + y / 16) % 4) * 85, (x + 2 * y) % 97 * 2};
      for (int k = 0; k < 4; ++k)
        image.SetSample(y, x, k, sampleBytes == 1 ? uint16(inks[k]) : Deep(inks[k], (x * 23 + y * 41 + k * 67) % 256));
    }
  return image;
}

bool Save(const runner::Image& image, VipsInterpretation type, const std::string& path) {
  const bool deep = image.sampleBytes == 2;
  if (deep && type == VIPS_INTERPRETATION_sRGB) type = VIPS_INTERPRETATION_RGB16;
  VipsImage* memory = vips_image_new_from_memory(image.pixels.data(), image.pixels.size(), image.width, image.height,
                                                 image.planes, deep ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
  VipsImage* out = nullptr;
  // 300 pixels per inch, so that keeping the resolution shows.
  const bool ok = memory != nullptr &&
                  vips_copy(memory, &out, "interpretation", type, "xres", 300 / 25.4, "yres", 300 / 25.4, nullptr) == 0 &&
                  vips_image_write_to_file(out, (path + (Extension(path) == ".png" ? "[filter=all]" : "")).c_str(),
                                           nullptr) == 0;
  if (out != nullptr) g_object_unref(out);
  if (memory != nullptr) g_object_unref(memory);
  if (!ok) std::fprintf(stderr, "%s: %s", path.c_str(), vips_error_buffer());
  else std::printf("%s\n", path.c_str());
  return ok;
}

// The raw copy of an image file just written: read as the tool reads it and
// written as it writes it, so that both hold the same pixels for the filter.
bool RawCopy(const std::string& file, const std::string& raw) {
  Picture picture;
  const bool ok = ReadPicture(file, picture).empty() && WriteRawPicture(picture.pixels, picture.imageMode, raw).empty();
  if (ok) std::printf("%s\n", raw.c_str());
  else std::fprintf(stderr, "%s: cannot make it from %s\n", raw.c_str(), file.c_str());
  return ok;
}

int Make(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--size") {
    int w = 0, h = 0;
    if (std::sscanf(argv[2], "%dx%d", &w, &h) != 2 || w < 1 || h < 1 || w > kMostSide || h > kMostSide) return 2;
    const int16 sampleBytes = Extension(argv[3]) == ".tif" ? 2 : 1;
    return Save(RgbChart(int16(w), int16(h), 3, sampleBytes), VIPS_INTERPRETATION_sRGB, argv[3]) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel_sample FOLDER | vantrel_sample --size WIDTHxHEIGHT FILE.png|FILE.tif\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const runner::Image cmyk = CmykChart(192, 128);
  bool ok = Save(RgbChart(240, 160, 3), VIPS_INTERPRETATION_sRGB, folder + "chart.png") &&
            Save(RgbChart(240, 160, 4), VIPS_INTERPRETATION_sRGB, folder + "chart_alpha.png") &&
            Save(cmyk, VIPS_INTERPRETATION_CMYK, folder + "chart_cmyk.tif");
  runner::Image hostCmyk = cmyk;
  FlipInk(hostCmyk, plugInModeCMYKColor);  // the raw writer stores the files' convention
  ok = ok && WriteRawPicture(hostCmyk, plugInModeCMYKColor, folder + "chart_cmyk.vraw").empty();
  if (ok) std::printf("%schart_cmyk.vraw\n", folder.c_str());
  ok = ok && Save(RgbChart(240, 160, 3, 2), VIPS_INTERPRETATION_sRGB, folder + "chart16.tif") &&
       Save(RgbChart(240, 160, 4, 2), VIPS_INTERPRETATION_sRGB, folder + "chart16_alpha.png") &&
       Save(CmykChart(192, 128, 2), VIPS_INTERPRETATION_CMYK, folder + "chart16_cmyk.tif") &&
       RawCopy(folder + "chart16.tif", folder + "chart16.vraw") &&
       RawCopy(folder + "chart16_alpha.png", folder + "chart16_alpha.vraw") &&
       RawCopy(folder + "chart16_cmyk.tif", folder + "chart16_cmyk.vraw");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace vantrel::pictures

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0]) != 0) return 1;
  const int status = vantrel::pictures::Make(argc, argv);
  vips_shutdown();
  return status;
}
