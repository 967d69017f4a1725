#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/result.h"

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
// Writes bytes in one go, never through a symbolic link; false when the file cannot be opened or
// written.
bool WriteLocalFile(const std::u16string& path, const std::string& bytes, WriteMode mode);
// Every byte to an open file, whatever the system takes per call.
bool WriteToDescriptor(int fd, std::string_view bytes);
// The bytes of a plain file of at most `maxBytes`; a missing file, anything
// else standing there (a folder, a pipe, a device) and a larger file are
// errors that say so.
Result<std::string> ReadLocalFile(const std::u16string& path, std::size_t maxBytes);
// The name every partial file of a download begins with, in the site
// folder; random letters follow it.
const char* PartialFilePrefix();
// -1 when the file is missing.
long long LocalFileSize(const std::u16string& path);

// $XDG_CONFIG_HOME/kestrine, else ~/.config/kestrine.
std::u16string GetConfigPath();
// ~/Downloads/Kestrine.
std::u16string GetDataPath();

}  // namespace kestrine
