#include "cli/batch.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "cli/filter_job.h"
#include "cli/host_state.h"
#include "cli/platform.h"
#include "cli/progress_bar.h"

namespace vantrel::cli {
namespace {

namespace fs = std::filesystem;

// What a worker's reader thread hands to the batch: a line the worker wrote,
// or its end with its exit status.
struct Event {
  std::size_t file;
  bool ended;
  int status;
  std::string line;
};

class EventQueue {
 public:
  void Push(Event e) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(e));
    }
    ready_.notify_one();
  }
  Event Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !events_.empty(); });
    Event e = std::move(events_.front());
    events_.pop_front();
    return e;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Event> events_;
};

// Reads a worker's output line by line until it ends, then waits for it.
void Follow(platform::Child child, std::size_t file, EventQueue& queue) {
  std::string partial;
  char buffer[4096];
  for (long n; (n = platform::ReadChild(child, buffer, sizeof buffer)) > 0;) {
    partial.append(buffer, std::size_t(n));
    for (std::size_t end; (end = partial.find('\n')) != std::string::npos; partial.erase(0, end + 1)) {
      std::string line = partial.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      queue.Push({file, false, 0, line});
    }
  }
  if (!partial.empty()) queue.Push({file, false, 0, partial});
  queue.Push({file, true, platform::WaitChild(child), ""});
}

std::string Kept(const std::string& file, std::size_t index) {
  return file + ".part" + std::to_string(index) + "-" + std::to_string(platform::ProcessId());
}

// Puts the kept file of the last successful worker in place of `file`, and
// removes the others.
void KeepLast(const std::string& file, const std::vector<int>& status) {
  if (file.empty()) return;
  std::error_code ignored;
  bool placed = false;
  for (std::size_t i = status.size(); i-- > 0;) {
    const std::string part = Kept(file, i);
    if (!placed && status[i] == kSucceeded && fs::exists(part, ignored)) {
      fs::rename(part, file, ignored);
      placed = !ignored;
    }
    fs::remove(part, ignored);
  }
}

// A batch under way: its workers, what each reports, and the bar.
class BatchRun {
 public:
  BatchRun(const BatchSettings& settings, const std::vector<BatchFile>& files, std::vector<FileResult>& results)
      : settings_(settings), files_(files), results_(results), status_(files.size(), -1),
        fraction_(files.size(), 0.0), bar_(settings.progress) {
    results_.assign(files.size(), FileResult{});
    for (std::size_t i = 0; i < files.size(); ++i) {
      results_[i].input = files[i].input;
      results_[i].output = files[i].output;
      results_[i].kind = FileResult::Cancelled;  // until it has run
    }
  }

  // Runs every file, at most `jobs` workers at a time, until each has
  // ended; answers the tool's exit status.
  int Run() {
    const std::size_t jobs = std::size_t(settings_.jobs < 1 ? 1 : settings_.jobs);
    while (next_ < files_.size() && running_.size() < jobs) Start(next_++);
    // A worker that could not start leaves its message and end in the queue.
    while (pending_ > 0) {
      const Event e = queue_.Pop();
      if (e.ended) Ended(e);
      else Said(e);
      Draw();
    }
    bar_.Clear();
    KeepLast(settings_.paramsFile, status_);
    KeepLast(settings_.recordFile, status_);
    if (platform::Interrupted()) return kCancelled;
    return failed_ == 0 ? kSucceeded : kFailed;
  }

 private:
  void Start(std::size_t i) {
    ++pending_;
    std::vector<std::string> args = {platform::ProgramPath(), "--worker"};
    args.insert(args.end(), settings_.workerOptions.begin(), settings_.workerOptions.end());
    if (!settings_.paramsFile.empty())
      args.insert(args.end(), {"--params", settings_.paramsFile, "--params-to", Kept(settings_.paramsFile, i)});
    if (!settings_.recordFile.empty()) args.insert(args.end(), {"--record", Kept(settings_.recordFile, i)});
    args.insert(args.end(), {files_[i].input, "-o", files_[i].output});
    platform::Child child;
    if (std::string why = platform::StartChild(args, child); !why.empty()) {
      queue_.Push({i, false, 0, files_[i].input + ": " + why});
      queue_.Push({i, true, kFailed, ""});
      return;
    }
    running_.push_back(i);
    readers_.emplace(i, std::thread(Follow, child, i, std::ref(queue_)));
  }

  // A line a worker printed: how far it is, a warning, or a message.
  void Said(const Event& e) {
    if (e.line.rfind(kProgressLine, 0) == 0) {
      fraction_[e.file] = std::atof(e.line.c_str() + std::strlen(kProgressLine)) / 1000.0;
      return;
    }
    const bool warning = e.line.rfind(kWarningLine, 0) == 0;
    const std::string text = warning ? e.line.substr(std::strlen(kWarningLine)) : e.line;
    (warning ? results_[e.file].warning : results_[e.file].message) = text;
    bar_.Clear();
    std::fprintf(stderr, "%s\n", text.c_str());
  }

  // A worker's end: its reader joined at once, so that a long batch does not
  // pile up finished threads, its result, and the next file started.
  void Ended(const Event& e) {
    --pending_;
    if (auto reader = readers_.find(e.file); reader != readers_.end()) {
      reader->second.join();
      readers_.erase(reader);
    }
    status_[e.file] = e.status;
    std::erase(running_, e.file);
    ++done_;
    FileResult& result = results_[e.file];
    result.kind = e.status == kSucceeded ? FileResult::Written
                  : e.status == kCancelled ? FileResult::Cancelled
                                           : FileResult::Failed;
    if (result.kind != FileResult::Written && result.message.empty())
      result.message = files_[e.file].input + ": the worker ended with status " + std::to_string(e.status);
    if (e.status == kSucceeded) {
      bar_.Clear();
      if (!settings_.quiet) std::printf("%s\n", files_[e.file].output.c_str());
      std::fflush(stdout);
    } else {
      ++failed_;
    }
    if (!platform::Interrupted() && next_ < files_.size()) Start(next_++);
  }

  void Draw() {
    std::string detail;
    double sum = double(done_);
    for (std::size_t i : running_) {
      sum += fraction_[i];
      detail += fs::path(files_[i].input).filename().string() + " " + std::to_string(int(fraction_[i] * 100)) + "%  ";
    }
    bar_.Show(std::to_string(done_) + "/" + std::to_string(files_.size()) + " files", sum / double(files_.size()), detail);
  }

  const BatchSettings& settings_;
  const std::vector<BatchFile>& files_;
  std::vector<FileResult>& results_;
  EventQueue queue_;
  std::map<std::size_t, std::thread> readers_;
  std::vector<int> status_;
  std::vector<double> fraction_;
  std::vector<std::size_t> running_;
  ProgressBar bar_;
  std::size_t next_ = 0, done_ = 0, failed_ = 0, pending_ = 0;
};

}  // namespace

int RunBatch(const BatchSettings& settings, const std::vector<BatchFile>& files, std::vector<FileResult>& results) {
  return BatchRun(settings, files, results).Run();
}

}  // namespace vantrel::cli
