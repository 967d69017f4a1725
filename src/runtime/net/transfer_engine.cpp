#include "runtime/net/transfer_engine.h"

#include "runtime/net/transfer_core.h"

namespace kestrine {

TransferEngine::TransferEngine() : core_(std::make_unique<TransferCore>()) {}
TransferEngine::~TransferEngine() = default;

void TransferEngine::SetLimits(int connections, int streams) {
  core_->SetLimits(connections, streams);
}
void TransferEngine::Stop() { core_->Stop(); }

}  // namespace kestrine
