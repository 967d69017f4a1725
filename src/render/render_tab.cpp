#include "render/render_tab.h"

#include <algorithm>

#include "render/page_scripts.h"

namespace kestrine {

namespace {

constexpr std::size_t kMaxRequested = 10000;

bool IsWebAddress(const std::string& url) {
  return url.starts_with("http://") || url.starts_with("https://");
}

// The icon the browser asks for by itself, which no page named: a site
// without one would show a failure it never caused.
bool IsBrowsersOwnProbe(const std::string& url, const nlohmann::json& params) {
  const std::size_t path = url.find('/', url.find("//") + 2);
  if (path == std::string::npos || url.substr(path) != "/favicon.ico") return false;
  return params.value("type", std::string()) == "Other" &&
         (!params.contains("initiator") ||
          params["initiator"].value("type", std::string()) == "other");
}

}  // namespace

// What the tab's events tell, shared with the pipe's reading thread.
struct RenderTab::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::set<std::string> inFlight;
  Clock::time_point lastActivity = Clock::now();
  bool loaded = false;
  bool stopped = false;
  std::size_t requestsMade = 0;
  std::vector<std::string> requested;
  std::set<std::string> seen;

  // Something was done to the page: what it starts in answer comes within
  // the quiet period from now, not from its last request.
  void Touch() {
    std::lock_guard lock(mutex);
    lastActivity = Clock::now();
  }

  void Note(const std::string& method, const nlohmann::json& params) {
    std::lock_guard lock(mutex);
    const std::string id = params.value("requestId", std::string());
    if (method == "Network.requestWillBeSent") {
      inFlight.insert(id);
      ++requestsMade;
      const std::string url = params.contains("request")
                                  ? params["request"].value("url", std::string())
                                  : std::string();
      if (IsWebAddress(url) && !IsBrowsersOwnProbe(url, params) &&
          requested.size() < kMaxRequested && seen.insert(url).second) {
        requested.push_back(url);
      }
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
      inFlight.erase(id);
    } else if (method == "Page.loadEventFired") {
      loaded = true;
    } else {
      return;
    }
    lastActivity = Clock::now();
    changed.notify_all();
  }
};

RenderTab::RenderTab(DevToolsPipe& pipe, Limits limits)
    : pipe_(pipe),
      limits_(limits),
      workUntil_(limits.deadline - std::min<Clock::duration>(std::chrono::seconds(2),
                                                             (limits.deadline - Clock::now()) / 5)),
      state_(std::make_shared<State>()) {}

RenderTab::~RenderTab() {
  if (!session_.empty()) pipe_.Forget(session_);
  if (!target_.empty()) {
    // Closed even when the page hangs: the browser, not the page, answers.
    pipe_.Call("Target.closeTarget", {{"targetId", target_}}, "",
               Clock::now() + std::chrono::seconds(2));
  }
}

void RenderTab::Stop() {
  std::lock_guard lock(state_->mutex);
  state_->stopped = true;
  state_->changed.notify_all();
}

Result<nlohmann::json> RenderTab::Call(const std::string& method, nlohmann::json params) {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->stopped) return Error{ErrorKind::Refused, "stopped"};
  }
  return pipe_.Call(method, std::move(params), session_, limits_.deadline);
}

Status RenderTab::Open() {
  const auto target = pipe_.Call(
      "Target.createTarget", {{"url", "about:blank"}, {"newWindow", true}}, "", limits_.deadline);
  if (!target) return target.error();
  target_ = target->value("targetId", std::string());
  const auto attached = pipe_.Call(
      "Target.attachToTarget", {{"targetId", target_}, {"flatten", true}}, "", limits_.deadline);
  if (!attached) return attached.error();
  session_ = attached->value("sessionId", std::string());
  std::weak_ptr<State> state = state_;
  DevToolsPipe* pipe = &pipe_;
  const std::string session = session_;
  pipe_.Listen(session_,
               [state, pipe, session](const std::string& method, const nlohmann::json& params) {
                 // A dialog would hold the page forever: dismissed.
                 if (method == "Page.javascriptDialogOpening") {
                   pipe->Post("Page.handleJavaScriptDialog", {{"accept", false}}, session);
                 }
                 if (const auto held = state.lock()) held->Note(method, params);
               });
  // Tabs render side by side: each one is its own focused window, or the
  // browser starves the ones behind (timers, IntersectionObserver).
  for (const char* domain : {"Page.enable", "Network.enable"}) {
    if (const auto enabled = Call(domain); !enabled) return enabled.error();
  }
  if (const auto focused = Call("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
      !focused) {
    return focused.error();
  }
  return Ok();
}

Status RenderTab::Navigate(const std::string& url) {
  const auto navigated = Call("Page.navigate", {{"url", url}});
  if (!navigated) return navigated.error();
  const std::string error = navigated->value("errorText", std::string());
  if (!error.empty()) return Error{ErrorKind::Refused, "the browser could not load it: " + error};
  std::unique_lock lock(state_->mutex);
  state_->changed.wait_until(lock, limits_.deadline,
                             [&] { return state_->loaded || state_->stopped; });
  if (state_->stopped) return Error{ErrorKind::Refused, "stopped"};
  return Ok();
}

// Until the network has been quiet for a moment since the last request or
// action, `until`, or a stop.
void RenderTab::Settle(Clock::time_point until) {
  until = std::min(until, workUntil_);
  state_->Touch();
  std::unique_lock lock(state_->mutex);
  while (!state_->stopped && Clock::now() < until) {
    const auto quietFrom = state_->lastActivity + limits_.quiet;
    if (state_->inFlight.empty() && Clock::now() >= quietFrom) return;
    state_->changed.wait_until(lock, state_->inFlight.empty() ? std::min(quietFrom, until) : until);
  }
}

Result<std::string> RenderTab::Evaluate(const char* script) {
  const auto result = Call("Runtime.evaluate", {{"expression", script}, {"returnByValue", true}});
  if (!result) return result.error();
  if (result->contains("exceptionDetails")) {
    return Error{ErrorKind::Refused, "the page's script failed"};
  }
  const nlohmann::json value = (*result)["result"].value("value", nlohmann::json());
  return value.is_string() ? value.get<std::string>() : value.dump();
}

// Scrolls to the end a view at a time, letting each view's lazy images and
// next pages load. It ends at the bottom once a step asked for nothing new
// (a short page costs one step); an endless list stops after the steps
// allowed.
void RenderTab::Scroll() {
  for (int step = 0; step < limits_.scrollSteps && Clock::now() < workUntil_; ++step) {
    const std::size_t requestsBefore = RequestsMade();
    const auto position = Evaluate(page_scripts::kScrollStep);
    if (!position) return;
    const nlohmann::json numbers = nlohmann::json::parse(*position, nullptr, false);
    if (!numbers.is_array() || numbers.size() != 2) return;
    Settle(Clock::now() + std::chrono::seconds(3));
    const bool atBottom = numbers[0].get<long>() >= numbers[1].get<long>();
    if (atBottom && RequestsMade() == requestsBefore) return;
  }
}

std::size_t RenderTab::RequestsMade() const {
  std::lock_guard lock(state_->mutex);
  return state_->requestsMade;
}

// What a reader does once: opens the page's disclosures and scrolls to its
// end; what the page fetches for each is kept.
void RenderTab::ActAsAReader() {
  if (Clock::now() >= workUntil_) return;
  const auto opened = Evaluate(page_scripts::kOpenDisclosures);
  if (opened && *opened != "0") Settle(Clock::now() + std::chrono::seconds(3));
  Scroll();
}

// A letter typed in the page's search field, once the page is read: what
// the search fetches (its index) is kept, and what it shows is not the
// page. Shown first, the results were stored in the page's place, and
// their links, made with the letter, led to pages each typed one more.
void RenderTab::TypeInSearch() {
  if (Clock::now() >= workUntil_) return;
  const auto focused = Evaluate(page_scripts::kFocusSearch);
  if (focused && *focused == "true" && Call("Input.insertText", {{"text", "a"}})) {
    Settle(Clock::now() + std::chrono::seconds(3));
  }
}

IPageRenderer::Page RenderTab::Render(const std::string& url) {
  IPageRenderer::Page page;
  if (const Status opened = Open(); !opened) {
    page.failure = opened.error().message;
    return page;
  }
  if (const Status loaded = Navigate(url); !loaded) {
    page.failure = loaded.error().message;
    return page;
  }
  Settle(workUntil_);
  ActAsAReader();
  // A page that sent the tab to another site is not what was asked for.
  const Result<std::string> origin = Evaluate("location.origin");
  if (!origin || !url.starts_with(*origin + "/")) {
    page.failure = "the page went to another site";
    return page;
  }
  Result<std::string> html = Evaluate(page_scripts::kSerialize);
  if (!html) {
    page.failure = html.error().message;
    return page;
  }
  page.html = std::move(*html);
  TypeInSearch();
  std::lock_guard lock(state_->mutex);
  for (const std::string& requested : state_->requested) {
    if (requested != url) page.requested.push_back(requested);
  }
  return page;
}

}  // namespace kestrine
