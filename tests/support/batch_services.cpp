#include "tests/support/batch_services.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace vantrel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Answer {
  int status;
  std::string output;  // standard output; standard error goes with it
};

Answer Run(const std::string& command) {
  FILE* pipe = popen(("( " + command + " ) 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, "cannot run " + command};
  std::string output;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int raw = pclose(pipe);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, output};
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool Installed(const std::string& program) { return Run("command -v " + program).status == 0; }

std::string UserName() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : std::to_string(geteuid());
}

// Asks `ready` every tenth of a second for at most `seconds`, while every one
// of `daemons` runs; answers "" once ready, else why not.
template <typename Ready>
std::string AwaitReady(const std::vector<Daemon*>& daemons, const std::vector<std::string>& names, int seconds,
                       Ready ready) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    for (std::size_t i = 0; i < daemons.size(); ++i)
      if (!daemons[i]->Running()) return names[i] + " stopped: " + daemons[i]->LogTail();
    if (ready()) return "";
    std::this_thread::sleep_for(100ms);
  }
  std::string why = "not ready after " + std::to_string(seconds) + " s";
  for (std::size_t i = 0; i < daemons.size(); ++i) why += "; " + names[i] + ": " + daemons[i]->LogTail();
  return why;
}

}  // namespace

Daemon::Daemon(const std::vector<std::string>& argv, const fs::path& log) : log_(log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ) != 0) pid_ = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

bool Daemon::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  // Gone: what it left in its group goes too.
  kill(-pid_, SIGKILL);
  pid_ = -1;
  return false;
}

Daemon::~Daemon() {
  if (!Running()) return;
  kill(-pid_, SIGTERM);
  for (int i = 0; i < 50 && Running(); ++i) std::this_thread::sleep_for(100ms);
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::string Daemon::LogTail() const {
  std::ifstream in(log_);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string tail;
  for (std::size_t i = lines.size() > 6 ? lines.size() - 6 : 0; i < lines.size(); ++i) tail += lines[i] + " | ";
  return tail.empty() ? "(nothing logged)" : tail;
}

int SpareLoopbackPort() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  if (s >= 0) close(s);
  return port;
}

SshLogins::SshLogins(const fs::path& folder, const std::vector<std::string>& logins) {
  fs::create_directories(folder);
  if (!fs::exists("/usr/sbin/sshd") || !Installed("ssh")) {
    why = "sshd or ssh is not installed (Debian's openssh-server, openssh-client: bash scripts/setup.sh test)";
    return;
  }
  const std::string key = (folder / "key").string(), hostKey = (folder / "host_key").string();
  const Answer made = Run("ssh-keygen -q -t ed25519 -N '' -f " + Quote(key) + " && ssh-keygen -q -t ed25519 -N '' -f " +
                          Quote(hostKey) + " && cp " + Quote(key + ".pub") + " " + Quote((folder / "authorized_keys").string()));
  if (made.status != 0) {
    why = "cannot make the test's keys: " + made.output;
    return;
  }
  // sshd started by root wants the folder its unprivileged part runs in,
  // which the packaged service makes at boot.
  if (geteuid() == 0 && !fs::exists("/run/sshd")) {
    std::error_code error;
    madePrivilegeFolder_ = fs::create_directory("/run/sshd", error);
  }
  const int port = SpareLoopbackPort();
  const std::string user = UserName();
  const fs::path serverConfig = folder / "sshd_config", clientConfig = folder / "ssh_config";
  std::ofstream(serverConfig) << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << hostKey
                              << "\nAuthorizedKeysFile " << (folder / "authorized_keys").string()
                              << "\nPidFile none\nUsePAM no\nStrictModes no\nPasswordAuthentication no\n"
                                 "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\nAllowUsers "
                              << user << "\n";
  std::ofstream client(clientConfig);
  client << "Host";
  for (const std::string& login : logins) client << " " << login;
  client << "\n  HostName 127.0.0.1\n  Port " << port << "\n  User " << user << "\n  IdentityFile " << key
         << "\n  IdentitiesOnly yes\n  BatchMode yes\n  StrictHostKeyChecking no\n  UserKnownHostsFile /dev/null\n"
            "  LogLevel ERROR\n";
  client.close();
  // ssh with the test's configuration. A connection the server resets or
  // closes before the key exchange has run nothing, and is tried again a few
  // times: ssh says so by exit status 255 and "kex_exchange_identification:
  // read: Connection reset by peer" (seen now and then on a loaded machine,
  // though the server had answered before).
  const fs::path ssh = folder / "ssh";
  std::ofstream(ssh) << "#!/bin/sh\n"
                        "err=$(mktemp)\n"
                        "for try in 1 2 3 4 5; do\n"
                        "  ssh -F " << Quote(clientConfig.string()) << " \"$@\" 2>\"$err\"\n"
                        "  status=$?\n"
                        "  [ $status -eq 255 ] && grep -Eq 'kex_exchange_identification|Connection reset by' \"$err\" || break\n"
                        "  sleep 1\n"
                        "done\n"
                        "cat \"$err\" >&2\n"
                        "rm -f \"$err\"\n"
                        "exit $status\n";
  fs::permissions(ssh, fs::perms::owner_all);
  sshd_ = std::make_unique<Daemon>(std::vector<std::string>{"/usr/sbin/sshd", "-D", "-e", "-f", serverConfig.string()},
                                   folder / "sshd.log");
  // Ready once a login runs a command.
  why = AwaitReady({sshd_.get()}, {"sshd"}, 15,
                   [&] { return Run(Quote(ssh.string()) + " " + logins.front() + " true").status == 0; });
  // GNU parallel keeps its files under HOME: the test's folder, not the user's.
  environment = "HOME=" + Quote(folder.string()) + " PARALLEL_SSH=" + Quote(ssh.string());
}

SshLogins::~SshLogins() {
  sshd_.reset();
  std::error_code error;
  if (madePrivilegeFolder_) fs::remove("/run/sshd", error);
}

SlurmNode::SlurmNode(const fs::path& folder) {
  for (const char* program : {"munged", "mungekey", "slurmctld", "slurmd", "sbatch"})
    if (!Installed(program)) {
      why = std::string(program) + " is not installed (Debian's munge, slurm-wlm: bash scripts/setup.sh test)";
      return;
    }
  fs::create_directories(folder / "state");
  fs::create_directories(folder / "spool");
  const std::string dir = folder.string(), key = dir + "/munge.key", socket = dir + "/munge.socket";
  const Answer made = Run("mungekey --create --keyfile=" + Quote(key));
  if (made.status != 0) {
    why = "cannot make the munge key: " + made.output;
    return;
  }
  daemons_.push_back(std::make_unique<Daemon>(
      std::vector<std::string>{"munged", "--foreground", "--key-file=" + key, "--socket=" + socket,
                               "--pid-file=" + dir + "/munged.pid", "--seed-file=" + dir + "/munged.seed"},
      folder / "munged.log"));
  why = AwaitReady({daemons_[0].get()}, {"munged"}, 10, [&] { return fs::exists(socket); });
  if (!why.empty()) return;

  char host[256] = {};
  gethostname(host, sizeof host - 1);
  const std::string shortHost = std::string(host).substr(0, std::string(host).find('.'));
  const std::string user = UserName(), conf = dir + "/slurm.conf";
  // No cgroups, no systemd, no accounting: processes tracked through /proc,
  // tasks started as they are.
  std::ofstream(conf) << "ClusterName=vantrel\nSlurmctldHost=" << shortHost << "(127.0.0.1)\nSlurmUser=" << user
                      << "\nSlurmdUser=" << user << "\nAuthType=auth/munge\nCredType=cred/munge\nAuthInfo=socket="
                      << socket << "\nSlurmctldPort=" << SpareLoopbackPort() << "\nSlurmdPort=" << SpareLoopbackPort()
                      << "\nStateSaveLocation=" << dir << "/state\nSlurmdSpoolDir=" << dir
                      << "/spool\nSlurmctldPidFile=" << dir << "/slurmctld.pid\nSlurmdPidFile=" << dir
                      << "/slurmd.pid\nProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
                         "JobAcctGatherType=jobacct_gather/none\nAccountingStorageType=accounting_storage/none\n"
                         "SwitchType=switch/none\nMpiDefault=none\nSchedulerType=sched/builtin\n"
                         "SelectType=select/cons_tres\nSelectTypeParameters=CR_CPU\nReturnToService=2\n"
                         "NodeName=vantrel NodeHostname="
                      << shortHost << " NodeAddr=127.0.0.1 CPUs=" << std::max(1u, std::thread::hardware_concurrency())
                      << " State=UNKNOWN\nPartitionName=batch Nodes=vantrel Default=YES MaxTime=INFINITE State=UP\n";
  daemons_.push_back(std::make_unique<Daemon>(std::vector<std::string>{"slurmctld", "-D", "-f", conf},
                                              folder / "slurmctld.log"));
  daemons_.push_back(std::make_unique<Daemon>(std::vector<std::string>{"slurmd", "-D", "-N", "vantrel", "-f", conf},
                                              folder / "slurmd.log"));
  environment = "SLURM_CONF=" + Quote(conf);
  why = AwaitReady({daemons_[0].get(), daemons_[1].get(), daemons_[2].get()}, {"munged", "slurmctld", "slurmd"}, 30,
                   [&] { return Run(environment + " sinfo -h -N -o %t").output == "idle\n"; });
}

SlurmNode::~SlurmNode() {
  if (daemons_.size() == 3 && daemons_[1]->Running()) Run(environment + " scancel --user=" + Quote(UserName()));
  while (!daemons_.empty()) daemons_.pop_back();
}

std::vector<std::string> SlurmNode::Wait(const std::string& job, int seconds) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until && !Run(environment + " squeue -h -j " + job).output.empty())
    std::this_thread::sleep_for(200ms);
  std::vector<std::string> states;
  std::istringstream lines(Run(environment + " scontrol -o show job " + job).output);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find(" JobState=");
    if (at != std::string::npos) states.push_back(line.substr(at + 10, line.find(' ', at + 1) - at - 10));
  }
  std::sort(states.begin(), states.end());
  return states;
}

std::vector<std::string> CodeBlocks(const fs::path& markdown, const std::string& title) {
  std::ifstream in(markdown);
  std::vector<std::string> blocks;
  bool inSection = false, inBlock = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## " + title;
    const bool code = inSection && line.rfind("    ", 0) == 0;
    if (code && !inBlock) blocks.emplace_back();
    if (code) blocks.back() += line.substr(4) + "\n";
    inBlock = code;
  }
  return blocks;
}

std::string Substituted(std::string text, const std::vector<std::pair<std::string, std::string>>& replacements) {
  for (const auto& [from, to] : replacements)
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  return text;
}

}  // namespace vantrel::testing
