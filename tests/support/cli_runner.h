#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kestrine::testing {

// Runs kestrine-cli as a user would, its output and errors gathered in one
// text, and ends it with a signal after a while when asked (SIGINT is
// Ctrl-C, SIGKILL a crash). Every wait is bounded.
struct CliRun {
  int status = -1;  // the exit status; -1 when a signal ended it
  std::string output;
  long peakKilobytes = 0;  // the process's largest resident set
};

// Signals the run once `signalWhen`, given the output so far, first answers
// true (polled every 10 ms).
inline CliRun RunCliUntil(const std::vector<std::string>& arguments,
                          const std::function<bool(const std::string& output)>& signalWhen,
                          int signal = SIGINT) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv{const_cast<char*>(KESTRINE_CLI_PATH)};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::dup2(pipeEnds[1], 1);
    ::dup2(pipeEnds[1], 2);
    execv(KESTRINE_CLI_PATH, argv.data());
    _exit(127);
  }
  ::close(pipeEnds[1]);
  ::fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
  CliRun run;
  bool signalled = !signalWhen;
  int status = 0;
  for (int i = 0; i < 6000; ++i) {
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
      run.output.append(buffer, static_cast<std::size_t>(got));
    }
    if (!signalled && signalWhen(run.output)) {
      kill(child, signal);
      signalled = true;
    }
    rusage usage{};
    if (wait4(child, &status, WNOHANG, &usage) == child) {
      run.peakKilobytes = usage.ru_maxrss;
      while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<std::size_t>(got));
      }
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (run.status == -1 && waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  ::close(pipeEnds[0]);
  return run;
}

inline CliRun RunCli(const std::vector<std::string>& arguments,
                     std::chrono::milliseconds signalAfter = std::chrono::milliseconds(0),
                     int signal = SIGINT) {
  if (signalAfter.count() == 0) return RunCliUntil(arguments, nullptr, signal);
  const auto start = std::chrono::steady_clock::now();
  return RunCliUntil(
      arguments,
      [&](const std::string&) { return std::chrono::steady_clock::now() - start >= signalAfter; },
      signal);
}

// True once `folder` holds at least `count` files: a run under way, past
// its start, whatever the machine's speed.
inline bool HoldsFiles(const std::filesystem::path& folder, int count) {
  std::error_code error;
  int files = 0;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end;
       !error && it != end && files < count; it.increment(error)) {
    files += it->is_regular_file(error) ? 1 : 0;
  }
  return files >= count;
}

}  // namespace kestrine::testing
