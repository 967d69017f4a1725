#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "engine/surface/page_renderer.h"
#include "render/chromium_process.h"
#include "render/devtools_pipe.h"

namespace kestrine {

class RenderTab;

// Pages rendered in the system's Chromium, one browser per run, started
// with the first page that needs it, with a few tabs at once. The only
// place that knows the DevTools protocol.
class ChromiumRenderer final : public IPageRenderer {
 public:
  struct Settings {
    std::string executable;  // ChromiumProcess::Executable()
    int tabs = 2;
    std::chrono::seconds timeout{15};
    // Lines worth telling the user (the sandbox, a browser that would not
    // start), once each.
    std::function<void(const std::string&)> note;
  };
  explicit ChromiumRenderer(Settings settings);
  ~ChromiumRenderer();

  Page Render(const std::string& url) override;
  void BeginRun() override;
  void Stop() override;
  void EndRun() override;

 private:
  // The browser, started when first wanted; the reason it cannot be.
  std::optional<std::string> EnsureBrowser();
  void CloseBrowser();

  Settings settings_;
  std::mutex mutex_;
  std::condition_variable slotFreed_;
  int busy_ = 0;
  bool stopped_ = false;
  std::set<RenderTab*> tabs_;
  std::optional<ChromiumProcess> process_;
  std::unique_ptr<DevToolsPipe> pipe_;
  std::string startFailure_;
};

}  // namespace kestrine
