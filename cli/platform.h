// What the command-line host needs from the operating system: the terminal,
// Ctrl-C, and worker processes whose output it reads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::cli::platform {

// Whether the plug-in's own dialog can be shown: only where there is a
// window system, the Windows build.
bool ShowsDialogs();

bool StderrIsTerminal();
// Columns of the terminal on standard error; 80 when unknown.
int TerminalColumns();

// From now on Ctrl-C sets the interrupted flag instead of ending the process.
void CatchInterrupt();
// The flag, read as often as the filter asks whether to stop: once a pixel.
extern std::atomic<bool> interrupted;
inline bool Interrupted() { return interrupted.load(std::memory_order_relaxed); }

// Hands what the system still holds of the file at `path` to the disk, so
// that it survives a power loss once renamed into place. Answers "" or the
// error (file systems that cannot be synced count as synced).
std::string FlushToDisk(const std::string& path);
// While the answer is held, hands what has been written to the file at
// `path` to the disk every few hundredths of a second, so that the disk
// works while the file is still being written and FlushToDisk at its end
// has little left to wait for. Does nothing where the system cannot.
std::shared_ptr<void> FlushWhileWriting(const std::string& path);

// Renames the file at `from` to `to` only when nothing is there yet, in
// one step, so that a file another process put there meanwhile is kept.
// Answers "" or why not ("already there" when something is).
std::string RenameWithoutReplacing(const std::string& from, const std::string& to);

// The running program's own file.
std::string ProgramPath();
int ProcessId();

// A worker process whose standard output and error come to us through a pipe.
struct Child {
  intptr_t process = 0;
  intptr_t output = -1;
};
// Starts `args[0]` with `args`; answers "" or why it could not.
std::string StartChild(const std::vector<std::string>& args, Child& child);
// Reads what the child wrote, blocking; 0 at its end.
long ReadChild(const Child& child, char* buffer, std::size_t size);
// Waits for the child to end and answers its exit status (-1 when it was
// killed); closes what StartChild opened.
int WaitChild(Child& child);

}  // namespace vantrel::cli::platform
