#pragma once

#include <map>
#include <string>
#include <vector>

#include "site/scan_project.h"

namespace kestrine::testing {

// A project for the scanners alone: numbers addresses in order of first
// sight, starting after the page itself, and can ask to stop after a given
// number of stop checks.
class StubScanProject : public IScanProject {
 public:
  StubScanProject(DownloadMode mode, std::u16string siteHost, int firstNumber = 1)
      : mode_(mode), siteHost_(std::move(siteHost)), next_(firstNumber) {}

  int AddFoundAddress(const std::u16string& address) override {
    const auto found = numbers_.find(address);
    if (found != numbers_.end()) return found->second;
    queued.push_back(address);
    return numbers_[address] = next_++;
  }
  DownloadMode ScanMode() const override { return mode_; }
  std::u16string ScanSiteHost() const override { return siteHost_; }
  bool IsStopRequested() override { return stopAfterChecks >= 0 && checks++ >= stopAfterChecks; }

  std::vector<std::u16string> queued;
  int stopAfterChecks = -1;
  int checks = 0;

 private:
  DownloadMode mode_;
  std::u16string siteHost_;
  int next_;
  std::map<std::u16string, int> numbers_;
};

}  // namespace kestrine::testing
