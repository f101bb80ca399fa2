// Makes the bundled sample images from nothing but arithmetic: a small RGB
// colour chart (also with a transparency plane) and a CMYK chart as TIFF and
// in the raw format of ours; or, with --size, one large RGB chart for the
// benchmarks.
#include <vips/vips.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/picture.h"
#include "cli/raw_picture.h"

namespace vantrel::cli {
namespace {

// Hue bars across, brightness down, with a fine diagonal texture so that
// every channel differs from its neighbours and from the other channels.
runner::Image RgbChart(int16 width, int16 height, int16 planes) {
  runner::Image image(width, height, planes);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8* p = image.At(y, x);
      const double hue = 6.0 * x / width, light = 1.0 - double(y) / height;
      const double r = std::fabs(hue - 3.0) - 1.0;
      const double g = 2.0 - std::fabs(hue - 2.0);
      const double b = 2.0 - std::fabs(hue - 4.0);
      const double texture = ((x * 7 + y * 13) % 23) - 11;
      const double rgb[3] = {r, g, b};
      for (int k = 0; k < 3; ++k)
        p[k] = uint8(std::clamp(255.0 * std::clamp(rgb[k], 0.0, 1.0) * light + texture + 20.0 * k, 0.0, 255.0));
      if (planes == 4) p[3] = uint8((x * 255) / std::max(1, width - 1));
    }
  }
  return image;
}

// Four ink ramps in overlapping stripes, in the files' convention (0 = no ink).
runner::Image CmykChart(int16 width, int16 height) {
  runner::Image image(width, height, 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8* p = image.At(y, x);
      p[0] = uint8(x * 255 / std::max(1, width - 1));
      p[1] = uint8(y * 255 / std::max(1, height - 1));
      p[2] = uint8(((x / 16 + y / 16) % 4) * 85);
      p[3] = uint8((x + 2 * y) % 97 * 2);
    }
  return image;
}

bool Save(const runner::Image& image, VipsInterpretation type, const std::string& path) {
  VipsImage* memory = vips_image_new_from_memory(image.pixels.data(), image.pixels.size(), image.width, image.height,
                                                 image.planes, VIPS_FORMAT_UCHAR);
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

int Make(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--size") {
    int w = 0, h = 0;
    if (std::sscanf(argv[2], "%dx%d", &w, &h) != 2 || w < 1 || h < 1 || w > 32767 || h > 32767) return 2;
    return Save(RgbChart(int16(w), int16(h), 3), VIPS_INTERPRETATION_sRGB, argv[3]) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel_sample FOLDER | vantrel_sample --size WIDTHxHEIGHT FILE.png\n");
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
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace vantrel::cli

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0]) != 0) return 1;
  const int status = vantrel::cli::Make(argc, argv);
  vips_shutdown();
  return status;
}
