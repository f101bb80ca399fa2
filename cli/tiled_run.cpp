#include "cli/tiled_run.h"

#include <algorithm>
#include <cstring>

namespace vantrel::cli {
namespace {

// What a run answers when the reader or the writer failed; the reason is
// kept beside it.
constexpr OSErr kFileFailed = ioErr;

int Even(int v) { return v - v % 2; }

}  // namespace

TilePlan PlanTiles(int width, int height, int bandRows) {
  TilePlan plan;
  plan.bandRows = bandRows;
  const int columns = width <= kTileSide ? 1 : (width + kTileSide - 2) / (kTileSide - 1);
  const int columnWidth = columns == 1 ? width : Even((width + columns - 1) / columns + 1);
  for (int left = 0; left < width; left += columnWidth) plan.columns.push_back({left, std::min(columnWidth, width - left)});
  const int rowHeight = height <= kTileSide ? height : bandRows > 0 ? kTileSide / bandRows * bandRows : Even(kTileSide);
  for (int top = 0; top < height; top += rowHeight) plan.rows.push_back({top, std::min(rowHeight, height - top)});
  return plan;
}

// The rows of one row of tiles on their way: read once from the picture for
// every tile of the row, and put together from every tile before they go
// on. With one tile they pass straight through.
class TiledRun::Streams {
 public:
  Streams(const pictures::PictureInfo& info, const Span& rows, const std::vector<Span>& columns,
          pictures::RowReader& reader, pictures::RowWriter& writer, const std::function<void(int, int)>& progress,
          std::string& reading, std::string& writing)
      : info_(info), rows_(rows), spans_(columns), reader_(reader), writer_(writer), progress_(progress),
        reading_(reading), writing_(writing),
        pixelBytes_(std::size_t(info.planes) * std::size_t(host::SampleBytes(info.imageMode))),
        rowBytes_(std::size_t(info.width) * pixelBytes_), readTo_(columns.size(), 0),
        writtenTo_(columns.size(), 0) {
    for (std::size_t k = 0; k < columns.size(); ++k) columns_.push_back(Column(this, int(k)));
  }
  runner::RowStream& column(std::size_t k) { return columns_[k]; }

 private:
  struct Column : runner::RowStream {
    Column(Streams* owner, int index) : owner(owner), index(index) {}
    OSErr ReadRows(int32 top, int32 count, uint8* rows, std::ptrdiff_t stride) override {
      return owner->Read(index, top, count, rows, stride);
    }
    OSErr WriteRows(int32 top, int32 count, const uint8* rows, std::ptrdiff_t stride) override {
      return owner->Write(index, top, count, rows, stride);
    }
    Streams* owner;
    int index;
  };

  static OSErr Failed(std::string why, std::string& kept) {
    if (why.empty()) return noErr;
    if (kept.empty()) kept = std::move(why);
    return kFileFailed;
  }

  OSErr Read(int k, int32 top, int32 count, uint8* rows, std::ptrdiff_t stride) {
    if (spans_.size() == 1) return Failed(reader_.Read(rows, count, stride), reading_);
    const int32 end = top + count;
    if (end > inTop_ + inRows_) {
      const int32 more = end - inTop_ - inRows_;
      in_.resize(std::size_t(end - inTop_) * rowBytes_);
      if (OSErr e = Failed(reader_.Read(in_.data() + std::size_t(inRows_) * rowBytes_, more, std::ptrdiff_t(rowBytes_)),
                           reading_);
          e != noErr)
        return e;
      inRows_ += more;
    }
    const Span& span = spans_[std::size_t(k)];
    for (int32 i = 0; i < count; ++i)
      std::memcpy(rows + i * stride, in_.data() + std::size_t(top - inTop_ + i) * rowBytes_ + std::size_t(span.start) * pixelBytes_,
                  std::size_t(span.size) * pixelBytes_);
    readTo_[std::size_t(k)] = end;
    // Rows every tile has read are let go.
    const int32 done = *std::min_element(readTo_.begin(), readTo_.end()) - inTop_;
    if (done > 0) {
      in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(std::size_t(done) * rowBytes_));
      inTop_ += done;
      inRows_ -= done;
    }
    return noErr;
  }

  OSErr Write(int k, int32 top, int32 count, const uint8* rows, std::ptrdiff_t stride) {
    if (spans_.size() == 1) return Pass(rows, count, stride);
    const int32 end = top + count;
    if (end > outTop_ + outRows_) {
      outRows_ = end - outTop_;
      out_.resize(std::size_t(outRows_) * rowBytes_);
    }
    const Span& span = spans_[std::size_t(k)];
    for (int32 i = 0; i < count; ++i)
      std::memcpy(out_.data() + std::size_t(top - outTop_ + i) * rowBytes_ + std::size_t(span.start) * pixelBytes_,
                  rows + i * stride, std::size_t(span.size) * pixelBytes_);
    writtenTo_[std::size_t(k)] = end;
    // Rows every tile has finished go on.
    const int32 complete = *std::min_element(writtenTo_.begin(), writtenTo_.end()) - outTop_;
    if (complete <= 0) return noErr;
    if (OSErr e = Pass(out_.data(), complete, std::ptrdiff_t(rowBytes_)); e != noErr) return e;
    out_.erase(out_.begin(), out_.begin() + std::ptrdiff_t(std::size_t(complete) * rowBytes_));
    outTop_ += complete;
    outRows_ -= complete;
    return noErr;
  }

  OSErr Pass(const uint8* rows, int32 count, std::ptrdiff_t stride) {
    if (OSErr e = Failed(writer_.Write(rows, count, stride), writing_); e != noErr) return e;
    passed_ += count;
    if (progress_) progress_(rows_.start + passed_, info_.height);
    return noErr;
  }

  const pictures::PictureInfo& info_;
  Span rows_;
  std::vector<Span> spans_;
  pictures::RowReader& reader_;
  pictures::RowWriter& writer_;
  const std::function<void(int, int)>& progress_;
  std::string& reading_;
  std::string& writing_;
  std::size_t pixelBytes_, rowBytes_;
  std::vector<Column> columns_;
  // Rows of the row of tiles read and not yet read by every tile, and rows
  // written and not yet by every tile.
  std::vector<uint8> in_, out_;
  int32 inTop_ = 0, inRows_ = 0, outTop_ = 0, outRows_ = 0;
  std::vector<int32> readTo_, writtenTo_;
  int32 passed_ = 0;
};

TiledRun::TiledRun(runner::EntryProc entry, const pictures::PictureInfo& info,
                   std::function<void(runner::Host&)> prepare, std::function<void(int, int)> progress)
    : entry_(entry), info_(info), prepare_(std::move(prepare)), progress_(std::move(progress)) {}

OSErr TiledRun::Run(const TilePlan& plan, pictures::RowReader& reader, pictures::RowWriter& writer,
                    std::string& reading, std::string& writing) {
  const std::size_t count = plan.columns.size();
  for (const Span& tileRow : plan.rows) {
    Streams streams(info_, tileRow, plan.columns, reader, writer, progress_, reading, writing);
    std::vector<std::unique_ptr<runner::Host>> hosts;
    for (std::size_t k = 0; k < count; ++k) {
      runner::Image shape;
      shape.width = int16(plan.columns[k].size);
      shape.height = int16(tileRow.size);
      shape.planes = info_.planes;
      shape.sampleBytes = host::SampleBytes(info_.imageMode);
      hosts.push_back(std::make_unique<runner::Host>(entry_));
      hosts.back()->StreamImage(shape, info_.imageMode, streams.column(k));
      prepare_(*hosts.back());
    }
    OSErr result = noErr;
    std::size_t started = 0;
    while (started < count && result == noErr) result = hosts[started++]->StartRun();
    // The runs take turns, a request each, so that the rows read for one
    // tile are soon read for the others and the rows each finishes soon
    // make whole rows.
    std::vector<bool> ended(count, false);
    for (std::size_t going = result == noErr ? count : 0; going > 0 && result == noErr;) {
      for (std::size_t k = 0; k < count && result == noErr; ++k) {
        if (ended[k] || hosts[k]->StepRun()) continue;
        ended[k] = true;
        --going;
        result = hosts[k]->EndRun();
      }
    }
    // Runs still going when another failed are cut short.
    for (std::size_t k = 0; k < started; ++k)
      if (!ended[k]) {
        const OSErr ending = hosts[k]->EndRun();
        if (result == noErr) result = ending;
      }
    last_ = std::move(hosts.front());
    if (result != noErr) return result;
  }
  return noErr;
}

}  // namespace vantrel::cli
