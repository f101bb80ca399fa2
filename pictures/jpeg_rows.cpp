// The decoder of jpeg_rows.h. The file is mapped; libjpeg-turbo reads its
// header, a scan of the entropy-coded data finds every restart marker, and
// each run of whole MCU rows is handed to libjpeg-turbo as a JPEG of its
// own made from the file's header (its height patched), the run's intervals
// with their restart markers numbered from 0, and an end marker.
#include "pictures/jpeg_rows.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

#include "pictures/jpeg_markers.h"

namespace vantrel::pictures {
namespace {

// Runs of about this many bytes of decoded rows; at least this many
// aligned steps, so that the rows decoded twice stay a small share.
constexpr std::size_t kRunBytes = std::size_t(8) << 20;
constexpr int kLeastSteps = 8;
// Runs decoded ahead of the reading, per thread.
constexpr int kAheadPerThread = 1;

// libjpeg reports an error by calling error_exit, which must not return: it
// jumps back to where the decoder's caller called setjmp. A warning about
// corrupt data does the same unless damage is accepted.
struct Decoder {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  char message[JMSG_LENGTH_MAX] = {};
  bool acceptDamage = false;
  std::string firstWarning;  // when damage is accepted
};

[[noreturn]] void OnError(j_common_ptr info) {
  auto* decoder = static_cast<Decoder*>(info->client_data);
  info->err->format_message(info, decoder->message);
  std::longjmp(decoder->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  auto* decoder = static_cast<Decoder*>(info->client_data);
  if (level >= 0) return;
  if (!decoder->acceptDamage) OnError(info);
  if (decoder->firstWarning.empty()) {
    info->err->format_message(info, decoder->message);
    decoder->firstWarning = decoder->message;
  }
}

void Prepare(Decoder& d, bool acceptDamage) {
  d.info.err = jpeg_std_error(&d.errors);
  d.errors.error_exit = OnError;
  d.errors.emit_message = OnMessage;
  d.info.client_data = &d;
  d.acceptDamage = acceptDamage;
}

uint16_t BigEndian16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// What is known of the file once its header is read.
struct Layout {
  int width = 0, height = 0, channels = 0;
  bool invert = false;        // CMYK stored inverted (the Adobe marker)
  int mcuWidth = 8, mcuHeight = 8;
  int mcusPerRow = 0, mcuRows = 0;
  unsigned interval = 0;      // MCUs per restart interval
  std::size_t frame = 0;      // where the frame header (SOF) starts
  std::size_t data = 0;       // where the entropy-coded data starts
};

// Reads the header of `bytes`; answers "" and whether the file is one this
// decoder takes, or libjpeg's reason (also a warning in the header of a
// file taken, unless damage is accepted).
std::string ReadHeader(const uint8_t* bytes, std::size_t size, bool acceptDamage, Layout& layout, bool& taken) {
  taken = false;
  Decoder d;
  Prepare(d, true);
  if (setjmp(d.jump) != 0) {
    jpeg_destroy_decompress(&d.info);
    return d.message;
  }
  jpeg_create_decompress(&d.info);
  jpeg_mem_src(&d.info, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&d.info, TRUE);
  const jpeg_decompress_struct& i = d.info;
  layout.width = int(i.image_width);
  layout.height = int(i.image_height);
  layout.channels = i.num_components;
  layout.invert = i.num_components == 4 && i.saw_Adobe_marker;
  layout.interval = i.restart_interval;
  layout.data = size - i.src->bytes_in_buffer;
  int maxH = 1, maxV = 1;
  for (int c = 0; c < i.num_components; ++c) {
    maxH = std::max(maxH, i.comp_info[c].h_samp_factor);
    maxV = std::max(maxV, i.comp_info[c].v_samp_factor);
  }
  layout.mcuWidth = 8 * maxH;
  layout.mcuHeight = 8 * maxV;
  const bool colours = (i.num_components == 3 && (i.jpeg_color_space == JCS_YCbCr || i.jpeg_color_space == JCS_RGB)) ||
                       (i.num_components == 4 && (i.jpeg_color_space == JCS_CMYK || i.jpeg_color_space == JCS_YCCK));
  taken = colours && !i.progressive_mode && !i.arith_code && i.data_precision == 8 && i.restart_interval > 0 &&
          i.comps_in_scan == i.num_components && layout.width > 0 && layout.height > 0;
  jpeg_destroy_decompress(&d.info);
  if (!taken) return "";
  if (!acceptDamage && !d.firstWarning.empty()) return d.firstWarning;
  layout.mcusPerRow = (layout.width + layout.mcuWidth - 1) / layout.mcuWidth;
  layout.mcuRows = (layout.height + layout.mcuHeight - 1) / layout.mcuHeight;
  // The frame header, to patch its height: one met before the scan that
  // libjpeg began must hold the picture's size, or the walk went astray.
  layout.frame = WalkJpegMarkers(bytes, layout.data).frame;
  taken = layout.frame != 0 && layout.frame + 9 <= layout.data &&
          BigEndian16(bytes + layout.frame + 5) == layout.height && BigEndian16(bytes + layout.frame + 7) == layout.width;
  return "";
}

// Finds where every restart interval starts in the entropy-coded data from
// `from`: answers "" with `starts` (one a interval, and one more: where the
// marker after the last begins), or the reason the layout is damaged, or
// "" with `starts` empty when another scan follows or the file ends after
// its last interval has begun (decoded otherwise).
std::string FindIntervals(const uint8_t* bytes, std::size_t size, std::size_t from, std::size_t intervals,
                          std::vector<std::size_t>& starts) {
  starts.clear();
  starts.reserve(intervals + 1);
  starts.push_back(from);
  std::size_t at = from;
  for (;;) {
    const void* found = std::memchr(bytes + at, 0xFF, size - at);
    if (found == nullptr || static_cast<const uint8_t*>(found) + 1 >= bytes + size) {
      if (starts.size() < intervals) return "the file ends before its last restart interval";
      // No end marker: whether that is damage depends on how far libjpeg
      // reads ahead in the last interval.
      starts.clear();
      return "";
    }
    at = std::size_t(static_cast<const uint8_t*>(found) - bytes);
    const uint8_t code = bytes[at + 1];
    if (code == 0x00 || code == 0xFF) {  // a stuffed 0xFF, or a fill byte
      at += 1;
      continue;
    }
    // A restart marker after the last interval, which libjpeg never reads,
    // is a marker after the data.
    if (code >= 0xD0 && code <= 0xD7 && starts.size() < intervals) {
      const std::size_t number = starts.size() - 1;
      if (code != 0xD0 + number % 8)
        return "corrupt data: restart marker " + std::to_string(code - 0xD0) + " out of its turn";
      starts.push_back(at + 2);
      at += 2;
      continue;
    }
    if (starts.size() != intervals)
      return "corrupt data: " + std::to_string(intervals - starts.size()) + " restart intervals missing";
    if (code != 0xD9) {  // another scan, or a marker after the data
      starts.clear();
      return "";
    }
    starts.push_back(at);
    return "";
  }
}

// A run of MCU rows on its way through a worker.
struct Run {
  int firstRow = 0;  // the picture's row
  int rows = 0;
  std::size_t fromMcuRow = 0, toMcuRow = 0;  // decoded, the context rows among them
  std::vector<uint8_t> pixels;
  std::string error;
  bool done = false;
};

}  // namespace

struct JpegRows::State {
  JpegReadTuning tuning;
  Layout layout;
  const uint8_t* bytes = nullptr;
  std::size_t size = 0;
  bool ownMapping = false;  // bytes mapped here from a file, not the caller's
  bool pieces = false;
  std::vector<std::size_t> starts;  // each interval's data, and the end of the last
  int stepMcuRows = 1;              // runs start on multiples of this
  int runMcuRows = 1;
  bool context = false;             // chroma upsampled across rows: a row more each side
  std::size_t rowBytes = 0;

  std::vector<Run> runs;
  std::vector<std::thread> workers;
  std::mutex lock;
  std::condition_variable changed;
  std::size_t nextToStart = 0;  // under the lock
  std::size_t nextToRead = 0;   // under the lock
  int rowsReadOfRun = 0;
  bool stopping = false;
  std::size_t ahead = 2;

  ~State() {
    {
      std::lock_guard<std::mutex> hold(lock);
      stopping = true;
    }
    changed.notify_all();
    for (std::thread& t : workers) t.join();
    if (ownMapping) munmap(const_cast<uint8_t*>(bytes), size);
  }

  std::string Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string("cannot open the file (") + std::strerror(errno) + ")";
    struct stat status {};
    void* mapped = MAP_FAILED;
    if (fstat(fd, &status) == 0 && status.st_size > 0)
      mapped = mmap(nullptr, std::size_t(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    const int mapErrno = errno;
    ::close(fd);
    if (mapped == MAP_FAILED) return std::string("cannot map the file (") + std::strerror(mapErrno) + ")";
    madvise(mapped, std::size_t(status.st_size), MADV_SEQUENTIAL);
    ownMapping = true;
    return Start(static_cast<const uint8_t*>(mapped), std::size_t(status.st_size));
  }

  std::string Start(const uint8_t* from, std::size_t length) {
    bytes = from;
    size = length;
    bool taken = false;
    if (std::string why = ReadHeader(bytes, size, tuning.acceptDamage, layout, taken); !why.empty()) return why;
    if (!taken) return "";
    const std::size_t mcus = std::size_t(layout.mcusPerRow) * std::size_t(layout.mcuRows);
    const std::size_t intervals = (mcus + layout.interval - 1) / layout.interval;
    if (std::string why = FindIntervals(bytes, size, layout.data, intervals, starts); !why.empty())
      return tuning.acceptDamage ? "" : why;
    if (starts.empty()) return "";
    // Runs start where an interval starts on a row start.
    const std::size_t period = std::lcm(std::size_t(layout.interval), std::size_t(layout.mcusPerRow));
    stepMcuRows = int(period / std::size_t(layout.mcusPerRow));
    if (stepMcuRows * kLeastSteps * 2 > layout.mcuRows) return "";
    rowBytes = std::size_t(layout.width) * std::size_t(layout.channels);
    context = layout.mcuHeight > 8;
    const std::size_t mcuRowBytes = rowBytes * std::size_t(layout.mcuHeight);
    const int threads = tuning.threads > 0 ? tuning.threads : int(std::max(1u, std::thread::hardware_concurrency()));
    int steps = std::max<int>(kLeastSteps, int(kRunBytes / (mcuRowBytes * std::size_t(stepMcuRows))));
    // Enough runs to keep every thread busy.
    steps = std::min(steps, std::max(1, layout.mcuRows / (stepMcuRows * threads * 2)));
    runMcuRows = std::max(1, steps) * stepMcuRows;
    for (int from = 0; from < layout.mcuRows; from += runMcuRows) {
      Run run;
      const int to = std::min(layout.mcuRows, from + runMcuRows);
      run.firstRow = from * layout.mcuHeight;
      run.rows = std::min(layout.height, to * layout.mcuHeight) - run.firstRow;
      run.fromMcuRow = std::size_t(context && from > 0 ? from - stepMcuRows : from);
      run.toMcuRow = std::size_t(context && to < layout.mcuRows ? std::min(layout.mcuRows, to + stepMcuRows) : to);
      runs.push_back(std::move(run));
    }
    ahead = std::size_t(threads) * (1 + kAheadPerThread);
    pieces = true;
    try {
      for (int i = 0; i < std::min<int>(threads, int(runs.size())); ++i) workers.emplace_back([this] { Work(); });
    } catch (const std::system_error& e) {
      return std::string("cannot start the threads (") + e.what() + ")";
    }
    return "";
  }

  // Answers what `open` answers, or what it throws.
  template <typename Open>
  std::string Opening(Open open) {
    try {
      return open();
    } catch (const std::exception& e) {
      pieces = false;
      return e.what();
    }
  }

  // The run as a JPEG of its own: the file's header with the run's height,
  // its intervals with restart markers numbered from 0, and an end marker.
  std::vector<uint8_t> JpegOf(const Run& run, int& height) const {
    const std::size_t firstInterval = run.fromMcuRow * std::size_t(layout.mcusPerRow) / layout.interval;
    const std::size_t lastInterval =
        std::min(starts.size() - 1, (run.toMcuRow * std::size_t(layout.mcusPerRow) + layout.interval - 1) / layout.interval);
    height = std::min(layout.height, int(run.toMcuRow) * layout.mcuHeight) - int(run.fromMcuRow) * layout.mcuHeight;
    std::vector<uint8_t> jpeg;
    jpeg.reserve(layout.data + (starts[lastInterval] - starts[firstInterval]) + 2);
    jpeg.insert(jpeg.end(), bytes, bytes + layout.data);
    jpeg[layout.frame + 5] = uint8_t(height >> 8);
    jpeg[layout.frame + 6] = uint8_t(height);
    for (std::size_t k = firstInterval; k < lastInterval; ++k) {
      const std::size_t end = k + 1 < starts.size() - 1 ? starts[k + 1] - 2 : starts[k + 1];
      if (k > firstInterval) {
        jpeg.push_back(0xFF);
        jpeg.push_back(uint8_t(0xD0 + (k - firstInterval - 1) % 8));
      }
      jpeg.insert(jpeg.end(), bytes + starts[k], bytes + end);
    }
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
    return jpeg;
  }

  // Decodes `jpeg`, keeping `run.rows` rows from `skip` on.
  // No object that needs destroying lives between the setjmp and the calls
  // that may jump back to it.
  std::string Decode(const std::vector<uint8_t>& jpeg, int skip, Run& run, std::vector<uint8_t>& scratch) const {
    Decoder d;
    Prepare(d, tuning.acceptDamage);
    if (setjmp(d.jump) != 0) {
      jpeg_destroy_decompress(&d.info);
      return d.message;
    }
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d.info, TRUE);
    d.info.out_color_space = layout.channels == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&d.info);
    // Every row, those above and below the run's own into the scratch row. A
    // run that ends where another begins is then read on to its end marker:
    // bytes left over after its last interval's data are damage, which
    // libjpeg reports there as it does at the restart marker after them in
    // the whole file. (The bytes before the file's own end marker go unread
    // in the whole file too.)
    const int end = skip + run.rows;
    while (d.info.output_scanline < d.info.output_height) {
      const int y = int(d.info.output_scanline);
      JSAMPROW row = y < skip || y >= end ? scratch.data() : run.pixels.data() + std::size_t(y - skip) * rowBytes;
      jpeg_read_scanlines(&d.info, &row, 1);
    }
    if (run.toMcuRow < std::size_t(layout.mcuRows)) jpeg_finish_decompress(&d.info);
    jpeg_destroy_decompress(&d.info);
    return "";
  }

  void Process(Run& run) {
    try {
      int height = 0;
      const std::vector<uint8_t> jpeg = JpegOf(run, height);
      run.pixels.resize(std::size_t(run.rows) * rowBytes);
      std::vector<uint8_t> scratch(rowBytes);
      const int skip = run.firstRow - int(run.fromMcuRow) * layout.mcuHeight;
      run.error = Decode(jpeg, skip, run, scratch);
      if (run.error.empty() && layout.invert)
        for (uint8_t& v : run.pixels) v = uint8_t(255 - v);
    } catch (const std::exception& e) {
      run.error = e.what();
    }
    std::replace(run.error.begin(), run.error.end(), '\n', ' ');
  }

  void Work() {
    for (;;) {
      Run* run = nullptr;
      {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return stopping || (nextToStart < runs.size() && nextToStart < nextToRead + ahead); });
        if (stopping || nextToStart >= runs.size()) return;
        run = &runs[nextToStart++];
      }
      Process(*run);
      {
        std::lock_guard<std::mutex> hold(lock);
        run->done = true;
      }
      changed.notify_all();
    }
  }

  std::string Read(uint8_t* rows, int count, std::ptrdiff_t stride) {
    for (int done = 0; done < count;) {
      Run* run = nullptr;
      {
        std::unique_lock<std::mutex> hold(lock);
        if (nextToRead >= runs.size()) return "more rows asked for than the picture has";
        run = &runs[nextToRead];
        changed.wait(hold, [&] { return run->done; });
      }
      if (!run->error.empty()) return run->error;
      const int n = std::min(count - done, run->rows - rowsReadOfRun);
      for (int i = 0; i < n; ++i)
        std::memcpy(rows + std::ptrdiff_t(done + i) * stride,
                    run->pixels.data() + std::size_t(rowsReadOfRun + i) * rowBytes, rowBytes);
      done += n;
      rowsReadOfRun += n;
      if (rowsReadOfRun == run->rows) {
        std::vector<uint8_t>().swap(run->pixels);
        rowsReadOfRun = 0;
        {
          std::lock_guard<std::mutex> hold(lock);
          ++nextToRead;
        }
        changed.notify_all();
      }
    }
    return "";
  }
};

JpegRows::JpegRows() = default;
JpegRows::~JpegRows() = default;

std::string JpegRows::Open(const std::string& path, const JpegReadTuning& tuning) {
  if (state_ != nullptr) return "the reader is already open";
  state_ = std::make_unique<State>();
  state_->tuning = tuning;
  return state_->Opening([&] { return state_->Open(path); });
}

std::string JpegRows::OpenBytes(const uint8_t* bytes, std::size_t size, const JpegReadTuning& tuning) {
  if (state_ != nullptr) return "the reader is already open";
  state_ = std::make_unique<State>();
  state_->tuning = tuning;
  return state_->Opening([&] { return state_->Start(bytes, size); });
}

bool JpegRows::inPieces() const { return state_ != nullptr && state_->pieces; }
int JpegRows::width() const { return state_ != nullptr ? state_->layout.width : 0; }
int JpegRows::height() const { return state_ != nullptr ? state_->layout.height : 0; }
int JpegRows::channels() const { return state_ != nullptr ? state_->layout.channels : 0; }

std::string JpegRows::Read(uint8_t* rows, int count, std::ptrdiff_t stride) {
  if (!inPieces()) return "the reader is not open";
  return state_->Read(rows, count, stride);
}

}  // namespace vantrel::pictures
