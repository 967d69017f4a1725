#pragma once

#include <map>
#include <string>
#include <vector>

#include "site/address/address.h"
#include "site/rewrite/scan_project.h"

namespace kestrine::testing {

// A project for the scanners alone: numbers addresses in order of first
// sight, starting after the page itself, places them by the address rules,
// and can ask to stop after a given number of stop checks or refuse
// addresses that contain a given text.
class StubScanProject : public IScanProject {
 public:
  StubScanProject(DownloadMode mode, std::u16string siteHost, int firstNumber = 1)
      : mode_(mode), siteHost_(std::move(siteHost)), next_(firstNumber) {}

  FoundAddress AddFoundAddress(const std::u16string& address) override {
    if (!refuse.empty() && address.find(refuse) != std::u16string::npos) return {};
    const auto found = numbers_.find(address);
    const int number = found != numbers_.end() ? found->second : (numbers_[address] = next_++);
    if (found == numbers_.end()) queued.push_back(address);
    const AddressParts parts = SplitAbsolute(address);
    std::u16string file = LocalFilePath(LocalFolderFor(mode_, siteHost_, parts, u""),
                                        LocalFileNameFor(mode_, parts, number + 1));
    while (!file.empty() && file.front() == u'\\') file.erase(0, 1);
    return {number, file};
  }
  FoundAddress AddGuessedAddress(const std::u16string& address) override {
    guessed.push_back(address);
    return {};
  }
  bool IsStopRequested() override { return stopAfterChecks >= 0 && checks++ >= stopAfterChecks; }

  std::vector<std::u16string> queued;
  std::vector<std::u16string> guessed;
  std::u16string refuse;
  int stopAfterChecks = -1;
  int checks = 0;

 private:
  DownloadMode mode_;
  std::u16string siteHost_;
  int next_;
  std::map<std::u16string, int> numbers_;
};

}  // namespace kestrine::testing
