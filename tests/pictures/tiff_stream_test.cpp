// The deflate TIFF writer alone: byte for byte the file libvips' tiffsave
// writes for the same pixels and tags (so the same tags, strips and size),
// whatever the threads and however the rows are handed over; and failures
// that come back as reasons.
#include <gtest/gtest.h>
#include <vips/vips.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "pictures/tiff_stream.h"
#include "tests/pictures/written_files.h"
#include "tests/support/png_chunks.h"

namespace vantrel::pictures {
namespace {

namespace fs = std::filesystem;
using testing::Decoded;
using testing::FileBytes;
using testing::ReadWithVips;
using testing::Samples;
using testing::Shape;

using TiffStreamTest = testing::WrittenFilesTest;

// The file libvips writes for `samples` with the header's resolution.
std::string WriteWithVips(const fs::path& file, const TiffHeader& h, const std::vector<uint8_t>& samples) {
  VipsImage* memory = vips_image_new_from_memory(samples.data(), samples.size(), h.width, h.height, h.samples,
                                                 h.bitDepth == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
  VipsImage* out = nullptr;
  const VipsInterpretation type = h.cmyk ? VIPS_INTERPRETATION_CMYK
                                  : h.bitDepth == 16 ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB;
  if (vips_copy(memory, &out, "interpretation", type, "xres", h.xResolution / 10, "yres", h.yResolution / 10,
                nullptr) != 0 ||
      vips_image_write_to_file(out, (file.string() + "[compression=deflate]").c_str(), nullptr) != 0) {
    const std::string why = vips_error_buffer();
    vips_error_clear();
    return why;
  }
  g_object_unref(out);
  g_object_unref(memory);
  return "";
}

TEST_F(TiffStreamTest, IsTheFileLibvipsWritesForEveryLayoutAndDepth) {
  struct Layout {
    const char* name;
    Shape shape;  // several strips of 128 rows, the last one short
    bool cmyk;
    int bandRows;
  };
  const Layout layouts[] = {
      {"RGB, odd width", {33, 300, 3, 8}, false, 7},
      {"RGB and alpha", {20, 260, 4, 8}, false, 128},
      {"CMYK, a last strip of one row", {17, 129, 4, 8}, true, 1},
      {"RGB 16-bit", {21, 300, 3, 16}, false, 50},
      {"CMYK and alpha 16-bit", {9, 140, 5, 16}, true, 140},
      {"one pixel", {1, 1, 3, 8}, false, 1},
      {"one row", {5000, 1, 4, 16}, false, 1},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    const Shape& s = l.shape;
    const std::vector<uint8_t> samples = Samples(s);
    TiffHeader header;
    header.width = s.width, header.height = s.height, header.samples = s.channels, header.bitDepth = s.depth;
    header.cmyk = l.cmyk;
    header.xResolution = 59.06, header.yResolution = 29.53;
    const fs::path ours = work_ / "ours.tif", alone = work_ / "alone.tif", vips = work_ / "vips.tif";
    {
      TiffStream tiff;
      std::string why = tiff.Open(ours.string(), header, {3});
      for (int y = 0; why.empty() && y < s.height; y += l.bandRows)
        why = tiff.Write(samples.data() + s.RowBytes() * y, std::min(l.bandRows, s.height - y),
                         std::ptrdiff_t(s.RowBytes()));
      ASSERT_EQ(why.empty() ? tiff.Finish() : why, "");
    }
    ASSERT_EQ(WriteWhole(alone.string(), header, samples.data(), std::ptrdiff_t(s.RowBytes()), TiffTuning{1}), "");
    ASSERT_EQ(WriteWithVips(vips, header, samples), "");
    EXPECT_EQ(FileBytes(ours), FileBytes(alone));
    EXPECT_TRUE(FileBytes(ours) == FileBytes(vips)) << fs::file_size(ours) << " bytes against " << fs::file_size(vips);
    const Decoded d = ReadWithVips(ours);
    EXPECT_EQ(d.complaint, "");
    EXPECT_TRUE(d.samples == samples);
  }
}

// Failures come back as reasons; a writer dropped before Finish leaves a
// file with no directory, which no reader takes for a picture.
TEST_F(TiffStreamTest, FailuresComeBackAsReasonsAndLeaveNoWholeFile) {
  struct Failure {
    const char* name;
    std::string path;
    int samples, depth, rows;  // rows handed over; -1: dropped with them
    const char* reason;
    int height = 300;
  };
  const std::string file = (work_ / "out.tif").string();
  const Failure failures[] = {
      {"two samples", file, 2, 8, 0, "2 samples a pixel"},
      {"12-bit", file, 3, 12, 0, "12-bit"},
      {"missing folder", (work_ / "nowhere" / "out.tif").string(), 3, 8, 0, "cannot create"},
      {"rows missing", file, 3, 8, 299, "ended after 299 of 300 rows"},
      {"disk full", "/dev/full", 3, 8, 300, "No space left"},
      // Written only when the file is closed.
      {"disk full, a picture in stdio's buffer", "/dev/full", 3, 8, 4, "No space left", 4},
      {"dropped", file, 3, 8, -1, ""},
  };
  const Shape shape{64, 300, 3, 8};
  const std::vector<uint8_t> samples = Samples(shape);
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.name);
    fs::remove(file);
    TiffHeader header;
    header.width = shape.width, header.height = f.height, header.samples = f.samples, header.bitDepth = f.depth;
    {
      TiffStream tiff;
      std::string why = tiff.Open(f.path, header, {2});
      if (why.empty()) why = tiff.Write(samples.data(), f.rows < 0 ? 200 : f.rows, std::ptrdiff_t(shape.RowBytes()));
      if (f.rows >= 0) {
        if (why.empty()) why = tiff.Finish();
        EXPECT_NE(why.find(f.reason), std::string::npos) << why;
        EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        EXPECT_EQ(tiff.Finish(), why);  // and stays failed
      }
    }
    if (f.path == file && fs::exists(file)) {
      EXPECT_NE(fs::file_size(file), 0u) << "strips written";
      EXPECT_NE(ReadWithVips(file).complaint, "");
    }
  }
}

}  // namespace
}  // namespace vantrel::pictures
