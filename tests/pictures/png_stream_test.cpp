// The PNG writer alone: what it writes is one valid PNG that libpng, libvips
// and ImageMagick read back as the pixels handed over, whose filtered rows are
// the very bytes one-thread libpng compresses, whose size is within 1% of
// libpng's, and whose failures come back as reasons.
#include <gtest/gtest.h>
#include <png.h>
#include <vips/vips.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pictures/png_stream.h"
#include "tests/pictures/written_files.h"
#include "tests/support/png_chunks.h"

namespace vantrel::pictures {
namespace {

namespace fs = std::filesystem;
using testing::Decoded;
using testing::FileBytes;
using testing::PngChunks;
using testing::ReadWithVips;
using testing::Samples;
using testing::Shape;

PngHeader HeaderOf(const Shape& s, int level) {
  PngHeader h;
  h.width = s.width, h.height = s.height, h.channels = s.channels, h.bitDepth = s.depth, h.level = level;
  return h;
}

// ---- The readers, each answering the samples as the writer took them.

void PngComplaint(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) += std::string(message) + "; ";
}
[[noreturn]] void PngFailure(png_structp png, png_const_charp message) {
  PngComplaint(png, message);
  png_longjmp(png, 1);
}

Decoded ReadWithLibpng(const fs::path& file) {
  Decoded d;
  std::FILE* f = std::fopen(file.c_str(), "rb");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.complaint, PngFailure, PngComplaint);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_info(png, info);
    d.shape = {int(png_get_image_width(png, info)), int(png_get_image_height(png, info)),
               int(png_get_channels(png, info)), int(png_get_bit_depth(png, info))};
    if (d.shape.depth == 16 && std::endian::native == std::endian::little) png_set_swap(png);
    d.samples.resize(d.shape.RowBytes() * d.shape.height);
    for (int y = 0; y < d.shape.height; ++y) rows.push_back(d.samples.data() + d.shape.RowBytes() * y);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return d;
}

// ImageMagick's convert, into raw samples of the layout and depth expected.
Decoded ReadWithMagick(const fs::path& file, const Shape& expected) {
  const char* layouts[] = {"gray", "graya", "rgb", "rgba"};
  const fs::path raw = file.string() + ".raw", log = file.string() + ".log";
  const std::string command = "convert '" + file.string() + "' -depth " + std::to_string(expected.depth) +
                              " -endian " + (std::endian::native == std::endian::little ? "LSB " : "MSB ") +
                              layouts[expected.channels - 1] + ":'" + raw.string() + "' 2>'" + log.string() + "'";
  Decoded d;
  if (std::system(command.c_str()) != 0) d.complaint = "convert failed; ";
  d.complaint += FileBytes(log);
  const std::string bytes = FileBytes(raw);
  d.shape = expected;
  d.samples.assign(bytes.begin(), bytes.end());
  return d;
}

// The filtered rows inside a PNG: its image data inflated.
std::string FilteredRows(const fs::path& file) {
  std::string compressed;
  for (const testing::PngChunk& chunk : PngChunks(FileBytes(file)))
    if (chunk.type == "IDAT") compressed += chunk.data;
  std::string rows;
  z_stream z{};
  inflateInit(&z);
  z.next_in = reinterpret_cast<Bytef*>(compressed.data());
  z.avail_in = uInt(compressed.size());
  std::vector<char> buffer(1 << 16);
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = uInt(buffer.size());
    result = inflate(&z, Z_NO_FLUSH);
    rows.append(buffer.data(), buffer.size() - z.avail_out);
  }
  inflateEnd(&z);
  return result == Z_STREAM_END ? rows : "inflate failed: " + std::to_string(result);
}

// The same pixels written row by row by one-thread libpng with every filter
// allowed, at `level`: the file ours is measured against.
void WriteWithLibpng(const fs::path& file, const Shape& s, const std::vector<uint8_t>& samples, int level) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_compression_level(png, level);
  png_set_filter(png, 0, PNG_ALL_FILTERS);
  const int colour[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
  png_set_IHDR(png, info, s.width, s.height, s.depth, colour[s.channels - 1], PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  if (s.depth == 16 && std::endian::native == std::endian::little) png_set_swap(png);
  for (int y = 0; y < s.height; ++y) png_write_row(png, samples.data() + s.RowBytes() * y);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

class PngStreamTest : public testing::WrittenFilesTest {
 protected:
  // Writes `samples` in bands of `bandRows`, answering the reason.
  std::string Write(const fs::path& file, const PngHeader& header, const std::vector<uint8_t>& samples,
                    const PngTuning& tuning, int bandRows) {
    PngStream png;
    std::string why = png.Open(file.string(), header, tuning);
    const std::size_t rowBytes = std::size_t(header.width) * header.channels * header.bitDepth / 8;
    for (int y = 0; why.empty() && y < header.height; y += bandRows)
      why = png.Write(samples.data() + rowBytes * y, std::min(bandRows, header.height - y), std::ptrdiff_t(rowBytes));
    return why.empty() ? png.Finish() : why;
  }
};

// ---- Every size, layout, depth and level reads back as written.

struct RoundTrip {
  const char* name;
  Shape shape;
  int level;
  int pieceRows;  // 0: the default
  int bandRows;   // rows handed over at a time
};

TEST_F(PngStreamTest, ReadBackIdenticalByEveryDecoderWithLibpngsRowFilters) {
  const RoundTrip cases[] = {
      {"one grey pixel", {1, 1, 1, 8}, 6, 0, 1},
      {"odd width, pieces not dividing the rows", {33, 10, 3, 8}, 6, 3, 4},
      {"grey and alpha, 16-bit, level 1", {17, 9, 2, 16}, 1, 2, 5},
      {"RGBA 16-bit, level 9", {61, 12, 4, 16}, 9, 5, 12},
      {"stored, level 0", {45, 8, 3, 8}, 0, 3, 1},
      {"smaller than one piece", {101, 13, 4, 8}, 6, 0, 13},
      {"a row a piece, the dictionary from many pieces", {64, 120, 3, 8}, 6, 1, 7},
      {"rows longer than the window", {12000, 5, 3, 8}, 6, 2, 3},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.name);
    const Shape& s = c.shape;
    const std::vector<uint8_t> samples = Samples(s);
    const PngHeader header = HeaderOf(s, c.level);
    const fs::path ours = work_ / "ours.png", alone = work_ / "alone.png", libpng = work_ / "libpng.png";
    ASSERT_EQ(Write(ours, header, samples, {3, c.pieceRows}, c.bandRows), "");
    // The threads share the work, not the result.
    ASSERT_EQ(Write(alone, header, samples, {1, c.pieceRows}, s.height), "");
    EXPECT_EQ(FileBytes(ours), FileBytes(alone));

    EXPECT_EQ(std::system(("pngcheck -q '" + ours.string() + "' >/dev/null").c_str()), 0);
    for (const Decoded& d : {ReadWithLibpng(ours), ReadWithVips(ours), ReadWithMagick(ours, s)}) {
      EXPECT_EQ(d.complaint, "");
      EXPECT_EQ(d.shape.width, s.width);
      EXPECT_EQ(d.shape.height, s.height);
      EXPECT_EQ(d.shape.channels, s.channels);
      EXPECT_EQ(d.shape.depth, s.depth);
      EXPECT_TRUE(d.samples == samples);
    }
    WriteWithLibpng(libpng, s, samples, c.level);
    EXPECT_EQ(FilteredRows(ours), FilteredRows(libpng));
  }
}

// ---- Real pictures, cut as the tool cuts them, cost at most 1% more than
// one-thread libpng at the same level: each piece is primed with the data
// before it.

TEST_F(PngStreamTest, SizeWithinOnePercentOfOneThreadLibpng) {
  const Shape shape{1600, 1000, 3, 8};  // 4.8 MB: about ten pieces
  // Photograph-like: a fractal surface in each channel.
  VipsImage* surfaces[3] = {};
  for (VipsImage*& surface : surfaces) ASSERT_EQ(vips_fractsurf(&surface, shape.width, shape.height, 2.4, nullptr), 0);
  VipsImage *joined = nullptr, *scaled = nullptr;
  ASSERT_EQ(vips_bandjoin(surfaces, &joined, 3, nullptr), 0);
  ASSERT_EQ(vips_scale(joined, &scaled, nullptr), 0);
  std::size_t photoSize = 0;
  auto* photoBytes = static_cast<uint8_t*>(vips_image_write_to_memory(scaled, &photoSize));
  const std::vector<uint8_t> photo(photoBytes, photoBytes + photoSize);
  g_free(photoBytes);
  for (VipsImage* image : {surfaces[0], surfaces[1], surfaces[2], joined, scaled}) g_object_unref(image);
  const std::vector<uint8_t> pattern = Samples(shape);
  // Noise rows that come back every fifth row: only a deflate that sees the
  // rows before its piece finds them again.
  std::vector<uint8_t> echoes(photo.size());
  uint32_t noise = 7;
  for (std::size_t i = 0; i < shape.RowBytes() * 5; ++i) echoes[i] = uint8_t((noise = noise * 1664525u + 1013904223u) >> 24);
  for (std::size_t i = shape.RowBytes() * 5; i < echoes.size(); ++i) echoes[i] = echoes[i - shape.RowBytes() * 5];
  const struct {
    const char* name;
    const std::vector<uint8_t>& samples;
    std::vector<int> levels;
  } pictures[] = {{"photograph", photo, {1, 6}}, {"repeating pattern", pattern, {6, 9}},
                  {"noise echoing every fifth row", echoes, {6}}};
  for (const auto& picture : pictures) {
    for (int level : picture.levels) {
      SCOPED_TRACE(std::string(picture.name) + " at level " + std::to_string(level));
      const fs::path ours = work_ / "ours.png", libpng = work_ / "libpng.png";
      ASSERT_EQ(WriteWhole(ours.string(), HeaderOf(shape, level), picture.samples.data(), std::ptrdiff_t(shape.RowBytes()), PngTuning{}),
                "");
      WriteWithLibpng(libpng, shape, picture.samples, level);
      const double ratio = double(fs::file_size(ours)) / double(fs::file_size(libpng));
      EXPECT_NEAR(ratio, 1.0, 0.01) << fs::file_size(ours) << " against " << fs::file_size(libpng);
      EXPECT_EQ(ReadWithLibpng(ours).samples, picture.samples);
    }
  }
}

// ---- What the file carries beside its pixels, as libvips reads it.

// What libpng refuses beside the pixels (a profile whose length field lies,
// a comment without a keyword) is left out and said; the rest is written.
TEST_F(PngStreamTest, ProfileResolutionExifXmpAndCommentsReadBackByLibvipsOrLeftOutWhenRefused) {
  VipsBlob* profile = nullptr;
  ASSERT_EQ(vips_profile_load("srgb", &profile, nullptr), 0);
  std::size_t profileLength = 0;
  const void* profileBytes = vips_blob_get(profile, &profileLength);
  const Shape shape{20, 10, 4, 16};
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "with pieces libpng refuses" : "as given");
    PngHeader header = HeaderOf(shape, 6);
    header.iccProfile.assign(static_cast<const char*>(profileBytes), profileLength);
    header.xPixelsPerMetre = 5906;
    header.yPixelsPerMetre = 2953;
    // EXIF as JPEG files carry it, behind "Exif\0\0": a little-endian TIFF
    // header and an IFD of one entry, Artist.
    const std::string tiff("II*\0\x08\0\0\0\x01\0\x3b\x01\x02\0\x04\0\0\0Ann\0\0\0\0\0", 26);
    header.exif = std::string("Exif\0\0", 6) + tiff;
    header.xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    header.comments = {{"Title", "a chart of ours"}, {"Comment", "two words"}};
    if (refused) {
      header.iccProfile[3] = char(header.iccProfile[3] + 4);  // the profile's own length, 4 bytes too many
      header.comments.push_back({"", "a comment without a keyword"});
    }
    const fs::path file = work_ / "tagged.png";
    std::string leftOut;
    ASSERT_EQ(WriteWhole(file.string(), header, Samples(shape).data(), std::ptrdiff_t(shape.RowBytes()), PngTuning{},
                         &leftOut),
              "");
    EXPECT_EQ(leftOut.find("the colour profile (libpng: "), refused ? 0 : std::string::npos) << leftOut;
    EXPECT_EQ(leftOut.find(", the comment \"\" (libpng: ") != std::string::npos, refused) << leftOut;

    VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    auto blob = [&](const char* name) { return testing::BlobOf(image, name); };
    auto text = [&](const char* name) {
      const char* value = nullptr;
      return vips_image_get_string(image, name, &value) == 0 ? std::string(value) : std::string("(none)");
    };
    EXPECT_EQ(blob(VIPS_META_ICC_NAME), refused ? "(none)" : header.iccProfile);
    EXPECT_EQ(blob(VIPS_META_EXIF_NAME), tiff);
    EXPECT_EQ(text("exif-ifd0-Artist").substr(0, 3), "Ann");
    EXPECT_EQ(blob(VIPS_META_XMP_NAME), header.xmp);
    // libvips numbers the text chunks from the XMP on.
    EXPECT_EQ(text("png-comment-1-Title"), "a chart of ours");
    EXPECT_EQ(text("png-comment-2-Comment"), "two words");
    EXPECT_EQ(text("png-comment-3-"), "(none)");
    EXPECT_DOUBLE_EQ(image->Xres, 5.906);
    EXPECT_DOUBLE_EQ(image->Yres, 2.953);
    const Decoded read = ReadWithLibpng(file);
    EXPECT_EQ(read.complaint, "");
    EXPECT_TRUE(read.samples == Samples(shape));
    g_object_unref(image);
  }
  vips_area_unref(VIPS_AREA(profile));
}

// ---- Failures: a one-line reason, and no file that looks whole.

TEST_F(PngStreamTest, FailuresComeBackAsReasonsAndLeaveNoWholeFile) {
  struct Failure {
    const char* name;
    std::string path;
    PngHeader header;
    int rows;  // handed over before Finish
    const char* reason;
  };
  auto header = [](int width, int height, int channels, int depth, int level) {
    return HeaderOf({width, height, channels, depth}, level);
  };
  const std::string file = (work_ / "out.png").string();
  const Failure failures[] = {
      {"no pixels", file, header(0, 4, 3, 8, 6), 0, "no pixels"},
      {"five channels", file, header(4, 4, 5, 8, 6), 0, "5 channels"},
      {"12-bit", file, header(4, 4, 3, 12, 6), 0, "12-bit"},
      {"level 10", file, header(4, 4, 3, 8, 10), 0, "level 10"},
      {"missing folder", (work_ / "nowhere" / "out.png").string(), header(4, 4, 3, 8, 6), 0, "cannot create"},
      {"rows missing", file, header(4, 4, 3, 8, 6), 3, "ended after 3 of 4 rows"},
      {"rows past the end", file, header(4, 4, 3, 8, 6), 5, "5 rows past row 0"},
      {"disk full", "/dev/full", header(64, 64, 3, 8, 6), 64, "No space left"},
      // Written only when the file is closed.
      {"disk full, a picture in stdio's buffer", "/dev/full", header(4, 4, 3, 8, 6), 4, "No space left"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.name);
    fs::remove(file);
    const Shape shape{std::max(f.header.width, 1), f.header.height, 3, 8};
    const std::vector<uint8_t> samples = Samples({shape.width, std::max(f.rows, 1), 3, 8});
    PngStream png;
    std::string why = png.Open(f.path, f.header);
    if (why.empty()) why = png.Write(samples.data(), f.rows, std::ptrdiff_t(shape.RowBytes()));
    if (why.empty()) why = png.Finish();
    EXPECT_NE(why.find(f.reason), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    EXPECT_EQ(png.Finish(), why);  // and stays failed
    if (f.path == file && fs::exists(file)) {
      const auto chunks = PngChunks(FileBytes(file));
      EXPECT_TRUE(chunks.empty() || chunks.back().type != "IEND");
    }
  }
}

}  // namespace
}  // namespace vantrel::pictures
