#include "render/chromium_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

extern char** environ;

namespace kestrine {

namespace {

// Waits at most `milliseconds` for the process to end, on its pidfd, not a
// clock; true when it ended.
bool WaitForExit(pid_t pid, int milliseconds) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd watch{pidfd, POLLIN, 0};
    const int ready = ::poll(&watch, 1, milliseconds);
    ::close(pidfd);
    if (ready <= 0) return false;
  }
  return ::waitpid(pid, nullptr, pidfd >= 0 ? 0 : WNOHANG) == pid;
}

std::string TemporaryProfile() {
  const char* folder = std::getenv("TMPDIR");
  std::string path =
      std::string(folder != nullptr && *folder ? folder : "/tmp") + "/kestrine-chromium-XXXXXX";
  if (::mkdtemp(path.data()) == nullptr) return {};
  return path;
}

}  // namespace

std::string ChromiumProcess::Executable() {
  const char* configured = std::getenv("KESTRINE_CHROMIUM");
  for (const char* candidate : {configured, static_cast<const char*>("/usr/bin/chromium")}) {
    if (candidate != nullptr && *candidate != '\0' && ::access(candidate, X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

Result<ChromiumProcess> ChromiumProcess::Start(const std::string& executable) {
  ChromiumProcess process;
  process.profile_ = TemporaryProfile();
  if (process.profile_.empty()) return Error{ErrorKind::Io, "no temporary folder for a profile"};
  int toBrowser[2];
  int fromBrowser[2];
  if (::pipe2(toBrowser, O_CLOEXEC) != 0) return Error{ErrorKind::Io, "no pipe for the browser"};
  if (::pipe2(fromBrowser, O_CLOEXEC) != 0) {
    ::close(toBrowser[0]);
    ::close(toBrowser[1]);
    return Error{ErrorKind::Io, "no pipe for the browser"};
  }
  // Above 4, so putting one on 3 never overwrites the other before it moves.
  UniqueFd browserReads(::fcntl(toBrowser[0], F_DUPFD_CLOEXEC, 10));
  UniqueFd browserWrites(::fcntl(fromBrowser[1], F_DUPFD_CLOEXEC, 10));
  ::close(toBrowser[0]);
  ::close(fromBrowser[1]);
  process.commands_.Reset(toBrowser[1]);
  process.answers_.Reset(fromBrowser[0]);
  std::vector<std::string> args = {
      executable, "--headless", "--remote-debugging-pipe", "--user-data-dir=" + process.profile_,
      "--no-first-run", "--no-default-browser-check", "--disable-gpu",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-extensions", "--disable-quic", "--mute-audio", "--hide-scrollbars",
      // Every tab renders as if in front: lazy
      // images and scroll observers need it.
      "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
      "--disable-backgrounding-occluded-windows", "--window-size=1280,720"};
  // Chromium refuses to start its sandbox as root.
  if (::geteuid() == 0) {
    args.emplace_back("--no-sandbox");
    process.sandboxNote_ = "Chromium runs without its sandbox: Kestrine runs as root";
  }
  args.emplace_back("about:blank");
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // The protocol's pipe is fds 3 and 4 of the browser; its chatter goes
  // nowhere.
  posix_spawn_file_actions_adddup2(&actions, browserReads.get(), 3);
  posix_spawn_file_actions_adddup2(&actions, browserWrites.get(), 4);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const int spawned =
      ::posix_spawn(&process.pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    process.pid_ = -1;
    return Error{ErrorKind::Missing, "cannot start " + executable};
  }
  return process;
}

ChromiumProcess::ChromiumProcess(ChromiumProcess&& other) noexcept { *this = std::move(other); }

ChromiumProcess& ChromiumProcess::operator=(ChromiumProcess&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = std::exchange(other.pid_, -1);
    commands_ = std::move(other.commands_);
    answers_ = std::move(other.answers_);
    profile_ = std::move(other.profile_);
    sandboxNote_ = std::move(other.sandboxNote_);
    other.profile_.clear();
  }
  return *this;
}

ChromiumProcess::~ChromiumProcess() {
  Stop();
  answers_.Reset();
}

void ChromiumProcess::Stop() {
  // With its command pipe closed the browser closes itself.
  commands_.Reset();
  if (pid_ > 0) {
    if (!WaitForExit(pid_, 2000)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  if (!profile_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
    profile_.clear();
  }
}

}  // namespace kestrine
