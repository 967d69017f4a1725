#include "surfaces/plain_status_monitor.h"

#include "engine/project.h"

namespace kestrine {

void PlainStatusMonitor::SetStatusText(std::u16string text) {
  std::lock_guard lock(textMutex_);
  statusText_ = std::move(text);
}

void PlainStatusMonitor::StartDownload(std::u16string address) {
  if (project_ != nullptr) project_->AddStartAddress(address);
}

void PlainStatusMonitor::ShowQueue(DownloadMode mode) {
  if (project_ == nullptr) return;
  project_->SetMode(mode);
  downloadViewEnabled_ = false;
  project_->StartProject();
}

void PlainStatusMonitor::ClearQueue() {
  if (project_ != nullptr) project_->ClearProject();
}

std::u16string PlainStatusMonitor::StatusText() const {
  std::lock_guard lock(textMutex_);
  return statusText_;
}

}  // namespace kestrine
