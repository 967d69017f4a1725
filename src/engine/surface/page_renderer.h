#pragma once

#include <string>
#include <vector>

#include "config/download_options.h"

namespace kestrine {

// A browser that loads a page as a reader would and gives back what it
// saw: the rendered document, and every address the page asked for while
// it loaded and settled. A front end hands one to the project; the engine
// knows no browser.
class IPageRenderer {
 public:
  struct Page {
    std::string html;                    // the rendered document, UTF-8, scripts made inert
    std::vector<std::string> requested;  // http(s) addresses the page loaded
    std::string failure;                 // why nothing was rendered; empty on success
  };

  // Blocks until a tab is free (or the run stops); bounded by the render
  // time-out.
  virtual Page Render(const std::string& url) = 0;
  // A run begins: renders may start (the browser itself starts with the
  // first).
  virtual void BeginRun() = 0;
  // The run stops: every render under way or waiting ends now.
  virtual void Stop() = 0;
  // The run ended: the browser goes.
  virtual void EndRun() = 0;

 protected:
  ~IPageRenderer() = default;
};

}  // namespace kestrine
