// The demo customer-service site (kefu-site) run as a separate process for one test.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "process.h"

namespace tavro::test {

struct SiteRequest {
  std::string method;
  std::string target;   // the raw request target, e.g. "/kefu/login.php?"
  std::string session;  // the KEFUSESSID cookie, or "-" without one
  bool operator==(const SiteRequest&) const = default;
};

// "METHOD TARGET SESSION", as the log line was (also how test failures print it).
inline std::ostream& operator<<(std::ostream& out, const SiteRequest& r) {
  return out << r.method << " " << r.target << " " << r.session;
}

struct DemoSiteOptions {
  int port = 0;                    // 0: a free port
  std::optional<int> autoLoginMs;  // the login page signs the demo account in by itself
  std::string marker;              // empty: the site's default
  std::filesystem::path binary;    // empty: the kefu-site built with the tests
};

struct HttpAnswer {
  int status = 0;  // 0 when there was no answer
  std::string body;
};

class DemoSite {
 public:
  // Starts the site with its request log in dir and waits for the port it prints.
  DemoSite(const std::filesystem::path& dir, DemoSiteOptions options = {});
  ~DemoSite();
  DemoSite(const DemoSite&) = delete;
  DemoSite& operator=(const DemoSite&) = delete;

  int Port() const { return port_; }
  std::string BaseUrl() const;  // "http://127.0.0.1:PORT", no final "/"
  // The request log so far, one entry a line.
  std::vector<SiteRequest> Requests() const;
  // A GET from the test itself (it shows in the log too), with the session cookie when given.
  HttpAnswer Get(const std::string& target, const std::string& sessionId = "") const;
  Process& Proc() { return *process_; }

 private:
  std::filesystem::path log_;
  std::unique_ptr<Process> process_;
  int port_ = 0;
};

// Parses "METHOD TARGET SESSION" lines; lines that do not have three fields are skipped.
std::vector<SiteRequest> ParseRequestLog(const std::string& text);

}  // namespace tavro::test
