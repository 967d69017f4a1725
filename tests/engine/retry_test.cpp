// Transient failures are tried again, politely: by the server's word when
// it gives one, with growing waits when not, and with fewer requests at
// once for a host that asks for fewer.
#include "runtime/net/retry_policy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>

#include "runtime/fs/local_files.h"
#include "runtime/string_utility.h"
#include "support/engine_harness.h"
#include "support/test_server.h"

namespace kestrine {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Failure = HttpClient::Failure;
using testing::EngineHarness;
using testing::TempFolder;

const auto kNow = std::chrono::system_clock::from_time_t(784111777);  // Sun, 06 Nov 1994 08:49:37

RetryPolicy::Attempt Try(Failure failure, int status, bool answered = true,
                         bool multiplexed = false, std::string retryAfter = {}) {
  return {failure, status, answered, multiplexed, std::move(retryAfter)};
}

TEST(RetryPolicy, OnlyPassingFailuresAreTriedAgainWithGrowingWaits) {
  const RetryPolicy policy(4, 3);
  for (int status : {408, 429, 500, 502, 503, 504}) {
    EXPECT_TRUE(policy.Judge(Try(Failure::None, status), 1, 0, kNow).retry) << status;
  }
  for (int status : {200, 301, 304, 400, 403, 404, 410, 501}) {
    EXPECT_FALSE(policy.Judge(Try(Failure::None, status), 1, 0, kNow).retry) << status;
  }
  for (Failure failure : {Failure::ConnectionRefused, Failure::HostNotFound, Failure::Tls,
                          Failure::TooLarge, Failure::TookTooLong, Failure::Stopped}) {
    EXPECT_FALSE(policy.Judge(Try(failure, 502), 1, 0, kNow).retry);
  }
  // 1 s, 2 s, then the longest wait allowed; the fourth try is the last.
  const RetryPolicy::Attempt lost = Try(Failure::ConnectionLost, 502);
  EXPECT_EQ(policy.Judge(lost, 1, 0, kNow).wait, 1000ms);
  EXPECT_EQ(policy.Judge(lost, 2, 0, kNow).wait, 2000ms);
  EXPECT_EQ(policy.Judge(lost, 3, 0, kNow).wait, 3000ms);
  EXPECT_FALSE(policy.Judge(lost, 4, 0, kNow).retry);
  EXPECT_FALSE(RetryPolicy(1, 10).Judge(Try(Failure::TimedOut, 504), 1, 0, kNow).retry);
}

TEST(RetryPolicy, UnprocessedRequestsGoAgainAtOnceAndTheServersWordIsHonoured) {
  const RetryPolicy policy(3, 10);
  // Lost before any answer on a multiplexed connection: at once, uncounted.
  const RetryPolicy::Plan again =
      policy.Judge(Try(Failure::ConnectionLost, 502, false, true), 3, 0, kNow);
  EXPECT_TRUE(again.retry);
  EXPECT_FALSE(again.counts);
  EXPECT_EQ(again.wait, 0ms);
  EXPECT_FALSE(policy
                   .Judge(Try(Failure::ConnectionLost, 502, false, true), 3,
                          RetryPolicy::kMaxUnprocessedRetries, kNow)
                   .retry);
  const auto after = [&](const char* value) {
    return policy.Judge(Try(Failure::None, 503, true, false, value), 1, 0, kNow).wait;
  };
  EXPECT_EQ(after("7"), 7000ms);
  EXPECT_EQ(after("Sun, 06 Nov 1994 08:50:37 GMT"), 60000ms);
  EXPECT_EQ(after("Sun, 06 Nov 1994 08:00:00 GMT"), 0ms);  // a date gone by
  EXPECT_EQ(after("86400"), 120000ms);                     // at most two minutes
  EXPECT_EQ(after("soon"), 1000ms);                        // not understood: the usual wait
  EXPECT_EQ(after("-5"), 1000ms);
}

// Each file answers as the test says, try by try; the server notes when
// each request came and how many were in flight.
class FlakySite {
 public:
  FlakySite() {
    server_.server().Get(R"(/(\w+)\.bin)", [this](const httplib::Request& q, httplib::Response& r) {
      Answer(q.matches[1], r);
    });
  }
  void Set(const std::string& name, std::vector<int> statuses, std::string retryAfter = {}) {
    std::lock_guard lock(mutex_);
    plans_[name] = {std::move(statuses), std::move(retryAfter)};
  }
  std::u16string Url(const std::string& path) { return server_.WideUrl(path); }
  void SetIndex(const std::string& page) {
    server_.server().Get("/index.html", [page](const httplib::Request&, httplib::Response& r) {
      r.set_content(page, "text/html");
    });
  }
  int Asked(const std::string& name) {
    std::lock_guard lock(mutex_);
    return static_cast<int>(times_[name].size());
  }
  std::vector<Clock::time_point> Times(const std::string& name) {
    std::lock_guard lock(mutex_);
    return times_[name];
  }
  int MostAnsweredAtOnce() const { return most_.load(); }

 private:
  struct Plan {
    std::vector<int> statuses;
    std::string retryAfter;
  };
  void Answer(const std::string& name, httplib::Response& r) {
    int status = 200;
    std::string retryAfter;
    {
      std::lock_guard lock(mutex_);
      std::vector<Clock::time_point>& times = times_[name];
      const Plan& plan = plans_[name];
      if (times.size() < plan.statuses.size()) status = plan.statuses[times.size()];
      retryAfter = plan.retryAfter;
      times.push_back(Clock::now());
    }
    if (status != 200) {
      r.status = status;
      if (!retryAfter.empty()) r.set_header("Retry-After", retryAfter);
      return;
    }
    const int now = ++inFlight_;
    for (int most = most_.load(); now > most && !most_.compare_exchange_weak(most, now);) {
    }
    std::this_thread::sleep_for(100ms);
    --inFlight_;
    r.set_content(name, "application/octet-stream");
  }

  std::mutex mutex_;
  std::map<std::string, Plan> plans_;
  std::map<std::string, std::vector<Clock::time_point>> times_;
  std::atomic<int> inFlight_{0};
  std::atomic<int> most_{0};
  testing::TestServer server_;
};

std::u16string RowReason(EngineHarness& engine, const std::u16string& addressEnd) {
  for (const auto& row : engine.list.Rows()) {
    if (row[kAddressColumn].ends_with(addressEnd)) return row[kReasonColumn];
  }
  return u"(no row)";
}

void Mirror(EngineHarness& engine, FlakySite& site, DownloadOptions options) {
  options.robots = false;
  options.sitemaps = false;
  engine.project->SetOptions(std::move(options));
  engine.Start(site.Url("/index.html"), DownloadMode::DuplicateSite);
  engine.Wait();
}

TEST(Retries, PassingFailuresAreTriedAgainAndSaidInTheRowLogAndSummary) {
  FlakySite site;
  site.SetIndex("<img src=flaky.bin><img src=busy.bin><img src=gone.bin>");
  site.Set("flaky", {503, 500});
  site.Set("busy", {429, 429, 429}, "1");
  site.Set("gone", {404});
  DownloadOptions options;
  options.tries = 3;
  options.waitRetrySeconds = 0.05;
  EngineHarness engine;
  Mirror(engine, site, options);
  // Before, every one of them failed at its first answer.
  EXPECT_EQ(site.Asked("flaky"), 3);
  EXPECT_EQ(RowReason(engine, u"/flaky.bin"), u"after 2 retries");
  EXPECT_EQ(site.Asked("busy"), 3);
  EXPECT_EQ(RowReason(engine, u"/busy.bin"), u"HTTP 429 (after 2 retries)");
  const auto times = site.Times("busy");
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[1] - times[0], 900ms);  // as Retry-After asked, not 50 ms
  EXPECT_EQ(site.Asked("gone"), 1);
  const std::vector<std::string> lines = engine.project->AddressLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "retried 2 files, 4 times in all"), lines.end());
  engine.project->CloseDownloadLog();
  const std::string log =
      TempFolder::Read(NativePath(engine.project->siteFolder() + u"\\download.log"));
  EXPECT_NE(log.find("flaky.bin download successful after 2 retries."), std::string::npos) << log;
}

TEST(Retries, AHostThatAsksForFewerRequestsGetsFewer) {
  FlakySite site;
  std::string page;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "f" + std::to_string(i);
    page += "<img src=" + name + ".bin>";
    site.Set(name, {429}, "0");
  }
  site.SetIndex(page);
  DownloadOptions options;
  options.waitRetrySeconds = 0.05;
  EngineHarness engine(6);
  Mirror(engine, site, options);
  EXPECT_EQ(engine.list.CountState(TransferState::Succeeded), 21);
  // Six at once before: every first answer was 429, and the host's room
  // halved with each.
  EXPECT_LE(site.MostAnsweredAtOnce(), 2);
}

}  // namespace
}  // namespace kestrine
