// Build tool: turns a cursor drawn in text into a 32 x 32 monochrome .cur file.
//
// Usage: cursor_maker DRAWING.txt OUTPUT.cur
//
// The drawing file holds, one per line:
//   ; comment                       (ignored, as are empty lines)
//   hotspot X Y                     (the click point, 0-based, from the top left)
//   rows of pixels, top row first:  '.' transparent, '#' black, 'o' white
// Rows may be shorter than 32 pixels and there may be fewer than 32 of them;
// every pixel not drawn is transparent. All rows must have the same width.
//
// The tool runs on the build machine while the Windows library is built, so it
// uses nothing beyond the standard library.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 32;                  // cursor width and height in pixels
constexpr int kRowBytes = kSize / 8;       // one bit per pixel, rows of whole 32-bit words
constexpr int kMaskBytes = kRowBytes * kSize;
constexpr int kInfoHeaderBytes = 40;
constexpr int kPaletteBytes = 2 * 4;       // black and white
constexpr int kImageBytes = kInfoHeaderBytes + kPaletteBytes + 2 * kMaskBytes;
constexpr int kDirectoryBytes = 6 + 16;    // file header and one image entry

struct Drawing {
  int hotX = -1;
  int hotY = -1;
  std::vector<std::string> rows;
};

bool Fail(const std::string& where, const std::string& why) {
  std::fprintf(stderr, "cursor_maker: %s: %s\n", where.c_str(), why.c_str());
  return false;
}

bool ReadDrawing(const char* path, Drawing& drawing) {
  std::ifstream in(path);
  if (!in) return Fail(path, "cannot open");
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    const std::string where = std::string(path) + ":" + std::to_string(lineNumber);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line.rfind("hotspot", 0) == 0) {
      std::istringstream fields(line.substr(7));
      if (!(fields >> drawing.hotX >> drawing.hotY)) return Fail(where, "hotspot needs X and Y");
      continue;
    }
    if (line.find_first_not_of(".#o") != std::string::npos) return Fail(where, "pixels are '.', '#' or 'o'");
    if (!drawing.rows.empty() && line.size() != drawing.rows[0].size()) return Fail(where, "rows differ in width");
    drawing.rows.push_back(line);
  }
  if (drawing.rows.empty()) return Fail(path, "no pixel rows");
  if (drawing.rows.size() > kSize || drawing.rows[0].size() > kSize) return Fail(path, "larger than 32 x 32");
  if (drawing.hotX < 0 || drawing.hotY < 0 || drawing.hotX >= kSize || drawing.hotY >= kSize)
    return Fail(path, "hotspot missing or outside 32 x 32");
  return true;
}

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// The pixel at (x, y), '.' where nothing is drawn.
char PixelAt(const Drawing& drawing, int x, int y) {
  if (y >= static_cast<int>(drawing.rows.size())) return '.';
  const std::string& row = drawing.rows[y];
  return x < static_cast<int>(row.size()) ? row[x] : '.';
}

// The colour bit (set: white) or the transparency bit (set: screen shows
// through) of every pixel, bottom row first as bitmaps store them.
void PutMask(std::vector<std::uint8_t>& out, const Drawing& drawing, bool transparency) {
  for (int y = kSize - 1; y >= 0; --y) {
    for (int byte = 0; byte < kRowBytes; ++byte) {
      std::uint8_t bits = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const char pixel = PixelAt(drawing, byte * 8 + bit, y);
        const bool set = transparency ? pixel == '.' : pixel == 'o';
        if (set) bits |= static_cast<std::uint8_t>(0x80 >> bit);
      }
      out.push_back(bits);
    }
  }
}

std::vector<std::uint8_t> CursorFile(const Drawing& drawing) {
  std::vector<std::uint8_t> out;
  // File header: reserved, type 2 (cursor), one image.
  Put16(out, 0);
  Put16(out, 2);
  Put16(out, 1);
  // Image entry: size, two colours, hot spot, byte count and offset of the image.
  out.push_back(kSize);
  out.push_back(kSize);
  out.push_back(2);
  out.push_back(0);
  Put16(out, static_cast<unsigned>(drawing.hotX));
  Put16(out, static_cast<unsigned>(drawing.hotY));
  Put32(out, kImageBytes);
  Put32(out, kDirectoryBytes);
  // Bitmap header; the height counts both masks.
  Put32(out, kInfoHeaderBytes);
  Put32(out, kSize);
  Put32(out, 2 * kSize);
  Put16(out, 1);  // planes
  Put16(out, 1);  // bits per pixel
  Put32(out, 0);  // uncompressed
  Put32(out, 2 * kMaskBytes);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 2);  // colours used
  Put32(out, 0);
  // Palette: index 0 black, index 1 white.
  Put32(out, 0x00000000);
  Put32(out, 0x00FFFFFF);
  PutMask(out, drawing, false);
  PutMask(out, drawing, true);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cursor_maker DRAWING.txt OUTPUT.cur\n");
    return 2;
  }
  Drawing drawing;
  if (!ReadDrawing(argv[1], drawing)) return 1;
  const std::vector<std::uint8_t> bytes = CursorFile(drawing);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cursor_maker: %s: cannot write\n", argv[2]);
    return 1;
  }
  return 0;
}
