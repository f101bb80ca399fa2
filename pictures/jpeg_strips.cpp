// The strips of jpeg_strips.h. libjpeg-turbo encodes every strip as a
// picture of its own, whole MCU rows high, with the restart interval of the
// whole file; the first strip's encoder also writes the markers beside the
// pixels. What is ours is the cutting and the taking apart of each strip's
// output: its header up to the scan, its entropy-coded data, its end.
#include "pictures/jpeg_strips.h"

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <utility>

#include "pictures/jpeg_markers.h"

namespace vantrel::pictures {
namespace {

// A marker's largest payload.
constexpr std::size_t kMarkerBytes = 65533;
constexpr char kXmpNamespace[] = "http://ns.adobe.com/xap/1.0/";

// libjpeg reports an error by calling error_exit, which must not return: it
// jumps back to where the encoder's caller called setjmp.
struct Encoder {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
  unsigned char* output = nullptr;  // malloc'd by libjpeg's memory destination
  unsigned long outputSize = 0;
};

[[noreturn]] void OnError(j_common_ptr info) {
  auto* encoder = static_cast<Encoder*>(info->client_data);
  info->err->format_message(info, encoder->message);
  std::longjmp(encoder->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

// What the APP1 markers carry: the EXIF block behind its "Exif" name, and
// the XMP block behind its namespace; "" when there is none.
std::string ExifPayload(const JpegHeader& h) {
  if (h.exif.empty()) return "";
  const bool framed = h.exif.size() >= 6 && h.exif.compare(0, 6, std::string("Exif\0\0", 6)) == 0;
  return framed ? h.exif : std::string("Exif\0\0", 6) + h.exif;
}
std::string XmpPayload(const JpegHeader& h) {
  return h.xmp.empty() ? "" : std::string(kXmpNamespace, sizeof kXmpNamespace) + h.xmp;
}

// The markers beside the pixels, as libvips writes them; a block too large
// for its marker is left out (see OversizedJpegBlocks).
void WriteMarkers(Encoder& e, const JpegHeader& h) {
  auto write = [&](int marker, const std::string& payload) {
    if (!payload.empty() && payload.size() <= kMarkerBytes)
      jpeg_write_marker(&e.info, marker, reinterpret_cast<const JOCTET*>(payload.data()), unsigned(payload.size()));
  };
  write(JPEG_APP0 + 1, ExifPayload(h));
  write(JPEG_APP0 + 1, XmpPayload(h));
  write(JPEG_APP0 + 13, h.iptc);
  if (!h.iccProfile.empty())
    jpeg_write_icc_profile(&e.info, reinterpret_cast<const JOCTET*>(h.iccProfile.data()),
                           unsigned(h.iccProfile.size()));
}

// Encodes `rows` rows of `pixels` as a JPEG of their own into `e.output`;
// answers "" or libjpeg's reason. No object that needs destroying lives
// between the setjmp and the calls that may jump back to it.
std::string Encode(Encoder& e, const JpegHeader& h, unsigned restartInterval, const uint8_t* pixels, int rows,
                   bool first, std::vector<JSAMPROW>& rowPointers) {
  e.info.err = jpeg_std_error(&e.errors);
  e.errors.error_exit = OnError;
  e.errors.emit_message = OnMessage;
  e.info.client_data = &e;
  if (setjmp(e.jump) != 0) {
    jpeg_destroy_compress(&e.info);
    return std::string("libjpeg failed: ") + e.message;
  }
  jpeg_create_compress(&e.info);
  jpeg_mem_dest(&e.info, &e.output, &e.outputSize);
  e.info.image_width = JDIMENSION(h.width);
  e.info.image_height = JDIMENSION(rows);
  e.info.input_components = h.channels;
  e.info.in_color_space = h.channels == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&e.info);
  e.info.write_JFIF_header = FALSE;
  jpeg_set_quality(&e.info, h.quality, TRUE);
  if (h.channels != 3 || !h.subsampled)
    for (int c = 0; c < e.info.num_components; ++c) e.info.comp_info[c].h_samp_factor = e.info.comp_info[c].v_samp_factor = 1;
  e.info.restart_interval = restartInterval;
  jpeg_start_compress(&e.info, TRUE);
  if (first) WriteMarkers(e, h);
  const std::size_t rowBytes = std::size_t(h.width) * std::size_t(h.channels);
  for (int r = 0; r < rows; ++r) rowPointers[std::size_t(r)] = const_cast<JSAMPROW>(pixels + std::size_t(r) * rowBytes);
  while (e.info.next_scanline < e.info.image_height)
    jpeg_write_scanlines(&e.info, rowPointers.data() + e.info.next_scanline, e.info.image_height - e.info.next_scanline);
  jpeg_finish_compress(&e.info);
  jpeg_destroy_compress(&e.info);
  return "";
}

}  // namespace

std::string CheckJpegHeader(const JpegHeader& h) {
  if (h.width < 1 || h.height < 1) return "the picture has no pixels";
  if (h.width > 65535 || h.height > 65535) return "JPEG holds at most 65535 pixels a side";
  if (h.channels != 3 && h.channels != 4) return std::to_string(h.channels) + " channels; the writer takes 3 or 4";
  if (h.quality < 1 || h.quality > 100) return "quality " + std::to_string(h.quality) + " is not 1 to 100";
  return "";
}

JpegCut CutJpeg(const JpegHeader& h, int stripRows, std::size_t stripBytes) {
  JpegCut cut;
  cut.mcuRows = h.channels == 3 && h.subsampled ? 16 : 8;
  const std::size_t rowBytes = std::size_t(std::max(h.width, 1)) * std::size_t(h.channels);
  const unsigned mcusPerRow = unsigned((std::max(h.width, 1) + cut.mcuRows - 1) / cut.mcuRows);
  // A strip's MCUs are counted in 16 bits.
  const int mostMcuRows = int(std::max(1u, 65535u / mcusPerRow));
  int stripMcuRows = stripRows > 0 ? (stripRows + cut.mcuRows - 1) / cut.mcuRows
                                   : int(std::max<std::size_t>(1, stripBytes / (rowBytes * std::size_t(cut.mcuRows))));
  stripMcuRows = std::clamp(stripMcuRows, 1, mostMcuRows);
  cut.stripRows = stripMcuRows * cut.mcuRows;
  cut.restartInterval = unsigned(stripMcuRows) * mcusPerRow;
  return cut;
}

std::string OversizedJpegBlocks(const JpegHeader& h) {
  std::string what;
  const std::pair<const char*, std::size_t> blocks[] = {
      {"the EXIF block", ExifPayload(h).size()}, {"the XMP block", XmpPayload(h).size()}, {"the IPTC block", h.iptc.size()}};
  for (const auto& [name, size] : blocks)
    if (size > kMarkerBytes)
      what += (what.empty() ? "" : ", ") + std::string(name) + " (" + std::to_string(size) +
              " bytes; a JPEG marker holds at most " + std::to_string(kMarkerBytes) + ")";
  return what;
}

std::string EncodeJpegStrip(const JpegHeader& h, const JpegCut& cut, int index, const uint8_t* pixels, int rows,
                            JpegStrip& strip) {
  std::vector<JSAMPROW> rowPointers(std::size_t(std::max(rows, 0)));
  Encoder e;
  const std::string why = Encode(e, h, cut.restartInterval, pixels, rows, index == 0, rowPointers);
  std::unique_ptr<unsigned char, void (*)(void*)> output(e.output, std::free);
  if (!why.empty()) return why;
  const uint8_t* bytes = output.get();
  const std::size_t size = e.outputSize;
  const JpegMarkers layout = WalkJpegMarkers(bytes, size);
  if (layout.data == 0 || layout.frame == 0 || size < layout.data + 2 || bytes[size - 2] != 0xFF ||
      bytes[size - 1] != 0xD9)
    return "libjpeg wrote an unexpected layout";
  strip.head.clear();
  if (index == 0) {
    strip.head.assign(bytes, bytes + layout.data);
    // The whole picture's height in the frame header.
    strip.head[layout.frame + 5] = uint8_t(h.height >> 8);
    strip.head[layout.frame + 6] = uint8_t(h.height);
  }
  strip.entropy.assign(bytes + layout.data, bytes + size - 2);
  return "";
}

}  // namespace vantrel::pictures
