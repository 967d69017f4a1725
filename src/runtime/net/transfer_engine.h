#pragma once

#include <memory>
#include <string>

namespace kestrine {

class TransferCore;

// The transfers of one run, as the run sees them: shared connections per
// host within the limits it sets, and one call that stops them all. What
// drives them (libcurl's multi interface) stays behind TransferCore, inside
// this folder; HttpClient hands its transfers to it.
class TransferEngine {
 public:
  TransferEngine();
  ~TransferEngine();
  TransferEngine(const TransferEngine&) = delete;
  TransferEngine& operator=(const TransferEngine&) = delete;

  // At most `connections` to one host; up to `streams` transfers on each
  // when the host multiplexes (1: one transfer per connection).
  void SetLimits(int connections, int streams);
  // The run stops: every transfer in flight ends (aborted), every wait for
  // room ends, and nothing new starts. Quick and never blocking.
  void Stop();

  TransferCore& core() { return *core_; }

 private:
  std::unique_ptr<TransferCore> core_;
};

}  // namespace kestrine
