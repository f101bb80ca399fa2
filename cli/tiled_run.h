// A picture filtered as it streams from its reader to its writer, a band at
// a time, however large it is. A host's requests reach at most kMostSide pixels
// a side, so a larger picture is cut into tiles, each filtered by a run of
// its own: the tiles of a row of tiles side by side, their runs taking turns
// band by band on the same decoded rows, and the rows of tiles one after the
// other. Tiles start on even columns and on rows that are multiples of one
// even band height, so that every band starts where a run over the whole
// picture would start one: the Cross checkerboard, which starts again at
// each buffer's top left, then lies as that run would lay it, and the
// pixels are those of one run.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "pictures/picture.h"
#include "runner/host.h"

namespace vantrel::cli {

struct Span {
  int start = 0;
  int size = 0;
};

// Where the tiles of a picture lie, and the band height of every run.
struct TilePlan {
  int bandRows = 0;  // 0: each run's own (the whole tile by the advanceState drive,
                     // or what the filter makes of the memory offered)
  std::vector<Span> columns;
  std::vector<Span> rows;
};

// The largest side of a tile, and the most tiles side by side: as many as
// the runs of one load of the filter that may take turns.
inline constexpr int kTileSide = kMostSide;
inline constexpr int kMostTileColumns = kMostRunsAtOnce;

// The tiles of a picture: columns as even in width as even starts allow,
// each at most kTileSide wide (a picture that narrow is one column); rows
// of tiles as tall as a whole number of bands within kTileSide allows (with
// no band height: kTileSide rounded down to even), one when the picture is
// that short.
TilePlan PlanTiles(int width, int height, int bandRows);

// Runs the filter over every tile of `plan`, reading the picture from
// `reader` and handing every finished row to `writer`, top to bottom.
// `prepare` readies each host before its run (the settings, the callbacks,
// a kept block); `progress` hears the rows written so far. Answers the
// first result of a run that is not noErr, or noErr; when the reader or the
// writer failed, `reading` or `writing` holds its reason.
class TiledRun {
 public:
  TiledRun(runner::EntryProc entry, const pictures::PictureInfo& info, std::function<void(runner::Host&)> prepare,
           std::function<void(int done, int total)> progress);
  OSErr Run(const TilePlan& plan, pictures::RowReader& reader, pictures::RowWriter& writer, std::string& reading,
            std::string& writing);
  // The host of the last run that ended, with its block and recorded values.
  runner::Host* lastHost() { return last_.get(); }
  std::unique_ptr<runner::Host> TakeLastHost() { return std::move(last_); }

 private:
  class Streams;
  runner::EntryProc entry_;
  pictures::PictureInfo info_;
  std::function<void(runner::Host&)> prepare_;
  std::function<void(int, int)> progress_;
  std::unique_ptr<runner::Host> last_;
};

}  // namespace vantrel::cli
