#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/surface/page_renderer.h"
#include "render/devtools_pipe.h"

namespace kestrine {

// One page loaded in a tab of the browser, from its navigation to its
// serialised document: the requests it makes are followed as they come
// and go, so "settled" means the network has been quiet for a moment. A
// reader's few actions are done once, each bounded. Everything ends by the
// deadline, or at once when the run stops.
class RenderTab {
 public:
  using Clock = std::chrono::steady_clock;
  struct Limits {
    Clock::time_point deadline;
    std::chrono::milliseconds quiet{500};
    int scrollSteps = 12;
  };

  RenderTab(DevToolsPipe& pipe, Limits limits);
  ~RenderTab();
  RenderTab(const RenderTab&) = delete;
  RenderTab& operator=(const RenderTab&) = delete;

  IPageRenderer::Page Render(const std::string& url);
  // The run stops: every wait of this tab ends.
  void Stop();

 private:
  struct State;
  Result<nlohmann::json> Call(const std::string& method, nlohmann::json params = {});
  Status Open();
  Status Navigate(const std::string& url);
  void Settle(Clock::time_point until);
  void ActAsAReader();
  void TypeInSearch();
  void Scroll();
  std::size_t RequestsMade() const;
  Result<std::string> Evaluate(const char* script);

  DevToolsPipe& pipe_;
  Limits limits_;
  // The last moments before the deadline are kept for the document itself.
  Clock::time_point workUntil_;
  std::string target_;
  std::string session_;
  std::shared_ptr<State> state_;
};

}  // namespace kestrine
