#pragma once

#include <string>

namespace kestrine {

enum class ButtonPhase { Running, Continued, Ended, Paused };

enum class MessageIcon { Information, Warning, Error };

// The Queue page's buttons and its message box, as the project run and the
// download task drive them.
class IRunState {
 public:
  virtual void SetButtonPhase(ButtonPhase phase) = 0;
  // Shows the box and returns once the user has dismissed it.
  virtual void ShowMessageBox(std::u16string text, std::u16string caption, MessageIcon icon) = 0;
  // The notice at the end of a run ("Finished" and its counts): a message
  // box under the notice caption, unless the front end sums up itself.
  virtual void ShowEndNotice(std::u16string text, MessageIcon icon);

 protected:
  ~IRunState() = default;
};

// Opens a folder the way the desktop does; the one platform call a run
// makes at its end.
class IFolderOpener {
 public:
  virtual void OpenFolder(std::u16string folder) = 0;

 protected:
  ~IFolderOpener() = default;
};

}  // namespace kestrine
