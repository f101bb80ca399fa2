// What a JPEG file of ours holds beside its pixels and how it is encoded,
// shared by the writer on every core (jpeg_stream.h) and the strips it and
// the page encode (jpeg_strips.h).
#pragma once

#include <string>

namespace vantrel::pictures {

// libvips' jpegsave defaults (a JPEG header's own, not the tool's: see
// kDefaultJpegQuality): quality 75, and chroma subsampled (4:2:0) below
// quality 90, kept whole (4:4:4) from 90 on.
constexpr int kLibvipsJpegQuality = 75;
inline bool JpegSubsampledAt(int quality) { return quality < 90; }

struct JpegHeader {
  int width = 0;
  int height = 0;
  // 3: RGB, stored as YCbCr. 4: CMYK as files hold it (0 = no ink), stored
  // inverted under the Adobe marker, as libvips and Photoshop store it.
  int channels = 3;
  int quality = kLibvipsJpegQuality;  // 1 to 100, libjpeg's scaling of its standard tables
  bool subsampled = true;             // RGB: chroma at half size both ways (4:2:0), else 4:4:4
  std::string exif;        // APP1 when not empty; "Exif\0\0" put in front when missing
  std::string xmp;         // APP1 behind the XMP namespace, when not empty
  std::string iptc;        // APP13 when not empty
  std::string iccProfile;  // APP2 in pieces when not empty
};

}  // namespace vantrel::pictures
