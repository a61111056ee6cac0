// A copy, in Tavro's own process, of the site's cookies as the engine keeps them: what a logout
// sent without the engine carries, and what a restarted network process gets back.
#pragma once

#include <libsoup/soup.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>
#include <vector>

#include "owners.h"

namespace tavro::platform::gtk {

struct SoupCookieFree {
  void operator()(SoupCookie* cookie) const { soup_cookie_free(cookie); }
};
using CookiePtr = std::unique_ptr<SoupCookie, SoupCookieFree>;

class CookieJar {
 public:
  explicit CookieJar(WebKitCookieManager* manager);
  ~CookieJar();
  CookieJar(const CookieJar&) = delete;
  CookieJar& operator=(const CookieJar&) = delete;

  // The Cookie header a request for `uri` carries: the cookies that apply to it (domain, path,
  // secure, not expired); empty for none.
  std::string HeaderFor(const std::string& uri) const;
  std::size_t Count() const { return cookies_.size(); }

 private:
  void Refresh();

  WebKitCookieManager* manager_;
  std::vector<CookiePtr> cookies_;
  GObjectPtr<GCancellable> cancellable_;
  SignalConnection changed_;
};

}  // namespace tavro::platform::gtk
