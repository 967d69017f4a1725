#include "surfaces/plain_run_state.h"

namespace kestrine {

void PlainRunState::SetButtonPhase(ButtonPhase phase) {
  std::lock_guard lock(mutex_);
  phase_ = phase;
}

void PlainRunState::ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::move(text), std::move(caption), icon});
}

void PlainRunState::OpenFolder(std::u16string folder) {
  std::lock_guard lock(mutex_);
  opened_.push_back(std::move(folder));
}

ButtonPhase PlainRunState::Phase() const {
  std::lock_guard lock(mutex_);
  return phase_;
}

std::vector<PlainRunState::Message> PlainRunState::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::u16string> PlainRunState::OpenedFolders() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

}  // namespace kestrine
