// What the tests of the writers share: pictures of every shape to write, a
// folder of their own for the files, and libvips reading a file back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <vips/vips.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pictures/picture.h"
#include "tests/support/png_chunks.h"

namespace vantrel::testing {

namespace fs = std::filesystem;

struct Shape {
  int width, height, channels, depth;
  std::size_t RowBytes() const { return std::size_t(width) * channels * depth / 8; }
};

// Samples as the writers take them (16-bit ones native), from a picture
// that is smooth in places and noisy in others, so that every row filter
// wins somewhere, and that repeats down the rows, so that deflate reaches
// back across pieces into the dictionary.
inline std::vector<uint8_t> Samples(const Shape& s) {
  std::vector<uint8_t> bytes(s.RowBytes() * s.height);
  uint32_t noise = 12345;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      for (int k = 0; k < s.channels; ++k) {
        noise = noise * 1664525u + 1013904223u;
        const int smooth = (x * (k + 1) + (y % 7) * 9) % 256;
        const int value = (x / 8 + y / 4) % 3 == 0 ? int(noise >> 24) : smooth;
        const std::size_t i = (std::size_t(y) * s.width + x) * s.channels + k;
        if (s.depth == 8) {
          bytes[i] = uint8_t(value);
        } else {
          const uint16_t wide = uint16_t(value * 257 + (noise >> 28));
          std::memcpy(&bytes[2 * i], &wide, 2);
        }
      }
  return bytes;
}

// A file read back: the samples as the writer took them.
struct Decoded {
  Shape shape{};
  std::vector<uint8_t> samples;
  std::string complaint;  // an error or a warning of the reader
};

inline Decoded ReadWithVips(const fs::path& file) {
  Decoded d;
  VipsImage* image = vips_image_new_from_file(file.c_str(), "fail_on", VIPS_FAIL_ON_WARNING, nullptr);
  std::size_t size = 0;
  void* memory = image != nullptr ? vips_image_write_to_memory(image, &size) : nullptr;
  if (memory == nullptr) {
    d.complaint = vips_error_buffer();
    vips_error_clear();
  } else {
    d.shape = {image->Xsize, image->Ysize, image->Bands, image->BandFmt == VIPS_FORMAT_USHORT ? 16 : 8};
    d.samples.assign(static_cast<uint8_t*>(memory), static_cast<uint8_t*>(memory) + size);
    g_free(memory);
  }
  if (image != nullptr) g_object_unref(image);
  return d;
}

// The metadata field `name` of `image` as bytes, or "(none)".
inline std::string BlobOf(VipsImage* image, const char* name) {
  const void* data = nullptr;
  std::size_t length = 0;
  return vips_image_get_blob(image, name, &data, &length) == 0 ? std::string(static_cast<const char*>(data), length)
                                                                : std::string("(none)");
}

// Each test in a folder of its own under the temporary one, named for its
// suite, removed after it; the image library started once per suite.
class WrittenFilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pictures::StartPictures("pictures_tests"); }
  void SetUp() override {
    const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
    work_ = fs::temp_directory_path() / ("vantrel-" + suite + "-" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override { fs::remove_all(work_); }

  fs::path work_;
};

}  // namespace vantrel::testing
