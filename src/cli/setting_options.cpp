#include "cli/setting_options.h"

namespace kestrine {

namespace {

using Form = SettingOptions::Form;
using Row = SettingOptions::Row;

constexpr Row kFetchRows[] = {
    {Form::Value, "-l,--level", "level", "N",
     "follow links at most N deep from the start page (0); the images, style sheets and scripts of "
     "the last pages, and what those name, come up to 2 deeper; default: no limit"},
    {Form::Switch, "--no-external-pages", "external-pages", "off",
     "fetch no pages outside the start address's folder (their images, style sheets and scripts "
     "still come when a page of the site uses them)"},
    {Form::Switch, "--span-hosts", "span-hosts", "on",
     "the default: pages and files on other hosts are fetched (not scanned)"},
    {Form::Switch, "--no-span-hosts", "span-hosts", "off",
     "fetch nothing from other hosts than the start address's; links to them go to the web"},
    {Form::List, "-A,--accept", "accept", "PATTERNS",
     "fetch only files whose name matches one of these shell patterns (comma-separated); pages are "
     "always followed"},
    {Form::List, "-R,--reject", "reject", "PATTERNS",
     "fetch no file whose name matches one of these patterns"},
    {Form::List, "--include", "include", "PATTERNS",
     "fetch only addresses that match one of these patterns"},
    {Form::List, "--exclude", "exclude", "PATTERNS",
     "fetch no address that matches one of these patterns"},
    {Form::Switch, "--no-sitemaps", "sitemaps", "off",
     "do not queue the pages the site's sitemaps name (robots.txt Sitemap: lines, else "
     "/sitemap.xml; at most 50,000 addresses a sitemap, 500,000 in all)"},
    {Form::Switch, "--no-trap-rules", "trap-rules", "off",
     "turn off the crawler-trap rules (paths over 32 folders deep, a folder repeated over 3 times, "
     "addresses over 2,048 characters, over 1,000 query strings on one path, over 16 files in a "
     "row each named by the one before)"},
};

constexpr Row kLimitRows[] = {
    {Form::Value, "-Q,--quota", "quota", "SIZE", "stop taking new files once this much is stored"},
    {Form::Value, "--max-files", "max-files", "N", "stop taking new files once N are stored"},
    {Form::Value, "--max-filesize", "max-filesize", "SIZE",
     "stop and fail any file larger than this"},
    {Form::Value, "--max-time", "max-time", "SECONDS",
     "stop and fail any file that takes longer than this"},
};

constexpr Row kPolitenessRows[] = {
    {Form::Value, "-w,--wait", "wait", "SECONDS",
     "wait this long between two requests, making one request at a time"},
    {Form::Value, "-t,--tries", "tries", "N",
     "try a file up to N times when its transfer fails for a passing reason (a connection lost, a "
     "time-out, 408, 429, 500, 502, 503, 504); waits double from 1 s, or are what Retry-After "
     "asks, up to 120 s; a host that answers 429 gets half as many requests at once (default: 3; "
     "1: never again)"},
    {Form::Value, "--waitretry", "waitretry", "SECONDS",
     "the longest wait between two tries of a file (default: 10)"},
    {Form::Value, "--limit-rate", "limit-rate", "RATE",
     "receive at most RATE bytes per second in all (K, M, G)"},
    {Form::Value, "-U,--user-agent", "user-agent", "TEXT",
     "the User-Agent to send (default: Kestrine/2.0)"},
    {Form::Switch, "--no-robots", "robots", "off",
     "ignore the site's robots.txt (honoured for every address by default; a server error on it "
     "takes nothing of the site but the start page this run)"},
    {Form::Repeated, "--header", "header", "'NAME: VALUE'", "send this header too (repeatable)"},
    {Form::Value, "--load-cookies", "load-cookies", "FILE",
     "send the cookies of this Netscape-format file"},
    {Form::Value, "--ca-certificate", "ca-certificate", "FILE",
     "also trust the certificates in this PEM file (an intranet's own)"},
    {Form::Switch, "--no-check-certificate", "check-certificate", "off",
     "accept any certificate (insecure)"},
};

constexpr Row kArchiveRows[] = {
    {Form::Value, "--warc-file", "warc-file", "NAME",
     "also keep every exchange of the run as received, request and response, in NAME.warc.gz "
     "(WARC 1.1, a gzip member per record)"},
    {Form::Switch, "--warc-cdx", "warc-cdx", "on",
     "write the archive's CDXJ index beside it (NAME.cdxj)"},
    {Form::Switch, "--wacz", "wacz", "on",
     "at the end of the run, package the archive, its index and its pages as NAME.wacz, which "
     "ReplayWeb.page opens; without --warc-file, NAME is the site folder's"},
    {Form::Value, "--warc-max-size", "warc-max-size", "SIZE",
     "begin a new numbered file (NAME-00001.warc.gz) once one holds SIZE"},
};

constexpr Row kRenderRows[] = {
    {Form::Value, "--render", "render", "MODE",
     "load pages in Chromium and keep what it shows: never; auto, pages that look like an "
     "application's empty shell (scripts, under 200 characters of text, under 16 elements); "
     "always (default: auto)"},
    {Form::Value, "--render-tabs", "render-tabs", "N",
     "pages rendered at once, 1 to 16 (default: 2)"},
    {Form::Value, "--render-timeout", "render-timeout", "SECONDS",
     "the longest a page may take to load and settle in the browser (default: 15)"},
};

constexpr Row kOutputRows[] = {
    {Form::Value, "--max-streams", "max-streams", "N",
     "requests at once on one HTTP/2 connection, 1 to 128 (default: 32; 1: one at a time)"},
};

}  // namespace

const std::span<const Row> SettingOptions::kFetch{kFetchRows};
const std::span<const Row> SettingOptions::kLimits{kLimitRows};
const std::span<const Row> SettingOptions::kPoliteness{kPolitenessRows};
const std::span<const Row> SettingOptions::kOutput{kOutputRows};
const std::span<const Row> SettingOptions::kArchive{kArchiveRows};
const std::span<const Row> SettingOptions::kRender{kRenderRows};

void SettingOptions::Add(CLI::App& app, std::span<const Row> rows, const std::string& group) {
  for (const Row& row : rows) Add(app, row, group);
}

void SettingOptions::Add(CLI::App& app, const Row& row, const std::string& group) {
  const std::string key = row.key;
  CLI::Option* option = nullptr;
  switch (row.form) {
    case Form::Value:
      option = app.add_option_function<std::string>(
          row.names,
          [this, key](const std::string& value) { options_.settings.emplace_back(key, value); },
          row.help);
      break;
    case Form::List:
    case Form::Repeated:
      option = app.add_option_function<std::vector<std::string>>(
          row.names,
          [this, key](const std::vector<std::string>& values) {
            for (const std::string& value : values) options_.settings.emplace_back(key, value);
          },
          row.help);
      option->delimiter(row.form == Form::List ? ',' : '\0')->allow_extra_args(false);
      break;
    case Form::Switch:
      option = app.add_flag_callback(
          row.names,
          [this, key, value = std::string(row.argument)] {
            options_.settings.emplace_back(key, value);
          },
          row.help);
      break;
  }
  if (row.form != Form::Switch) option->type_name(row.argument);
  option->group(group);
}

}  // namespace kestrine
