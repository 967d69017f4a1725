#include "render/chromium_renderer.h"

#include "render/render_tab.h"

namespace kestrine {

ChromiumRenderer::ChromiumRenderer(Settings settings) : settings_(std::move(settings)) {
  if (settings_.tabs < 1) settings_.tabs = 1;
}

ChromiumRenderer::~ChromiumRenderer() { CloseBrowser(); }

std::optional<std::string> ChromiumRenderer::EnsureBrowser() {
  if (pipe_ && pipe_->alive()) return std::nullopt;
  // One that would not start is not tried again this run.
  if (!startFailure_.empty()) return startFailure_;
  CloseBrowser();
  Result<ChromiumProcess> started = ChromiumProcess::Start(settings_.executable);
  if (!started) {
    startFailure_ = started.error().message;
    if (settings_.note) settings_.note("pages are not rendered: " + startFailure_);
    return startFailure_;
  }
  process_ = std::move(started.value());
  if (!process_->sandboxNote().empty() && settings_.note) settings_.note(process_->sandboxNote());
  pipe_ = std::make_unique<DevToolsPipe>(process_->commands(), process_->answers());
  // A page that starts a download keeps nothing of it.
  pipe_->Call("Browser.setDownloadBehavior", {{"behavior", "deny"}}, "",
              std::chrono::steady_clock::now() + std::chrono::seconds(10));
  if (!pipe_->alive()) {
    startFailure_ = "the browser ended as it started";
    if (settings_.note) settings_.note("pages are not rendered: " + startFailure_);
    return startFailure_;
  }
  return std::nullopt;
}

IPageRenderer::Page ChromiumRenderer::Render(const std::string& url) {
  Page page;
  std::unique_lock lock(mutex_);
  slotFreed_.wait(lock, [&] { return stopped_ || busy_ < settings_.tabs; });
  if (stopped_) {
    page.failure = "stopped";
    return page;
  }
  if (const auto failure = EnsureBrowser()) {
    page.failure = *failure;
    return page;
  }
  ++busy_;
  auto tab = std::make_unique<RenderTab>(
      *pipe_, RenderTab::Limits{std::chrono::steady_clock::now() + settings_.timeout});
  tabs_.insert(tab.get());
  lock.unlock();
  page = tab->Render(url);
  lock.lock();
  tabs_.erase(tab.get());
  lock.unlock();
  // Closing the tab asks the browser, not under the lock.
  tab.reset();
  lock.lock();
  --busy_;
  slotFreed_.notify_one();
  return page;
}

void ChromiumRenderer::BeginRun() {
  std::lock_guard lock(mutex_);
  stopped_ = false;
}

void ChromiumRenderer::Stop() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  for (RenderTab* tab : tabs_) tab->Stop();
  slotFreed_.notify_all();
}

void ChromiumRenderer::EndRun() {
  std::unique_lock lock(mutex_);
  slotFreed_.wait(lock, [&] { return busy_ == 0; });
  CloseBrowser();
  startFailure_.clear();
}

void ChromiumRenderer::CloseBrowser() {
  if (pipe_) pipe_->Close();
  // The browser goes first; then the pipe's reader sees the end and ends.
  if (process_) process_->Stop();
  pipe_.reset();
  process_.reset();
}

}  // namespace kestrine
