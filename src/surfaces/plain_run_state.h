#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "surfaces/notice_run_state.h"

namespace kestrine {

// The run-state surface without windows: remembers the button phase and
// every message box, which returns at once as if dismissed.
class PlainRunState : public NoticeRunState, public IFolderOpener {
 public:
  struct Message {
    std::u16string text;
    std::u16string caption;
    MessageIcon icon;
  };

  virtual ~PlainRunState() = default;

  void SetButtonPhase(ButtonPhase phase) override;
  void ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) override;
  void OpenFolder(std::u16string folder) override;

  ButtonPhase Phase() const;
  std::vector<Message> Messages() const;
  std::vector<std::u16string> OpenedFolders() const;

 private:
  mutable std::mutex mutex_;
  ButtonPhase phase_ = ButtonPhase::Ended;
  std::vector<Message> messages_;
  std::vector<std::u16string> opened_;
};

}  // namespace kestrine
