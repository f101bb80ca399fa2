// The TIFF writer of tiff_stream.h. libtiff writes the file: the header, the
// raw strips we hand it in order, the directory with its tags and strip
// offsets; zlib compresses. What is ours is the sharing out of the strips and
// the horizontal differencing, which libtiff applies only inside its own
// encoder. libtiff deflates a strip whose rows come one at a time with zlib,
// and a strip of one row, handed over whole, with libdeflate: we do the same,
// so that the strips are the very bytes it writes.
#include "pictures/tiff_stream.h"

#include "pictures/piece_line.h"

#include <libdeflate.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace vantrel::pictures {
namespace {

// A strip on its way through a worker.
struct Strip : PieceRows {         // raw: freed once predicted
  uint32_t index = 0;
  std::vector<uint8_t> compressed;  // a zlib stream, as libtiff's deflate codec writes it
};

// Horizontal differencing as libtiff's predictor 2 applies it: each sample
// less the same sample of the pixel to its left, row by row, the first pixel
// of a row kept; on 16-bit samples in the machine's order, wrapping.
void Predict(const uint8_t* in, uint8_t* out, std::size_t rowBytes, int rows, int samples, int bitDepth) {
  const std::size_t lead = std::min(rowBytes, std::size_t(samples) * std::size_t(bitDepth / 8));
  for (int r = 0; r < rows; ++r) {
    const uint8_t* x = in + std::size_t(r) * rowBytes;
    uint8_t* y = out + std::size_t(r) * rowBytes;
    std::memcpy(y, x, lead);
    if (bitDepth == 8) {
      for (std::size_t i = lead; i < rowBytes; ++i) y[i] = uint8_t(x[i] - x[i - lead]);
    } else {
      for (std::size_t i = lead; i < rowBytes; i += 2) {
        uint16_t a, b;
        std::memcpy(&a, x + i, 2);
        std::memcpy(&b, x + i - lead, 2);
        const uint16_t d = uint16_t(a - b);
        std::memcpy(y + i, &d, 2);
      }
    }
  }
}

}  // namespace

template <>
struct TiffStream::State : LineState<Strip> {
  TiffHeader header;
  std::size_t rowBytes = 0;

  std::FILE* file = nullptr;
  TIFF* tif = nullptr;
  std::string tiffMessage;  // libtiff's last error
  int writeErrno = 0;       // errno of a failed write
  bool abandoned = false;   // no more bytes reach the file

  uint32_t nextStrip = 0;

  ~State() {
    line.Stop();
    // A file given up on gets no directory: libtiff's last writes are refused.
    abandoned = true;
    if (tif != nullptr) TIFFClose(tif);
    if (file != nullptr) std::fclose(file);
  }

  std::string TiffReason(const char* what) const { return LibraryReason(writeErrno, what, tiffMessage); }

  // ---- Workers.

  void Process(Strip& strip) {
    try {
      std::vector<uint8_t> predicted(strip.raw.size());
      Predict(strip.raw.data(), predicted.data(), rowBytes, strip.rows, header.samples, header.bitDepth);
      std::vector<uint8_t>().swap(strip.raw);
      if (strip.rows == 1) {
        // A zlib stream made by libdeflate at the level asked.
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(header.level);
        if (compressor == nullptr) throw std::bad_alloc();
        strip.compressed.resize(libdeflate_zlib_compress_bound(compressor, predicted.size()));
        const std::size_t size = libdeflate_zlib_compress(compressor, predicted.data(), predicted.size(),
                                                          strip.compressed.data(), strip.compressed.size());
        libdeflate_free_compressor(compressor);
        if (size == 0) strip.error = "libdeflate failed";
        strip.compressed.resize(size);
      } else {
        // One zlib stream at the level asked, with zlib's default window,
        // memory and strategy.
        uLongf size = compressBound(uLong(predicted.size()));
        strip.compressed.resize(size);
        if (compress2(strip.compressed.data(), &size, predicted.data(), uLong(predicted.size()), header.level) != Z_OK)
          strip.error = "zlib failed";
        strip.compressed.resize(size);
      }
    } catch (const std::exception& e) {
      strip.error = Reason(e);
    }
  }

  // ---- libtiff's view of the file.

  static tmsize_t OnRead(thandle_t, void*, tmsize_t) { return 0; }
  static tmsize_t OnWrite(thandle_t handle, void* data, tmsize_t size) {
    auto* s = static_cast<State*>(handle);
    if (s->abandoned) return -1;
    if (std::fwrite(data, 1, std::size_t(size), s->file) != std::size_t(size)) {
      s->writeErrno = errno != 0 ? errno : EIO;
      return -1;
    }
    return size;
  }
  static toff_t OnSeek(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<State*>(handle);
    // A seek writes out what is buffered: its failure is a failed write.
    if (fseeko(s->file, off_t(offset), whence) != 0) {
      s->writeErrno = errno != 0 ? errno : EIO;
      return toff_t(-1);
    }
    return toff_t(ftello(s->file));
  }
  static int OnClose(thandle_t) { return 0; }  // the file is closed by its owner
  static toff_t OnSize(thandle_t handle) {
    auto* s = static_cast<State*>(handle);
    const off_t at = ftello(s->file);
    fseeko(s->file, 0, SEEK_END);
    const off_t end = ftello(s->file);
    fseeko(s->file, at, SEEK_SET);
    return toff_t(end);
  }
  static int OnMap(thandle_t, void**, toff_t*) { return 0; }
  static void OnUnmap(thandle_t, void*, toff_t) {}
  static int OnMessage(TIFF*, void* user, const char*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<State*>(user)->tiffMessage = text;
    return 1;
  }
  static int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

  // ---- The caller's side.

  std::string Start(const std::string& path, const TiffHeader& h, const TiffTuning& tuning) {
    if (h.width < 1 || h.height < 1) return "the picture has no pixels";
    const int colours = h.cmyk ? 4 : 3;
    if (h.samples != colours && h.samples != colours + 1)
      return std::to_string(h.samples) + " samples a pixel; the writer takes " + std::to_string(colours) + " or " +
             std::to_string(colours + 1);
    if (h.bitDepth != 8 && h.bitDepth != 16) return std::to_string(h.bitDepth) + "-bit samples; the writer takes 8 or 16";
    if (h.level < 0 || h.level > 9) return "zlib level " + std::to_string(h.level) + " is not 0 to 9";
    if (h.rowsPerStrip < 1) return "no rows a strip";
    if (h.orientation < 1 || h.orientation > 8) return "orientation " + std::to_string(h.orientation) + " is not 1 to 8";
    header = h;
    rowBytes = std::size_t(h.width) * std::size_t(h.samples) * std::size_t(h.bitDepth / 8);
    const int threads = tuning.threads > 0 ? tuning.threads : int(std::max(1u, std::thread::hardware_concurrency()));

    file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return std::string("cannot create the file (") + std::strerror(errno) + ")";
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return "out of memory";
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnMessage, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, this);
    tif = TIFFClientOpenExt(path.c_str(), h.bigTiff ? "w8" : "w", this, OnRead, OnWrite, OnSeek, OnClose, OnSize,
                            OnMap, OnUnmap, options);
    TIFFOpenOptionsFree(options);
    if (tif == nullptr) return TiffReason("cannot start the file");
    if (!WriteTags()) return TiffReason("cannot set the tags");
    return line.Start(threads, rowBytes, h.height, h.rowsPerStrip, [this](Strip& strip) { Process(strip); });
  }

  // The tags libvips writes for such a picture; libtiff picks their types
  // and writes them with the directory at the end.
  bool WriteTags() {
    const TiffHeader& h = header;
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(h.width)) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h.height)) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
              TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
              TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, h.inches ? RESUNIT_INCH : RESUNIT_CENTIMETER) &&
              TIFFSetField(tif, TIFFTAG_XRESOLUTION, std::clamp(h.xResolution, 0.01, 1000000.0)) &&
              TIFFSetField(tif, TIFFTAG_YRESOLUTION, std::clamp(h.yResolution, 0.01, 1000000.0)) &&
              TIFFSetField(tif, TIFFTAG_ORIENTATION, h.orientation) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, h.samples) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, h.bitDepth) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, h.cmyk ? PHOTOMETRIC_SEPARATED : PHOTOMETRIC_RGB) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(h.rowsPerStrip)) &&
              TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    if (ok && h.cmyk) ok = TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    if (ok && h.samples > (h.cmyk ? 4 : 3)) {
      const uint16_t extra = EXTRASAMPLE_UNASSALPHA;  // transparency not multiplied in
      ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (ok && !h.iccProfile.empty())
      ok = TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(h.iccProfile.size()), h.iccProfile.data());
    if (ok && !h.xmp.empty()) ok = TIFFSetField(tif, TIFFTAG_XMLPACKET, uint32_t(h.xmp.size()), h.xmp.data());
    if (ok && !h.iptc.empty()) {
      // Stored as 4-byte words.
      std::string words = h.iptc;
      words.resize((words.size() + 3) / 4 * 4, '\0');
      ok = TIFFSetField(tif, TIFFTAG_RICHTIFFIPTC, uint32_t(words.size() / 4), words.data());
    }
    if (ok && !h.photoshop.empty())
      ok = TIFFSetField(tif, TIFFTAG_PHOTOSHOP, uint32_t(h.photoshop.size()), h.photoshop.data());
    if (ok && !h.description.empty()) ok = TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, h.description.c_str());
    return ok;
  }

  // Writes a finished strip to the file, in its place.
  std::string Deliver(Strip& strip) {
    const tmsize_t size = tmsize_t(strip.compressed.size());
    return TIFFWriteRawStrip(tif, strip.index, strip.compressed.data(), size) == size
               ? ""
               : TiffReason("cannot write the pixels");
  }

  std::string Take(const uint8_t* rows, int count, std::ptrdiff_t stride) {
    return TakeNumbered(line, nextStrip, rows, count, stride, [&](Strip& strip) { return Deliver(strip); });
  }

  std::string End() {
    if (std::string why = line.Finish([&](Strip& strip) { return Deliver(strip); }); !why.empty()) return Fail(why);
    if (!TIFFWriteDirectory(tif)) return Fail(TiffReason("cannot write the directory"));
    TIFF* t = tif;
    tif = nullptr;
    TIFFClose(t);
    if (std::string why = CloseWritten(file); !why.empty()) return Fail(why);
    finished = true;
    return "";
  }
};

template class StreamedWriter<TiffHeader, TiffTuning>;

}  // namespace vantrel::pictures
