#pragma once

#include <string>

// Guards that keep every local copy inside the download folder and within
// what the file system accepts. The address rules apply them to each folder
// and file name they produce, so a page that links a file and the task that
// stores it always agree on its name.

namespace kestrine {

// Drops "." and ".." components of a "\"-separated folder name; a trailing
// "\" stays.
std::u16string WithoutDotComponents(const std::u16string& folderName);
// WithoutDotComponents, and every component longer than the file system
// allows shortened as SafeFileName shortens a name.
std::u16string SafeFolderName(const std::u16string& folderName);

// Turns "\", "/" and control characters into "-", never yields "." or "..",
// and shortens a name longer than the file system allows (255 bytes of
// UTF-8), keeping its extension and a hash of the full name.
std::u16string SafeFileName(const std::u16string& name);

inline constexpr std::size_t kMaxFileNameBytes = 255;

}  // namespace kestrine
