// What the writers that compress on every core share: rows handed over top
// to bottom are cut into pieces of a fixed number of rows, worker threads
// turn each piece into the bytes the file stores, and the finished pieces
// are taken back in the order their rows came, while a few more are on
// their way, so that memory stays a few pieces however tall the picture.
#pragma once

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "pictures/streamed_writer.h"

namespace vantrel::pictures {

// What went wrong, in a line.
inline std::string Reason(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "out of memory";
  std::string what = e.what();
  std::replace(what.begin(), what.end(), '\n', ' ');
  return what;
}

// Runs `call`, which answers "" or a reason, turning an exception into its
// reason.
template <class Call>
std::string Guarded(const Call& call) {
  try {
    return call();
  } catch (const std::exception& e) {
    return Reason(e);
  }
}

// What every piece holds: its rows as handed over, and whether a worker is
// done with it and what went wrong there.
struct PieceRows {
  int rows = 0;
  std::vector<uint8_t> raw;
  std::string error;
  bool done = false;  // under the line's lock
};

// `Piece` derives from PieceRows.
template <class Piece>
class PieceLine {
 public:
  using PiecePtr = std::shared_ptr<Piece>;

  PieceLine() = default;
  PieceLine(const PieceLine&) = delete;
  PieceLine& operator=(const PieceLine&) = delete;
  ~PieceLine() { Stop(); }

  // Starts `threads` workers (no more than there are pieces) that run
  // `work` on each piece sent; rows of `rowBytes` bytes, `height` of them,
  // `pieceRows` a piece. Enough pieces may be on their way to keep every
  // worker busy while the caller waits for the oldest, and no more.
  std::string Start(int threads, std::size_t rowBytes, int height, int pieceRows, std::function<void(Piece&)> work) {
    rowBytes_ = rowBytes;
    height_ = height;
    pieceRows_ = std::max(1, std::min(pieceRows, height));
    threads = std::max(1, std::min(threads, (height + pieceRows_ - 1) / pieceRows_));
    maxInFlight_ = std::size_t(threads) * 2;
    work_ = std::move(work);
    try {
      for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error& e) {
      return std::string("cannot start the threads (") + e.what() + ")";
    }
    return "";
  }

  // "" when `count` more rows at `rows` may be taken, else why not.
  std::string CheckRows(const void* rows, int count) const {
    if (count < 0 || count > height_ - rowsTaken_)
      return std::to_string(count) + " rows past row " + std::to_string(rowsTaken_) + " of a picture " +
             std::to_string(height_) + " rows high";
    if (count > 0 && rows == nullptr) return "no rows given";
    return "";
  }

  // Cuts `count` rows, `stride` bytes apart, into pieces. `begin(piece)`
  // readies a new piece (its rows and raw bytes are set), `full(piece)`
  // sees a full one before it goes to the workers, and `deliver(piece)`
  // takes the finished ones in order; each answers "" or a reason, which
  // ends the cutting.
  template <class Begin, class Full, class Deliver>
  std::string Take(const uint8_t* rows, int count, std::ptrdiff_t stride, const Begin& begin, const Full& full,
                   const Deliver& deliver) {
    for (int r = 0; r < count; ++r) {
      if (filling_ == nullptr) {
        filling_ = std::make_shared<Piece>();
        filling_->rows = std::min(pieceRows_, height_ - rowsTaken_);
        filling_->raw.resize(std::size_t(filling_->rows) * rowBytes_);
        begin(*filling_);
      }
      std::memcpy(filling_->raw.data() + std::size_t(rowsInPiece_) * rowBytes_, rows + std::ptrdiff_t(r) * stride,
                  rowBytes_);
      ++rowsInPiece_;
      ++rowsTaken_;
      if (rowsInPiece_ < filling_->rows) continue;
      full(filling_);
      {
        std::lock_guard<std::mutex> hold(lock_);
        queue_.push_back(filling_);
      }
      changed_.notify_all();
      inFlight_.push_back(std::move(filling_));
      rowsInPiece_ = 0;
      if (std::string why = Drain(maxInFlight_ - 1, deliver); !why.empty()) return why;
    }
    return "";
  }

  // Hands the finished pieces at the head of the line to `deliver`, waiting
  // for them while more than `keep` are on their way; the reason of the
  // first that failed or could not be delivered.
  template <class Deliver>
  std::string Drain(std::size_t keep, const Deliver& deliver) {
    while (!inFlight_.empty()) {
      const PiecePtr head = inFlight_.front();
      {
        std::unique_lock<std::mutex> hold(lock_);
        if (!head->done && inFlight_.size() <= keep) break;
        changed_.wait(hold, [&] { return head->done; });
      }
      if (!head->error.empty()) return head->error;
      if (std::string why = deliver(*head); !why.empty()) return why;
      inFlight_.pop_front();
    }
    return "";
  }

  // Once every row is in: hands the last pieces to `deliver` as they finish
  // and stops the workers; the reason when rows are missing or a piece
  // failed or could not be delivered.
  template <class Deliver>
  std::string Finish(const Deliver& deliver) {
    if (rowsTaken_ < height_)
      return "the picture ended after " + std::to_string(rowsTaken_) + " of " + std::to_string(height_) + " rows";
    if (std::string why = Drain(0, deliver); !why.empty()) return why;
    Stop();
    return "";
  }

  // Stops the workers; pieces not yet begun are dropped.
  void Stop() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stopping_ = true;
      queue_.clear();
    }
    changed_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }

  int rowsTaken() const { return rowsTaken_; }
  // For workers that wait on each other's pieces.
  std::mutex& lock() { return lock_; }
  std::condition_variable& changed() { return changed_; }

 private:
  void Work() {
    for (;;) {
      PiecePtr piece;
      {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        piece = std::move(queue_.front());
        queue_.pop_front();
      }
      try {
        work_(*piece);
      } catch (const std::exception& e) {
        piece->error = Reason(e);
      }
      {
        std::lock_guard<std::mutex> hold(lock_);
        piece->done = true;
      }
      changed_.notify_all();
    }
  }

  std::size_t rowBytes_ = 0;
  int height_ = 0;
  int pieceRows_ = 1;
  std::size_t maxInFlight_ = 2;
  std::function<void(Piece&)> work_;

  // The caller's side.
  int rowsTaken_ = 0;
  int rowsInPiece_ = 0;
  PiecePtr filling_;
  std::deque<PiecePtr> inFlight_;  // sent and not yet delivered, in order

  // The workers' side, under `lock_`.
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<PiecePtr> queue_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// What every writer's State holds for StreamedWriter: its line, the first
// reason it failed for, and whether the file is finished.
template <class Piece>
struct LineState {
  PieceLine<Piece> line;
  std::string error;
  bool finished = false;
  // What of the header the file is written without, because its library
  // refused it, and why; "" when nothing.
  std::string leftOut;

  // Keeps the first reason and stops the workers; answers the first reason.
  std::string Fail(const std::string& why) {
    if (error.empty()) error = why;
    line.Stop();
    return error;
  }
};

// Closes a file written, and sets it to null; "" or why its last bytes
// could not be written.
inline std::string CloseWritten(std::FILE*& file) {
  std::FILE* f = file;
  file = nullptr;
  return std::fclose(f) == 0 ? "" : std::string("cannot write the file (") + std::strerror(errno) + ")";
}

// Why a call of a file library failed: the system's reason when a write
// failed, else `what` with the library's own message when it left one.
inline std::string LibraryReason(int writeErrno, const char* what, const std::string& message) {
  if (writeErrno != 0) return std::string("cannot write the file (") + std::strerror(writeErrno) + ")";
  return std::string(what) + (message.empty() ? "" : ": " + message);
}

// Hands rows to `line`, numbering each piece in the order it starts (the
// strip index of the writers that place their strips by number).
template <class Piece, class Index, class Deliver>
std::string TakeNumbered(PieceLine<Piece>& line, Index& next, const uint8_t* rows, int count, std::ptrdiff_t stride,
                         const Deliver& deliver) {
  return line.Take(
      rows, count, stride, [&](Piece& piece) { piece.index = next++; }, [](const std::shared_ptr<Piece>&) {},
      deliver);
}

// StreamedWriter's calls, around a format's `State`: Start(path, header,
// tuning), Take(rows, count, stride) and End() answering "" or a reason,
// Fail(why) keeping the first reason, and `line`, `error` and `finished`.
// After a failure every call answers the first reason. A format's writer
// file defines its State and then instantiates the class.
template <class Header, class Tuning>
StreamedWriter<Header, Tuning>::StreamedWriter() = default;

template <class Header, class Tuning>
StreamedWriter<Header, Tuning>::~StreamedWriter() = default;

template <class Header, class Tuning>
std::string StreamedWriter<Header, Tuning>::Open(const std::string& path, const Header& header, const Tuning& tuning) {
  if (state_ != nullptr) return "the writer is already open";
  state_ = std::make_unique<State>();
  const std::string why = Guarded([&] { return state_->Start(path, header, tuning); });
  return why.empty() ? why : state_->Fail(why);
}

template <class Header, class Tuning>
std::string StreamedWriter<Header, Tuning>::Write(const void* rows, int count, std::ptrdiff_t stride) {
  if (state_ == nullptr) return "the writer is not open";
  State& s = *state_;
  if (!s.error.empty()) return s.error;
  if (s.finished) return "the file is already finished";
  if (std::string why = s.line.CheckRows(rows, count); !why.empty()) return s.Fail(why);
  const std::string why = Guarded([&] { return s.Take(static_cast<const uint8_t*>(rows), count, stride); });
  return why.empty() ? why : s.Fail(why);
}

template <class Header, class Tuning>
std::string StreamedWriter<Header, Tuning>::LeftOut() const {
  return state_ != nullptr ? state_->leftOut : "";
}

template <class Header, class Tuning>
std::string StreamedWriter<Header, Tuning>::Finish() {
  if (state_ == nullptr) return "the writer is not open";
  State& s = *state_;
  if (!s.error.empty()) return s.error;
  if (s.finished) return "";
  const std::string why = Guarded([&] { return s.End(); });
  return why.empty() ? why : s.Fail(why);
}

}  // namespace vantrel::pictures
