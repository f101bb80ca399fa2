// The PNG writer of png_stream.h. libpng writes the signature, the header and
// the chunks beside the pixels (the same calls libvips makes) and frames the
// image data chunks we hand it; the pieces of png_pieces.h, made on worker
// threads, are joined into one stream.
#include "pictures/png_stream.h"

#include "pictures/piece_line.h"
#include "pictures/png_pieces.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace vantrel::pictures {
namespace {

// About this many bytes of filtered rows per piece: enough that the restarts
// cost a few hundredths of a per cent, small enough to share out.
constexpr std::size_t kPieceBytes = 256 * 1024;
// Image data chunks of this size, the last one shorter.
constexpr std::size_t kChunkBytes = 65536;

// 16-bit samples are stored most significant byte first.
void ToFileOrder(std::vector<uint8_t>& bytes, int bitDepth) {
  if (bitDepth != 16 || std::endian::native == std::endian::big) return;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
}

// A run of rows on its way through a worker.
struct Piece : PieceRows {         // raw: freed once filtered
  bool last = false;               // the picture's last piece: its deflate ends the stream
  std::vector<uint8_t> above;      // the row before the first, empty at the top
  std::shared_ptr<Piece> previous; // held until this piece has taken its dictionary

  // Set by the worker. `tail` and `tailReady` before the deflate, for the
  // next piece; the rest when `done`.
  std::vector<uint8_t> tail;       // the last 32 KiB of filtered data up to this piece's end
  bool tailReady = false;
  std::vector<uint8_t> compressed; // raw deflate data, ending on a byte boundary
  uLong adler = 0;                 // Adler-32 of this piece's filtered data
  std::size_t filteredBytes = 0;
};

// libpng reports an error by a long jump back to where setjmp was called.
// Its calls are made through here, in lambdas that hold nothing that would
// need destroying, so that the jump skips no destructor.
template <class Call>
bool PngCall(png_structp png, const Call& call) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  call();
  return true;
}

}  // namespace

template <>
struct PngStream::State : LineState<Piece> {
  PngHeader header;
  std::size_t rowBytes = 0;   // bytes of one row as handed over and as stored
  std::size_t pixelBytes = 0;

  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string pngMessage;     // libpng's last error
  int writeErrno = 0;         // errno of a failed write
  std::vector<uint8_t>* head = nullptr;  // where libpng's writes go while the head is made

  std::shared_ptr<Piece> lastSent;
  std::vector<uint8_t> lastRow;  // the last row sent, above the next piece
  std::vector<uint8_t> stream;   // compressed data waiting for a full chunk
  bool streamStarted = false;
  uLong adler = 1;

  ~State() {
    line.Stop();
    if (png != nullptr) png_destroy_write_struct(&png, &info);
    if (file != nullptr) std::fclose(file);
  }

  std::string PngReason(const char* what) const { return LibraryReason(writeErrno, what, pngMessage); }

  // ---- Workers.

  void Work(Piece& piece) {
    Process(piece);
    {
      std::lock_guard<std::mutex> hold(line.lock());
      piece.tailReady = true;  // also when it failed, so that the next one does not wait for ever
    }
    line.changed().notify_all();
  }

  void Process(Piece& piece) {
    std::string why;
    try {
      ToFileOrder(piece.raw, header.bitDepth);
      ToFileOrder(piece.above, header.bitDepth);
      if (piece.above.empty()) piece.above.assign(rowBytes, 0);
      std::vector<uint8_t> filtered(std::size_t(piece.rows) * (rowBytes + 1));
      const uint8_t* above = piece.above.data();
      for (int r = 0; r < piece.rows; ++r) {
        const uint8_t* row = piece.raw.data() + std::size_t(r) * rowBytes;
        FilterPngRow(row, above, rowBytes, pixelBytes, filtered.data() + std::size_t(r) * (rowBytes + 1));
        above = row;
      }
      std::vector<uint8_t>().swap(piece.raw);
      std::vector<uint8_t>().swap(piece.above);
      piece.filteredBytes = filtered.size();
      piece.adler = adler32_z(adler32_z(0, nullptr, 0), filtered.data(), filtered.size());

      // The dictionary: what deflate would still have in its window here had
      // one thread compressed everything before.
      static const std::vector<uint8_t> kNone;
      const std::vector<uint8_t>* dictionary = &kNone;
      if (piece.previous != nullptr) {
        std::unique_lock<std::mutex> hold(line.lock());
        line.changed().wait(hold, [&] { return piece.previous->tailReady; });
        dictionary = &piece.previous->tail;
      }
      std::vector<uint8_t> tail;
      const std::size_t fromDictionary =
          filtered.size() >= kDeflateWindow ? 0 : std::min(dictionary->size(), kDeflateWindow - filtered.size());
      tail.reserve(kDeflateWindow);
      tail.insert(tail.end(), dictionary->end() - std::ptrdiff_t(fromDictionary), dictionary->end());
      tail.insert(tail.end(), filtered.end() - std::ptrdiff_t(std::min(filtered.size(), kDeflateWindow)), filtered.end());
      {
        std::lock_guard<std::mutex> hold(line.lock());
        piece.tail = std::move(tail);
        piece.tailReady = true;
      }
      line.changed().notify_all();
      why = DeflatePiece(filtered.data(), filtered.size(), dictionary->data(), dictionary->size(), header.level,
                         piece.last ? Z_FINISH : Z_SYNC_FLUSH, piece.compressed);
      piece.previous.reset();
    } catch (const std::exception& e) {
      why = Reason(e);
    }
    piece.previous.reset();
    piece.error = why;
  }

  // ---- The caller's side.

  std::string Start(const std::string& path, const PngHeader& h, const PngTuning& tuning) {
    if (h.width < 1 || h.height < 1) return "the picture has no pixels";
    if (h.channels < 1 || h.channels > 4) return std::to_string(h.channels) + " channels; PNG takes 1 to 4";
    if (h.bitDepth != 8 && h.bitDepth != 16) return std::to_string(h.bitDepth) + "-bit samples; PNG writes 8 or 16";
    if (h.level < 0 || h.level > 9) return "zlib level " + std::to_string(h.level) + " is not 0 to 9";
    if (h.width > int(PNG_UINT_31_MAX / 8)) return "the picture is too wide for PNG";
    header = h;
    pixelBytes = std::size_t(h.channels) * std::size_t(h.bitDepth / 8);
    rowBytes = pixelBytes * std::size_t(h.width);
    const int pieceRows = tuning.pieceRows > 0
                              ? tuning.pieceRows
                              : int(std::max<std::size_t>(1, (kPieceBytes + rowBytes) / (rowBytes + 1)));
    const int threads = tuning.threads > 0 ? tuning.threads : int(std::max(1u, std::thread::hardware_concurrency()));

    file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return std::string("cannot create the file (") + std::strerror(errno) + ")";
    if (!WriteHead()) return PngReason("cannot write the header");
    return line.Start(threads, rowBytes, h.height, pieceRows, [this](Piece& piece) { Work(piece); });
  }

  static void OnWrite(png_structp png, png_bytep data, std::size_t length) {
    auto* state = static_cast<State*>(png_get_io_ptr(png));
    if (state->head != nullptr) {
      state->head->insert(state->head->end(), data, data + length);
      return;
    }
    if (std::fwrite(data, 1, length, state->file) != length) {
      state->writeErrno = errno != 0 ? errno : EIO;
      png_error(png, "cannot write the file");
    }
  }
  static void OnFlush(png_structp) {}
  [[noreturn]] static void OnError(png_structp png, png_const_charp message) {
    static_cast<State*>(png_get_error_ptr(png))->pngMessage = message;
    png_longjmp(png, 1);
  }
  static void OnWarning(png_structp, png_const_charp) {}

  // The signature, the header and the chunks beside the pixels, through the
  // calls libvips makes for them, with libpng's check of sRGB profiles left
  // out as libvips leaves it out. What libpng still refuses beside the
  // pixels (a profile, a text, EXIF) is left out of the file, and said in
  // leftOut; the pixels are never refused for it.
  bool WriteHead() {
    std::vector<uint8_t> bytes;
    if (!WriteHeadOf(header, bytes) && !WriteWhatLibpngTakes(bytes)) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
      writeErrno = errno != 0 ? errno : EIO;
      return false;
    }
    return true;
  }

  // The head with each piece beside the pixels tried in turn on top of the
  // pieces taken, those libpng refuses left out.
  bool WriteWhatLibpngTakes(std::vector<uint8_t>& bytes) {
    PngHeader kept = header;
    kept.iccProfile.clear();
    kept.exif.clear();
    kept.xmp.clear();
    kept.comments.clear();
    if (!WriteHeadOf(kept, bytes)) return false;
    auto tryAdding = [&](const std::string& what, const auto& add) {
      PngHeader tried = kept;
      add(tried);
      if (WriteHeadOf(tried, bytes))
        kept = std::move(tried);
      else
        leftOut += (leftOut.empty() ? "" : ", ") + what + " (libpng: " + pngMessage + ")";
    };
    if (!header.iccProfile.empty())
      tryAdding("the colour profile", [&](PngHeader& h) { h.iccProfile = header.iccProfile; });
    if (!header.exif.empty()) tryAdding("the EXIF block", [&](PngHeader& h) { h.exif = header.exif; });
    if (!header.xmp.empty()) tryAdding("the XMP block", [&](PngHeader& h) { h.xmp = header.xmp; });
    for (const PngText& comment : header.comments)
      tryAdding("the comment \"" + comment.key + "\"", [&](PngHeader& h) { h.comments.push_back(comment); });
    return WriteHeadOf(kept, bytes);
  }

  // Makes libpng's write structures for `h` and has them write everything
  // up to the pixels into `bytes`; false, with libpng's reason, when libpng
  // refuses any of it.
  bool WriteHeadOf(const PngHeader& h, std::vector<uint8_t>& bytes) {
    if (png != nullptr) png_destroy_write_struct(&png, &info);
    bytes.clear();
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (png == nullptr) return false;
    info = png_create_info_struct(png);
    if (info == nullptr) return false;
    const int colour[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    std::vector<png_text> texts;
    auto addText = [&texts](const char* key, const std::string& value) {
      png_text text{};
      text.compression = PNG_TEXT_COMPRESSION_zTXt;
      text.key = const_cast<char*>(key);
      text.text = const_cast<char*>(value.c_str());
      text.text_length = std::strlen(value.c_str());
      texts.push_back(text);
    };
    if (!h.xmp.empty()) addText("XML:com.adobe.xmp", h.xmp);
    for (const PngText& comment : h.comments) addText(comment.key.c_str(), comment.value);
    const std::string& exif = h.exif;
    const std::size_t exifSkip = exif.size() >= 6 && exif.compare(0, 4, "Exif") == 0 ? 6 : 0;
    head = &bytes;
    const bool written = PngCall(png, [&] {
      png_set_write_fn(png, this, OnWrite, OnFlush);
      png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
      png_set_IHDR(png, info, png_uint_32(h.width), png_uint_32(h.height), h.bitDepth, colour[h.channels - 1],
                   PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
      if (h.xPixelsPerMetre != 0 || h.yPixelsPerMetre != 0)
        png_set_pHYs(png, info, h.xPixelsPerMetre, h.yPixelsPerMetre, PNG_RESOLUTION_METER);
      if (!h.iccProfile.empty())
        png_set_iCCP(png, info, h.iccName.c_str(), PNG_COMPRESSION_TYPE_BASE,
                     reinterpret_cast<png_const_bytep>(h.iccProfile.data()), png_uint_32(h.iccProfile.size()));
      if (!texts.empty()) png_set_text(png, info, texts.data(), int(texts.size()));
      if (exif.size() > exifSkip)
        png_set_eXIf_1(png, info, png_uint_32(exif.size() - exifSkip),
                       reinterpret_cast<png_bytep>(const_cast<char*>(exif.data() + exifSkip)));
      png_write_info(png, info);
    });
    head = nullptr;
    return written;
  }

  // Writes `stream` as image data chunks: the full ones, or all of it.
  bool WriteChunks(bool all) {
    std::size_t at = 0;
    while (stream.size() - at >= kChunkBytes || (all && at < stream.size())) {
      const std::size_t n = std::min(kChunkBytes, stream.size() - at);
      const uint8_t* data = stream.data() + at;
      if (!PngCall(png, [&] { png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), data, n); }))
        return false;
      at += n;
    }
    stream.erase(stream.begin(), stream.begin() + std::ptrdiff_t(at));
    return true;
  }

  // Joins a finished piece to the stream and writes out the full chunks.
  std::string Deliver(Piece& piece) {
    if (!streamStarted) ZlibHeader(header.level, stream);
    streamStarted = true;
    adler = adler32_combine(adler, piece.adler, z_off_t(piece.filteredBytes));
    stream.insert(stream.end(), piece.compressed.begin(), piece.compressed.end());
    std::vector<uint8_t>().swap(piece.compressed);  // the next piece may hold this one a while longer
    return WriteChunks(false) ? "" : PngReason("cannot write the pixels");
  }

  std::string Take(const uint8_t* rows, int count, std::ptrdiff_t stride) {
    const int height = header.height;
    std::string why = line.Take(
        rows, count, stride,
        [&](Piece& piece) {
          piece.last = line.rowsTaken() + piece.rows == height;
          piece.above = lastRow;
          piece.previous = lastSent;
        },
        [&](const std::shared_ptr<Piece>& piece) {
          lastRow.assign(piece->raw.end() - std::ptrdiff_t(rowBytes), piece->raw.end());
          lastSent = piece;
        },
        [&](Piece& piece) { return Deliver(piece); });
    return why.empty() ? why : Fail(why);
  }

  std::string End() {
    if (std::string why = line.Finish([&](Piece& piece) { return Deliver(piece); }); !why.empty()) return Fail(why);
    for (int shift = 24; shift >= 0; shift -= 8) stream.push_back(uint8_t(adler >> shift));
    if (!WriteChunks(true) ||
        !PngCall(png, [&] { png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0); }))
      return Fail(PngReason("cannot end the file"));
    if (std::string why = CloseWritten(file); !why.empty()) return Fail(why);
    finished = true;
    return "";
  }
};

template class StreamedWriter<PngHeader, PngTuning>;

}  // namespace vantrel::pictures
