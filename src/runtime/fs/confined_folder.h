#pragma once

#include <string>
#include <string_view>

#include "runtime/result.h"
#include "runtime/unique_fd.h"

namespace kestrine {

// A folder whose files are reached only from its own descriptor. Every
// folder below it is opened one level at a time without following a
// symbolic link, files are created exclusively and renamed in with
// renameat, so nothing planted in the folder (a link where a file, a folder
// or a temporary file will go) can lead a write outside it. A symbolic link
// where the copy needs a file or folder is refused with a message saying
// so.
//
// Relative paths are "\"-separated, as the address rules write them. The
// folder itself is opened as it is named: it may be reached through links
// the user made.
class ConfinedFolder {
 public:
  ConfinedFolder() = default;

  enum class Create { No, Yes };
  // The folder at `path`, made (with its parents) when asked and missing.
  // Not open when it cannot be had; error() then says why.
  static ConfinedFolder Open(const std::u16string& path, Create create);

  bool IsOpen() const { return fd_.valid(); }
  const std::u16string& path() const { return path_; }
  const std::string& error() const { return error_; }

  // A new file directly in the folder, named `prefix` and random letters
  // nobody can guess, opened for writing.
  struct NewFile {
    UniqueFd fd;
    std::string name;
  };
  Result<NewFile> CreateTemporary(std::string_view prefix) const;
  // A new file of the folder's file system with no name at all, which
  // vanishes with its last descriptor (a crash leaves nothing behind);
  // LinkInto gives it its name. An error where the file system cannot.
  Result<UniqueFd> CreateAnonymous() const;
  // Names a file made by CreateAnonymous `relativePath`, making the folders
  // on the way and replacing a plain file there in one step. It is linked
  // straight into its folder: no rename across folders, which file systems
  // serialise over the whole volume.
  Status LinkInto(int anonymousFd, std::u16string_view relativePath) const;
  // Moves a file made by CreateTemporary to `relativePath`, making the
  // folders on the way. When it cannot, the temporary stays for the caller
  // to remove.
  Status MoveInto(const std::string& temporaryName, std::u16string_view relativePath) const;
  // Removes a file directly in the folder (never through a link).
  bool RemoveTemporary(const std::string& name) const;

  // The bytes of a stored file; an error when it is missing, not a plain
  // file, or reached through a link.
  Result<std::string> Read(std::u16string_view relativePath) const;
  // A descriptor for reading a stored file, on the same terms; not valid
  // when there is none.
  UniqueFd OpenFile(std::u16string_view relativePath) const;
  // Whether a folder lies there, reached without a link ("" is the folder
  // itself).
  bool HoldsFolder(std::u16string_view relativePath) const;
  // Puts these bytes in place of a stored file in one step, by way of a
  // temporary file beside it.
  Status Replace(std::u16string_view relativePath, std::string_view bytes) const;
  // Size of a plain file (not a link); -1 when there is none.
  long long FileSize(std::u16string_view relativePath) const;
  bool HoldsFile(std::u16string_view relativePath) const { return FileSize(relativePath) >= 0; }

  // Opens one of the engine's own files directly in the folder (its log,
  // its journal) for appending, or anew when `fresh`. A link, a folder or a
  // file with a second name (a hard link) standing there is put aside and a
  // file of the folder's own takes its place, so appending never reaches
  // another file. Not valid when it cannot be opened.
  UniqueFd OpenOwnFile(std::string_view name, bool fresh) const;
  // A descriptor for reading one of the engine's own files, never through
  // a link; not valid when there is none.
  UniqueFd OpenOwnFileForReading(std::string_view name) const;
  // A new descriptor of the folder itself; not valid when it cannot be had.
  UniqueFd OpenItself() const;

 private:
  ConfinedFolder(UniqueFd fd, std::u16string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  // The folder holding the last component of a relative path, the folders
  // made when `make`, and that component; an error when a component is
  // missing, a link or no folder.
  struct Parent {
    UniqueFd fd;
    std::string leaf;
  };
  Result<Parent> OpenParent(std::u16string_view relativePath, bool make) const;

  UniqueFd fd_;
  std::u16string path_;
  std::string error_;
};

}  // namespace kestrine
