// A copy, in Tavro's own process, of the site's cookies as the engine keeps them: what a logout
// sent without the engine carries, and what a network process that ended and started over gets
// back, so that the agent stays signed in.
#pragma once

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network_process_watch.h"
#include "owners.h"

namespace tavro::platform::gtk {

struct SoupCookieFree {
  void operator()(SoupCookie* cookie) const { soup_cookie_free(cookie); }
};
using CookiePtr = std::unique_ptr<SoupCookie, SoupCookieFree>;

// The Cookie header of a request, as libsoup's cookie jar builds it from a copy of the cookies:
// those that apply to the address (domain, path, secure, not expired), longer paths first.
class CookieHeaders {
 public:
  CookieHeaders();
  // Takes a copy of `cookies` in place of the last one.
  void Keep(const std::vector<CookiePtr>& cookies);
  // Empty for none.
  std::string For(const std::string& uri) const;

 private:
  GObjectPtr<SoupCookieJar> jar_;
};

class CookieJar {
 public:
  explicit CookieJar(WebKitCookieManager* manager);
  ~CookieJar();
  CookieJar(const CookieJar&) = delete;
  CookieJar& operator=(const CookieJar&) = delete;

  // The Cookie header a request for `uri` carries: the cookies that apply to it (domain, path,
  // secure, not expired); empty for none.
  std::string HeaderFor(const std::string& uri) const { return headers_.For(uri); }

  // Starts a network process if none runs: the engine starts one only when a page needs it.
  std::function<void()> wakeNetworkProcess;
  std::size_t Count() const { return cookies_.size(); }
  // From a network process's end until its successor holds the copy (or the attempts ran out):
  // a request of the site's made meanwhile would go without the session.
  bool Restoring() const { return restoring_; }
  // Runs when Restoring() turns false.
  std::function<void()> restored;

 private:
  void Refresh();
  // Hands the copy to the engine until a new network process has taken it.
  void Restore(int attempt);
  void Restored();

  WebKitCookieManager* manager_;
  NetworkProcessWatch networkProcesses_;
  std::vector<CookiePtr> cookies_;
  CookieHeaders headers_;
  GObjectPtr<GCancellable> cancellable_;
  ScopedConnection restoreLater_;
  bool restarted_ = false;  // a network process started since the last one ended
  bool restoring_ = false;
  SignalConnection changed_;
};

}  // namespace tavro::platform::gtk
