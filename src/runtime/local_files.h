#pragma once

#include <optional>
#include <string>
#include <string_view>

// File-system helpers. Paths come in the "\"-separated form the address
// rules produce; on this platform every "\" is a "/".

namespace kestrine {

enum class WriteMode { Truncate, Append };

// The path as this platform's file functions take it: UTF-8 with "/".
std::string NativePath(const std::u16string& path);
// The path as a person reads it on this platform.
std::u16string DisplayPath(const std::u16string& path);

bool FolderExist(const std::u16string& folder);
// Creates every missing level; true when the folder exists afterwards.
bool CreateFolders(const std::u16string& folder);
bool DeleteLocalFile(const std::u16string& path);
// Writes bytes in one go; false when the file cannot be opened or written.
bool WriteLocalFile(const std::u16string& path, const std::string& bytes, WriteMode mode);
// Every byte to an open file, whatever the system takes per call.
bool WriteToDescriptor(int fd, std::string_view bytes);
std::optional<std::string> ReadLocalFile(const std::u16string& path);
// Moves a file over another in one step; the reason when it cannot.
std::optional<std::string> RenameLocalFile(const std::u16string& from, const std::u16string& to);
// Writes the bytes to a temporary file beside the path and moves it over
// the path, so a reader never sees half a file and a failure leaves the old
// one whole. False when that could not be done.
bool ReplaceLocalFile(const std::u16string& path, const std::string& bytes);
// A name in `folder` for a file being received for download `taskNumber`.
// Site files always have a "." in their names, so this one cannot be one.
std::u16string PartialFilePath(const std::u16string& folder, int taskNumber);
// -1 when the file is missing.
long long LocalFileSize(const std::u16string& path);

// $XDG_CONFIG_HOME/kestrine, else ~/.config/kestrine.
std::u16string GetConfigPath();
// ~/Downloads/Kestrine.
std::u16string GetDataPath();

}  // namespace kestrine
