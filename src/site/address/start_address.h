#pragma once

#include <string>
#include <string_view>

namespace kestrine {

// What a user typed as a start address, checked before a run starts: a bare
// host ("example.com/docs") gets "https://"; anything that is not an http or
// https address naming a host is refused, with the reason.
class StartAddress {
 public:
  static StartAddress Check(std::u16string_view typed);

  bool ok() const { return refusal_.empty(); }
  // The address to start with.
  const std::u16string& address() const { return address_; }
  // "s: not a web address", naming what was typed; empty when ok.
  const std::string& refusal() const { return refusal_; }

  // An address of the kind that can be started with, for messages.
  static constexpr const char* kExample = "https://example.com/docs/";

 private:
  std::u16string address_;
  std::string refusal_;
};

}  // namespace kestrine
