// The operating system's services for the command-line host, on POSIX.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

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
