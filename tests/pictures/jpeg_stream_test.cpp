// JPEG on every core. The writer: its file decodes to the very pixels of
// libvips' jpegsave file at the same settings, at libvips' size, with the
// metadata kept, and a failing or cancelled write leaves no file. The
// decoder: the pixels libvips decodes, with and without restart markers, and
// damage caught.
#include <gtest/gtest.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pictures/jpeg_rows.h"
#include "pictures/jpeg_stream.h"
#include "pictures/picture.h"
#include "tests/pictures/written_files.h"
#include "tests/support/png_chunks.h"

namespace vantrel::pictures {
namespace {

namespace fs = std::filesystem;
using testing::FileBytes;

// 8-bit samples, smooth in places and noisy in others.
std::vector<uint8_t> Samples(int width, int height, int channels) {
  std::vector<uint8_t> bytes(std::size_t(width) * height * channels);
  uint32_t noise = 2024;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    noise = noise * 1664525u + 1013904223u;
    const std::size_t pixel = i / channels, x = pixel % width, y = pixel / width;
    bytes[i] = (x / 8 + y / 8) % 3 == 0 ? uint8_t(noise >> 24) : uint8_t(x * (i % channels + 1) + y * 3);
  }
  return bytes;
}

VipsImage* Wrapped(const std::vector<uint8_t>& samples, int width, int height, int channels) {
  VipsImage* memory = vips_image_new_from_memory(samples.data(), samples.size(), width, height, channels,
                                                 VIPS_FORMAT_UCHAR);
  VipsImage* out = nullptr;
  vips_copy(memory, &out, "interpretation", channels == 4 ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB,
            nullptr);
  g_object_unref(memory);
  return out;
}

// libvips' jpegsave file of `samples`.
void SaveWithVips(const fs::path& file, const std::vector<uint8_t>& samples, int width, int height, int channels,
                  int quality, bool subsampled, int restartInterval = 0) {
  VipsImage* image = Wrapped(samples, width, height, channels);
  ASSERT_NE(image, nullptr);
  const int saved = vips_jpegsave(image, file.c_str(), "Q", quality, "subsample_mode",
                                  subsampled ? VIPS_FOREIGN_SUBSAMPLE_ON : VIPS_FOREIGN_SUBSAMPLE_OFF,
                                  "restart_interval", restartInterval, nullptr);
  g_object_unref(image);
  ASSERT_EQ(saved, 0) << vips_error_buffer();
}

// The samples libvips (libjpeg-turbo) decodes from `file`.
std::vector<uint8_t> DecodedByVips(const fs::path& file) {
  VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
  if (image == nullptr) return {};
  std::size_t size = 0;
  void* bytes = vips_image_write_to_memory(image, &size);
  std::vector<uint8_t> samples(static_cast<uint8_t*>(bytes), static_cast<uint8_t*>(bytes) + size);
  g_free(bytes);
  g_object_unref(image);
  return samples;
}

class JpegStreamTest : public testing::WrittenFilesTest {
 protected:
  // Writes `samples` through our writer, `bandRows` rows at a time.
  static std::string Write(const fs::path& file, const JpegHeader& header, const std::vector<uint8_t>& samples,
                           const JpegTuning& tuning, int bandRows) {
    JpegStream jpeg;
    std::string why = jpeg.Open(file.string(), header, tuning);
    const std::size_t rowBytes = std::size_t(header.width) * header.channels;
    for (int y = 0; why.empty() && y < header.height; y += bandRows)
      why = jpeg.Write(samples.data() + rowBytes * y, std::min(bandRows, header.height - y), std::ptrdiff_t(rowBytes));
    return why.empty() ? jpeg.Finish() : why;
  }
};

// ---- The writer.

struct WriterCase {
  const char* name;
  int width, height, channels, quality;
  bool subsampled;
  int stripRows;  // 0: the default
  int bandRows;   // rows handed over at a time
};

TEST_F(JpegStreamTest, DecodesToThePixelsOfLibvipsFileAtItsSizeWhateverTheThreads) {
  const WriterCase cases[] = {
      {"4:2:0, sides not a multiple of the MCU", 77, 53, 3, 75, true, 16, 7},
      {"4:4:4 at quality 90", 61, 45, 3, 90, false, 8, 45},
      {"4:2:0 asked for at quality 95", 40, 41, 3, 95, true, 20, 3},
      {"CMYK, stored inverted", 35, 29, 4, 80, false, 8, 5},
      {"one row", 50, 1, 3, 75, true, 0, 1},
      {"one column", 1, 40, 3, 75, true, 16, 40},
      {"photograph-sized strips, the default cut", 900, 700, 3, 75, true, 0, 64},
      // Restart markers count RST0 to RST7 and start again.
      {"more strips than restart marker numbers", 120, 300, 3, 80, true, 16, 50},
  };
  for (const WriterCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> samples = Samples(c.width, c.height, c.channels);
    const fs::path theirs = work_ / "vips.jpg", ours = work_ / "ours.jpg", oneThread = work_ / "one.jpg";
    SaveWithVips(theirs, samples, c.width, c.height, c.channels, c.quality, c.subsampled);
    JpegHeader header;
    header.width = c.width;
    header.height = c.height;
    header.channels = c.channels;
    header.quality = c.quality;
    header.subsampled = c.subsampled;
    ASSERT_EQ(Write(ours, header, samples, JpegTuning{3, c.stripRows}, c.bandRows), "");
    ASSERT_EQ(Write(oneThread, header, samples, JpegTuning{1, c.stripRows}, c.height), "");
    const std::vector<uint8_t> expected = DecodedByVips(theirs);
    ASSERT_FALSE(expected.empty());
    // libjpeg reads our file without a warning.
    const testing::Decoded decoded = testing::ReadWithVips(ours);
    EXPECT_EQ(decoded.complaint, "");
    EXPECT_TRUE(decoded.samples == expected);
    EXPECT_TRUE(FileBytes(ours) == FileBytes(oneThread));
    // Beside the pixels, libvips writes an EXIF block of its own.
    if (c.width * c.height > 100000) {
      EXPECT_NEAR(double(fs::file_size(ours)), double(fs::file_size(theirs)), 0.01 * double(fs::file_size(theirs)));
    }
  }
}

// A block too large for its marker is left out and said; the rest is written.
TEST_F(JpegStreamTest, ProfileExifXmpAndIptcReadBackByLibvipsOrLeftOutWhenTooLarge) {
  VipsBlob* profile = nullptr;
  ASSERT_EQ(vips_profile_load("srgb", &profile, nullptr), 0);
  std::size_t profileLength = 0;
  const void* profileBytes = vips_blob_get(profile, &profileLength);
  for (const bool tooLarge : {false, true}) {
    SCOPED_TRACE(tooLarge ? "with an XMP block too large for a marker" : "as given");
    JpegHeader header;
    header.width = 24;
    header.height = 16;
    header.iccProfile.assign(static_cast<const char*>(profileBytes), profileLength);
    // A little-endian TIFF header and an IFD of one entry: Orientation 6.
    header.exif = std::string("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    header.xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    if (tooLarge) header.xmp += std::string(70000, ' ');
    // IPTC as JPEG files carry it: Photoshop's resource block.
    header.iptc = std::string("Photoshop 3.0\0008BIM\x04\x04\0\0\0\0\0\0", 26);
    const fs::path file = work_ / "tagged.jpg";
    std::string leftOut;
    ASSERT_EQ(WriteWhole(file.string(), header, Samples(24, 16, 3).data(), 24 * 3, JpegTuning{}, &leftOut), "");
    EXPECT_EQ(leftOut, tooLarge ? "the XMP block (70066 bytes; a JPEG marker holds at most 65533)" : "");

    VipsImage* image = vips_image_new_from_file(file.c_str(), nullptr);
    ASSERT_NE(image, nullptr);
    auto blob = [&](const char* name) { return testing::BlobOf(image, name); };
    int orientation = 0;
    EXPECT_EQ(blob(VIPS_META_ICC_NAME), header.iccProfile);
    EXPECT_EQ(blob(VIPS_META_EXIF_NAME), "Exif" + std::string(2, '\0') + header.exif);
    EXPECT_EQ(vips_image_get_int(image, VIPS_META_ORIENTATION, &orientation), 0);
    EXPECT_EQ(orientation, 6);
    EXPECT_EQ(blob(VIPS_META_XMP_NAME), tooLarge ? "(none)" : header.xmp);
    EXPECT_EQ(blob(VIPS_META_IPTC_NAME), header.iptc);
    g_object_unref(image);
  }
  vips_area_unref(VIPS_AREA(profile));
}

// A picture that came without EXIF (a TIFF) gets one, as libvips makes it,
// that keeps its orientation and resolution.
TEST_F(JpegStreamTest, OrientationAndResolutionOfAPictureWithoutExifKeptInOneMadeForIt) {
  const std::vector<uint8_t> samples = Samples(20, 12, 3);
  VipsImage* image = Wrapped(samples, 20, 12, 3);
  VipsImage* tagged = nullptr;
  ASSERT_EQ(vips_copy(image, &tagged, "xres", 300 / 25.4, "yres", 150 / 25.4, nullptr), 0);
  vips_image_set_int(tagged, VIPS_META_ORIENTATION, 8);
  const fs::path tiff = work_ / "tagged.tif", jpeg = work_ / "out.jpg";
  ASSERT_EQ(vips_image_write_to_file(tagged, tiff.c_str(), nullptr), 0);
  g_object_unref(tagged);
  g_object_unref(image);
  Picture picture;
  ASSERT_EQ(ReadPicture(tiff.string(), picture), "");
  ASSERT_EQ(WritePicture(picture, picture.pixels, jpeg.string(), SaveOptions{}), "");
  VipsImage* out = vips_image_new_from_file(jpeg.c_str(), nullptr);
  ASSERT_NE(out, nullptr);
  int orientation = 0;
  EXPECT_EQ(vips_image_get_int(out, VIPS_META_ORIENTATION, &orientation), 0);
  EXPECT_EQ(orientation, 8);
  EXPECT_NEAR(out->Xres * 25.4, 300, 0.01);
  EXPECT_NEAR(out->Yres * 25.4, 150, 0.01);
  g_object_unref(out);
}

TEST_F(JpegStreamTest, AFailingOrCancelledWriteLeavesNoFile) {
  struct Failure {
    const char* name;
    std::string path;
    int width, height, channels, quality;
    int rows;  // handed over before Finish; -1: dropped after the first row
    const char* reason;
  };
  const std::string file = (work_ / "out.jpg").string();
  const Failure failures[] = {
      {"no pixels", file, 0, 4, 3, 75, 0, "no pixels"},
      {"five channels", file, 4, 4, 5, 75, 0, "5 channels"},
      {"quality 0", file, 4, 4, 3, 0, 0, "quality 0"},
      {"missing folder", (work_ / "nowhere" / "out.jpg").string(), 4, 4, 3, 75, 0, "cannot create"},
      {"rows missing", file, 40, 40, 3, 75, 39, "ended after 39 of 40 rows"},
      {"rows past the end", file, 4, 4, 3, 75, 5, "5 rows past row 0"},
      {"disk full", "/dev/full", 256, 256, 3, 75, 256, "No space left"},
      // Written only when the file is closed.
      {"disk full, a picture in stdio's buffer", "/dev/full", 4, 4, 3, 75, 4, "No space left"},
      {"cancelled", file, 40, 40, 3, 75, -1, ""},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.name);
    const std::vector<uint8_t> samples = Samples(std::max(f.width, 1), std::max(f.rows, 1), 3);
    JpegHeader header;
    header.width = f.width;
    header.height = f.height;
    header.channels = f.channels;
    header.quality = f.quality;
    {
      JpegStream jpeg;
      std::string why = jpeg.Open(f.path, header, JpegTuning{2, 8});
      if (why.empty()) why = jpeg.Write(samples.data(), std::max(f.rows, 1), std::ptrdiff_t(header.width) * 3);
      if (f.rows < 0) continue;  // dropped unfinished
      if (why.empty()) why = jpeg.Finish();
      EXPECT_NE(why.find(f.reason), std::string::npos) << why;
      EXPECT_EQ(why.find('\n'), std::string::npos) << why;
      EXPECT_EQ(jpeg.Finish(), why);  // and stays failed
    }
    EXPECT_FALSE(fs::exists(file));
  }
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(fs::exists("/dev/full"));
}

// ---- The decoder.

// Every row the tool reads from `file`, by OpenRows.
std::vector<uint8_t> ReadRows(const fs::path& file, std::string& why) {
  PictureInfo info;
  std::unique_ptr<RowReader> reader;
  why = OpenRows(file.string(), info, reader);
  if (!why.empty()) return {};
  std::vector<uint8_t> rows(std::size_t(info.width) * info.height * info.planes);
  const std::ptrdiff_t stride = std::ptrdiff_t(info.width) * info.planes;
  for (int y = 0; why.empty() && y < info.height; y += 37)
    why = reader->Read(rows.data() + y * stride, std::min(37, info.height - y), stride);
  return rows;
}

// Every row of `file` by our decoder on three threads, or the reason.
std::string ReadInPieces(const fs::path& file, bool acceptDamage, std::vector<uint8_t>& rows, bool& inPieces) {
  JpegRows jpeg;
  std::string why = jpeg.Open(file.string(), JpegReadTuning{3, acceptDamage});
  inPieces = jpeg.inPieces();
  if (!why.empty() || !inPieces) return why;
  const std::ptrdiff_t stride = std::ptrdiff_t(jpeg.width()) * jpeg.channels();
  rows.assign(std::size_t(stride) * jpeg.height(), 0);
  for (int y = 0; why.empty() && y < jpeg.height(); y += 29)
    why = jpeg.Read(rows.data() + y * stride, std::min(29, jpeg.height() - y), stride);
  return why;
}

// Reads `file` by our decoder, which must take it without a word, in pieces
// or not as `inPieces` says; what it reads in pieces is libvips' decode.
void ExpectReadAsLibvipsReadsIt(const fs::path& file, bool inPieces) {
  std::vector<uint8_t> rows;
  bool taken = false;
  ASSERT_EQ(ReadInPieces(file, false, rows, taken), "");
  EXPECT_EQ(taken, inPieces);
  if (taken) {
    EXPECT_TRUE(rows == DecodedByVips(file));
  }
}

struct DecoderCase {
  const char* name;
  int width, height, channels;
  bool subsampled;
  int interval;  // MCUs between restart markers; 0: none
  bool inPieces;
};

TEST_F(JpegStreamTest, DecoderGivesLibvipsPixelsWithAndWithoutRestartMarkers) {
  const DecoderCase cases[] = {
      {"4:2:0, a restart every MCU row", 330, 300, 3, true, 21, true},
      {"4:2:0, restarts on a row start every other row", 320, 600, 3, true, 40, true},
      {"4:2:0, restarts inside the rows", 320, 300, 3, true, 5, true},
      {"4:4:4, a restart every MCU row", 200, 150, 3, false, 25, true},
      {"CMYK, stored inverted", 120, 200, 4, false, 15, true},
      {"no restart markers", 300, 300, 3, true, 0, false},
      {"restarts too seldom on a row start", 320, 300, 3, true, 7, false},
  };
  for (const DecoderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = work_ / "in.jpg";
    SaveWithVips(file, Samples(c.width, c.height, c.channels), c.width, c.height, c.channels, 85, c.subsampled,
                 c.interval);
    ExpectReadAsLibvipsReadsIt(file, c.inPieces);
    // Through the tool's reader, in the host's convention.
    Picture whole;
    ASSERT_EQ(ReadPicture(file.string(), whole), "");
    std::string why;
    const std::vector<uint8_t> rowsRead = ReadRows(file, why);
    EXPECT_TRUE(std::equal(rowsRead.begin(), rowsRead.end(), whole.pixels.pixels.begin(), whole.pixels.pixels.end()));
    EXPECT_EQ(why, "");
  }
}

// Sound files of odd layout: read in pieces, libvips' pixels; or left to
// libvips, which reads them without a complaint.
TEST_F(JpegStreamTest, DecoderReadsOddButSoundLayouts) {
  const fs::path file = work_ / "in.jpg";
  SaveWithVips(file, Samples(200, 150, 3), 200, 150, 3, 85, false, 25);
  const std::string bytes = FileBytes(file);
  // TEM after the start marker, then an APP0 segment: a length read after
  // TEM (0xFFE0) would lead into the segment's data, to what reads as the
  // frame header of a smaller picture.
  std::string segment = "\xFF\xE0\xFF\xFD" + std::string(65531, '\0');
  segment.replace(65508 - 4, 19, std::string("\xFF\xC0\x00\x11\x08\x00\x10\x00\x10\x03\x01\x11\x00\x02\x11\x01\x03\x11\x01", 19));
  std::string tem = bytes, restartAtTheEnd = bytes, noEndMarker = bytes.substr(0, bytes.size() - 2) + "            ";
  tem.insert(2, "\xFF\x01" + segment);
  restartAtTheEnd.insert(restartAtTheEnd.size() - 2, "\xFF\xD3");
  const struct {
    const char* name;
    std::string bytes;
    bool inPieces;
  } cases[] = {
      {"TEM before a segment holding a frame header's bytes", tem, true},
      {"a restart marker after the last interval", restartAtTheEnd, false},
      // Bytes after the data, none of them a marker: libjpeg does not read so far.
      {"no end marker", noEndMarker, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.bytes;
    ExpectReadAsLibvipsReadsIt(file, c.inPieces);
    std::string why;
    const std::vector<uint8_t> rowsRead = ReadRows(file, why);
    EXPECT_EQ(why, "");
    EXPECT_TRUE(rowsRead == DecodedByVips(file));
  }
}

TEST_F(JpegStreamTest, DecoderStopsAtTheFirstSignOfDamageUnlessDamageIsAccepted) {
  // Where the fourth restart marker of `bytes` is.
  auto fourthMarker = [](const std::string& bytes) {
    std::size_t marker = 0;
    for (std::size_t i = 0, seen = 0; i + 1 < bytes.size() && seen < 4; ++i)
      if (uint8_t(bytes[i]) == 0xFF && uint8_t(bytes[i + 1]) >= 0xD0 && uint8_t(bytes[i + 1]) <= 0xD7 && ++seen == 4)
        marker = i;
    return marker;
  };
  const fs::path good = work_ / "good.jpg", plain = work_ / "plain.jpg";
  SaveWithVips(good, Samples(320, 300, 3), 320, 300, 3, 85, true, 20);
  // 4:4:4, a restart every two MCU rows: on three threads each run is two
  // intervals, and no run decodes rows of the next to upsample from.
  SaveWithVips(plain, Samples(80, 256, 3), 80, 256, 3, 85, false, 20);
  const std::string bytes = FileBytes(good);
  const std::size_t marker = fourthMarker(bytes);
  ASSERT_NE(marker, 0u);
  struct Damage {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  std::string outOfTurn = bytes, shortInterval = bytes, longInterval = bytes, header = bytes, runEnd = FileBytes(plain);
  header.insert(2, "\x01\x02\x03");  // between the start marker and the next
  outOfTurn[marker + 1] = char(0xD6);
  shortInterval.erase(marker - 60, 40);
  longInterval.insert(marker - 30, 40, char(0x5A));
  runEnd.insert(fourthMarker(runEnd), 40, char(0x5A));  // where the second run ends
  const Damage damages[] = {
      {"cut short", bytes.substr(0, bytes.size() * 2 / 3), "ends before its last restart interval"},
      {"a restart marker out of its turn", outOfTurn, "restart marker 6 out of its turn"},
      {"an interval short of data", shortInterval, "Corrupt JPEG data"},
      {"an interval with bytes too many", longInterval, "Corrupt JPEG data"},
      {"bytes between the header's markers", header, "Corrupt JPEG data: 3 extraneous bytes"},
      {"bytes left over at the end of a run", runEnd, "extraneous bytes"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    const fs::path file = work_ / "damaged.jpg";
    std::ofstream(file, std::ios::binary) << d.bytes;
    std::vector<uint8_t> rows;
    bool inPieces = false;
    const std::string why = ReadInPieces(file, false, rows, inPieces);
    EXPECT_NE(why.find(d.reason), std::string::npos) << why;
    EXPECT_EQ(why.find('\n'), std::string::npos) << why;
    // Accepted, it decodes what it can here, or leaves the file to libvips.
    EXPECT_EQ(ReadInPieces(file, true, rows, inPieces), "");
  }
}

}  // namespace
}  // namespace vantrel::pictures
