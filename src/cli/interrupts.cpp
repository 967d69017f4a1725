#include "cli/interrupts.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace kestrine {

namespace {

sigset_t Signals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

void WaitForOne() {
  const sigset_t signals = Signals();
  int signal = 0;
  while (sigwait(&signals, &signal) != 0) {
  }
}

}  // namespace

void Interrupts::Block() {
  const sigset_t signals = Signals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void Interrupts::Unblock() {
  const sigset_t signals = Signals();
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

void Interrupts::Watch(std::function<void()> first) {
  std::thread([first = std::move(first)] {
    WaitForOne();
    first();
    WaitForOne();
    _exit(130);
  }).detach();
}

void Interrupts::Wait() { WaitForOne(); }

}  // namespace kestrine
