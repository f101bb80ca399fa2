// JPEG headers through libjpeg: the quantisation tables compared with the
// standard ones scaled for every quality, as libjpeg scales them.
#include "pictures/jpeg_settings.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace vantrel::pictures {
namespace {

// The example tables of the JPEG standard (luminance, chrominance), in
// natural order, which libjpeg scales by quality.
constexpr unsigned kStandard[2][64] = {
    {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99},
    {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
     99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}};

// A standard table entry scaled for `quality`, as a baseline file stores it.
unsigned Scaled(unsigned entry, int quality) {
  const long scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
  const long value = (long(entry) * scale + 50) / 100;
  return unsigned(value < 1 ? 1 : value > 255 ? 255 : value);
}

struct Failure {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void Fail(j_common_ptr info) { std::longjmp(reinterpret_cast<Failure*>(info->err)->jump, 1); }
// Warnings about a damaged header are left to the decoder that reads the
// pixels to report; libjpeg's own would print them on stderr.
void Unsaid(j_common_ptr, int) {}

// The quality whose tables lie nearest to the file's: summed over both
// tables where the file has both.
int NearestQuality(const jpeg_decompress_struct& info) {
  int best = 0;
  unsigned long bestDistance = ~0ul;
  for (int quality = 1; quality <= 100; ++quality) {
    unsigned long distance = 0;
    for (int t = 0; t < 2; ++t) {
      const JQUANT_TBL* table = info.quant_tbl_ptrs[t];
      if (table == nullptr) continue;
      for (int i = 0; i < 64; ++i) distance += unsigned(std::abs(int(table->quantval[i]) - int(Scaled(kStandard[t][i], quality))));
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = quality;
    }
  }
  return best;
}

// The subsampling of a colour file's first plane against the other two:
// 1 both ways (4:4:4), 2 across (4:2:2), 4 both ways (4:2:0); 0 otherwise.
int Subsampling(const jpeg_decompress_struct& info) {
  if (info.num_components != 3) return 0;
  const jpeg_component_info* c = info.comp_info;
  for (int i = 1; i < 3; ++i)
    if (c[i].h_samp_factor != 1 || c[i].v_samp_factor != 1) return 0;
  if (c[0].h_samp_factor == 1 && c[0].v_samp_factor == 1) return 1;
  if (c[0].h_samp_factor == 2 && c[0].v_samp_factor == 1) return 2;
  if (c[0].h_samp_factor == 2 && c[0].v_samp_factor == 2) return 4;
  return 0;
}

// Reads the header from where `source` points libjpeg; false when libjpeg
// cannot. Nothing here has a destructor that libjpeg's jump back past it
// would skip.
bool ReadHeader(void (*source)(j_decompress_ptr, void*), void* from, int& quality, int& subsampling) {
  jpeg_decompress_struct info;
  Failure failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = Fail;
  failure.manager.emit_message = Unsaid;
  if (setjmp(failure.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  source(&info, from);
  jpeg_read_header(&info, TRUE);
  quality = NearestQuality(info);
  subsampling = Subsampling(info);
  jpeg_destroy_decompress(&info);
  return true;
}

struct Memory {
  const uint8_t* bytes;
  std::size_t size;
};

std::string Settings(bool read, int quality, int subsampling, JpegSettings& settings) {
  if (!read) return "not a JPEG header libjpeg can read";
  settings.quality = quality;
  settings.subsampling = subsampling == 1 ? "4:4:4" : subsampling == 2 ? "4:2:2" : subsampling == 4 ? "4:2:0" : "";
  return "";
}

}  // namespace

std::string ReadJpegSettings(const std::string& path, JpegSettings& settings) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot open the file";
  int quality = 0, subsampling = 0;
  const auto fromFile = [](j_decompress_ptr info, void* f) { jpeg_stdio_src(info, static_cast<std::FILE*>(f)); };
  const bool read = ReadHeader(fromFile, file, quality, subsampling);
  std::fclose(file);
  return Settings(read, quality, subsampling, settings);
}

std::string ReadJpegSettings(const uint8_t* bytes, std::size_t size, JpegSettings& settings) {
  Memory memory{bytes, size};
  int quality = 0, subsampling = 0;
  const auto fromMemory = [](j_decompress_ptr info, void* m) {
    const Memory& at = *static_cast<Memory*>(m);
    jpeg_mem_src(info, at.bytes, static_cast<unsigned long>(at.size));
  };
  const bool read = size > 0 && ReadHeader(fromMemory, &memory, quality, subsampling);
  return Settings(read, quality, subsampling, settings);
}

}  // namespace vantrel::pictures
