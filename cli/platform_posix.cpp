// The operating system's services for the command-line host, on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "cli/platform.h"

extern char** environ;

namespace vantrel::cli::platform {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

namespace {


void OnInterrupt(int) { interrupted.store(true); }

}  // namespace

bool ShowsDialogs() { return false; }

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}


std::string RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return "";
  if (errno == EEXIST) return "already there";
  if (errno != EINVAL && errno != ENOSYS) return std::strerror(errno);
  // A file system without the one-step rename: a second name made only
  // where there is none, then the first taken away.
  if (link(from.c_str(), to.c_str()) != 0) return errno == EEXIST ? "already there" : std::strerror(errno);
  unlink(from.c_str());
  return "";
}

std::string ProgramPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, std::size_t(n)) : std::string("vantrel");
}

int ProcessId() { return int(getpid()); }

std::string FlushToDisk(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  int error;
  do error = fsync(fd) == 0 ? 0 : errno;
  while (error == EINTR);
  close(fd);
  return error == 0 || error == EINVAL || error == EROFS ? "" : std::strerror(error);
}

#ifdef __linux__
namespace {

// A thread that starts the write-back of a file's dirty pages at intervals
// without waiting for it, until it is dropped. The file is opened at the
// first interval that finds it: a writer may create it on a thread of its
// own a little later.
class Flusher {
 public:
  explicit Flusher(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}
  ~Flusher() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (fd_ >= 0) close(fd_);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, std::chrono::milliseconds(20), [this] { return stop_; })) {
      hold.unlock();
      if (fd_ < 0) fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ >= 0) sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
      hold.lock();
    }
  }

  std::string path_;
  int fd_ = -1;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

std::shared_ptr<void> FlushWhileWriting(const std::string& path) {
  try {
    return std::make_shared<Flusher>(path);
  } catch (const std::exception&) {
    return nullptr;
  }
}
#else
std::shared_ptr<void> FlushWhileWriting(const std::string&) { return nullptr; }
#endif

std::string StartChild(const std::vector<std::string>& args, Child& child) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::string("cannot make a pipe: ") + std::strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (error != 0) {
    close(fds[0]);
    return "cannot start " + args[0] + ": " + std::strerror(error);
  }
  child.process = pid;
  child.output = fds[0];
  return "";
}

long ReadChild(const Child& child, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = read(int(child.output), buffer, size);
    if (n >= 0 || errno != EINTR) return n < 0 ? 0 : long(n);
  }
}

int WaitChild(Child& child) {
  int status = 0;
  pid_t waited;
  while ((waited = waitpid(pid_t(child.process), &status, 0)) < 0 && errno == EINTR) {
  }
  if (child.output >= 0) close(int(child.output));
  child = Child{};
  // A worker whose end cannot be learnt has not succeeded.
  return waited >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vantrel::cli::platform
