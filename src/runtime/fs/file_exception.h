#pragma once

#include <stdexcept>
#include <string>

namespace kestrine {

// Raised when a local file cannot be opened for writing; the one exception
// the runtime lets out.
class FileException : public std::runtime_error {
 public:
  FileException(std::u16string path, const std::string& reason)
      : std::runtime_error(reason), path_(std::move(path)) {}
  const std::u16string& path() const { return path_; }

 private:
  std::u16string path_;
};

}  // namespace kestrine
