// The services a batch across machines meets, brought up on this machine for
// the tests that run the README's recipes: sshd on a spare loopback port with
// logins of a key made for the test, and a one-node Slurm cluster (munged,
// slurmctld and slurmd with a configuration written here). Each is stopped
// when its object goes, also when the test fails. Where a service cannot
// start (not installed, refused by the machine), `why` says so and the case
// skips with that reason.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vantrel::testing {

// Begins the message of every case skipped because a service cannot start
// here. CTest reports an entry whose output holds it as skipped
// (tests/CMakeLists.txt); a failure never prints it.
constexpr const char* kSkippedWithoutService = "Service cannot start here, case skipped: ";

// A program run in the background, in a process group of its own, its
// output in a log file. Destroying it ends that group: SIGTERM, then SIGKILL
// if it has not gone within a few seconds.
class Daemon {
 public:
  Daemon(const std::vector<std::string>& argv, const std::filesystem::path& log);
  ~Daemon();
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  bool Running();
  // The last lines of its log, to say why it stopped.
  std::string LogTail() const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path log_;
};

// A port on 127.0.0.1 that nothing listened on a moment ago.
int SpareLoopbackPort();

// sshd on a spare loopback port accepting a key made for the test, and an ssh
// configuration naming each of `logins` as a host that reaches it as the
// current user. GNU parallel uses it through PARALLEL_SSH.
class SshLogins {
 public:
  SshLogins(const std::filesystem::path& folder, const std::vector<std::string>& logins);
  ~SshLogins();

  std::string why;
  // Shell assignments that make `ssh` and GNU parallel use these logins.
  std::string environment;

 private:
  std::unique_ptr<Daemon> sshd_;
  bool madePrivilegeFolder_ = false;
};

// A one-node Slurm cluster on this machine: munged on a socket of its own,
// slurmctld and slurmd on spare ports, with plug-ins that need neither
// cgroups nor systemd, and no accounting.
class SlurmNode {
 public:
  explicit SlurmNode(const std::filesystem::path& folder);
  ~SlurmNode();

  std::string why;
  // Shell assignments that point Slurm's commands at this cluster.
  std::string environment;

  // Waits for every task of `job` to end (at most `seconds`) and answers the
  // final state of each, sorted ("COMPLETED", "FAILED", ...).
  std::vector<std::string> Wait(const std::string& job, int seconds) const;

 private:
  std::vector<std::unique_ptr<Daemon>> daemons_;  // stopped in reverse order
};

// The code blocks (lines indented by four spaces, the indent removed) of the
// section of a Markdown file under the heading `title`.
std::vector<std::string> CodeBlocks(const std::filesystem::path& markdown, const std::string& title);

// `text` with every `from` replaced by its `to`, in order.
std::string Substituted(std::string text, const std::vector<std::pair<std::string, std::string>>& replacements);

}  // namespace vantrel::testing
