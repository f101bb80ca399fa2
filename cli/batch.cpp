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

}  // namespace

int RunBatch(const BatchSettings& settings, const std::vector<BatchFile>& files, std::vector<FileResult>& results) {
  results.assign(files.size(), FileResult{});
  for (std::size_t i = 0; i < files.size(); ++i) {
    results[i].input = files[i].input;
    results[i].output = files[i].output;
    results[i].kind = FileResult::Cancelled;  // until it has run
  }
  EventQueue queue;
  // A worker's reader is joined as soon as it has reported the end, so that
  // a long batch does not pile up finished threads.
  std::map<std::size_t, std::thread> readers;
  std::vector<int> status(files.size(), -1);
  std::vector<double> fraction(files.size(), 0.0);
  std::vector<std::size_t> running;
  ProgressBar bar(settings.progress);
  std::size_t next = 0, done = 0, failed = 0, pending = 0;

  auto start = [&](std::size_t i) {
    ++pending;
    std::vector<std::string> args = {platform::ProgramPath(), "--worker"};
    args.insert(args.end(), settings.workerOptions.begin(), settings.workerOptions.end());
    if (!settings.paramsFile.empty())
      args.insert(args.end(), {"--params", settings.paramsFile, "--params-to", Kept(settings.paramsFile, i)});
    if (!settings.recordFile.empty()) args.insert(args.end(), {"--record", Kept(settings.recordFile, i)});
    args.insert(args.end(), {files[i].input, "-o", files[i].output});
    platform::Child child;
    if (std::string why = platform::StartChild(args, child); !why.empty()) {
      queue.Push({i, false, 0, files[i].input + ": " + why});
      queue.Push({i, true, kFailed, ""});
      return;
    }
    running.push_back(i);
    readers.emplace(i, std::thread(Follow, child, i, std::ref(queue)));
  };
  auto draw = [&] {
    std::string detail;
    double sum = double(done);
    for (std::size_t i : running) {
      sum += fraction[i];
      detail += fs::path(files[i].input).filename().string() + " " + std::to_string(int(fraction[i] * 100)) + "%  ";
    }
    bar.Show(std::to_string(done) + "/" + std::to_string(files.size()) + " files", sum / double(files.size()), detail);
  };

  const std::size_t jobs = std::size_t(settings.jobs < 1 ? 1 : settings.jobs);
  while (next < files.size() && running.size() < jobs) start(next++);
  // A worker that could not start leaves its message and end in the queue.
  while (pending > 0) {
    Event e = queue.Pop();
    if (!e.ended) {
      if (e.line.rfind(kProgressLine, 0) == 0) {
        fraction[e.file] = std::atof(e.line.c_str() + std::strlen(kProgressLine)) / 1000.0;
      } else {
        const bool warning = e.line.rfind(kWarningLine, 0) == 0;
        const std::string text = warning ? e.line.substr(std::strlen(kWarningLine)) : e.line;
        (warning ? results[e.file].warning : results[e.file].message) = text;
        bar.Clear();
        std::fprintf(stderr, "%s\n", text.c_str());
      }
    } else {
      --pending;
      if (auto reader = readers.find(e.file); reader != readers.end()) {
        reader->second.join();
        readers.erase(reader);
      }
      status[e.file] = e.status;
      std::erase(running, e.file);
      ++done;
      FileResult& result = results[e.file];
      result.kind = e.status == kSucceeded ? FileResult::Written
                    : e.status == kCancelled ? FileResult::Cancelled
                                             : FileResult::Failed;
      if (result.kind != FileResult::Written && result.message.empty())
        result.message = files[e.file].input + ": the worker ended with status " + std::to_string(e.status);
      if (e.status == kSucceeded) {
        bar.Clear();
        if (!settings.quiet) std::printf("%s\n", files[e.file].output.c_str());
        std::fflush(stdout);
      } else {
        ++failed;
      }
      if (!platform::Interrupted() && next < files.size()) start(next++);
    }
    draw();
  }
  bar.Clear();
  KeepLast(settings.paramsFile, status);
  KeepLast(settings.recordFile, status);

  if (platform::Interrupted()) return kCancelled;
  return failed == 0 ? kSucceeded : kFailed;
}

}  // namespace vantrel::cli
