// The operating system's services for the command-line host, on Windows.
#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdio>

#include "cli/platform.h"

namespace vantrel::cli::platform {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

namespace {


BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted.store(true);
  return TRUE;
}

// One argument quoted as the C runtime splits a command line.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  std::size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, '\\');
  return out + "\"";
}

}  // namespace

bool ShowsDialogs() { return true; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

void CatchInterrupt() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }


std::string ProgramPath() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

int ProcessId() { return int(GetCurrentProcessId()); }

std::string FlushToDisk(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "cannot open it again (error " + std::to_string(GetLastError()) + ")";
  const bool flushed = FlushFileBuffers(file) != 0;
  const DWORD error = GetLastError();
  CloseHandle(file);
  return flushed ? "" : "cannot flush it (error " + std::to_string(error) + ")";
}

std::string RenameWithoutReplacing(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return "";
  const DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return "already there";
  return "error " + std::to_string(error);
}

// Windows writes back on its own; FlushToDisk does the rest.
std::shared_ptr<void> FlushWhileWriting(const std::string&) { return nullptr; }

namespace {

// Errors a process start may meet while the system is short of something
// for a moment (under Wine a batch worker's start has failed once in many
// runs with ERROR_INTERNAL_ERROR): the start is tried again, a few times,
// before the file fails.
bool StartMayWorkAgain(DWORD error) {
  return error == ERROR_INTERNAL_ERROR || error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_NO_SYSTEM_RESOURCES;
}

}  // namespace

std::string StartChild(const std::vector<std::string>& args, Child& child) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    line += Quoted(a);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = startup.hStdError = writeEnd;
  PROCESS_INFORMATION info{};
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 1;; ++attempt) {
    started = CreateProcessA(args[0].c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    error = GetLastError();
    if (started || attempt == 3 || !StartMayWorkAgain(error)) break;
    Sleep(DWORD(200 * attempt));
  }
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return "cannot start " + args[0] + " (error " + std::to_string(error) + ")";
  }
  CloseHandle(info.hThread);
  child.process = reinterpret_cast<intptr_t>(info.hProcess);
  child.output = reinterpret_cast<intptr_t>(readEnd);
  return "";
}

long ReadChild(const Child& child, char* buffer, std::size_t size) {
  DWORD n = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(child.output), buffer, DWORD(size), &n, nullptr)) return 0;
  return long(n);
}

int WaitChild(Child& child) {
  HANDLE process = reinterpret_cast<HANDLE>(child.process);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (child.output != -1) CloseHandle(reinterpret_cast<HANDLE>(child.output));
  child = Child{};
  return known ? int(code) : -1;
}

}  // namespace vantrel::cli::platform
