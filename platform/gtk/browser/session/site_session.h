// The site's session as Tavro keeps it beside the engine: the copy of its cookies that a new
// network process gets back, the program's loads held while it does, and the loads Tavro sends
// itself when the engine cannot be waited for (the program ends; the page's web process is busy,
// stopped or hung when the window goes), so that the logout reaches the site with the session,
// once.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cookie_jar.h"
#include "direct_request.h"
#include "owners.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

class SiteSession : public ViewUnit {
 public:
  // The site's cookies are those of the first site view's web context.
  explicit SiteSession(Views& views);

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override { notStarted_.erase(view); }
  // The window goes: the loads still held for the session, and the program's loads the engine
  // has not started, are sent by Tavro itself.
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;
  void ProgramLoading(WebKitWebView* view) override;

  // The program's own load of a page in a view of the main window (not a page's navigation). A
  // load of the site's waits while the site's session is being given back to a new network
  // process, so that it carries the session.
  void ProgramLoad(WebKitWebView* view, const std::string& uri);

  // The program is ending: from now on a control's load is sent by Tavro itself, with the site's
  // cookies, and waited for until the deadline (see direct_request.h).
  void BeginEnding(std::chrono::steady_clock::time_point deadline) { endingBy_ = deadline; }
  bool Ending() const { return endingBy_.has_value(); }
  void SendNow(WebKitWebView* view, const std::string& uri);

 private:
  void ReleaseHeldLoads();
  void SendHeldLoads();
  void SendUnstartedLoads();
  // A request of the site's, sent by Tavro itself, as the view would have sent it.
  DirectRequest DirectFor(WebKitWebView* view, const std::string& uri) const;
  std::chrono::steady_clock::time_point Deadline() const;

  Views& views_;
  std::unique_ptr<CookieJar> cookies_;  // from the first site view on
  std::vector<std::pair<GObjectPtr<WebKitWebView>, std::string>> heldLoads_;
  std::map<WebKitWebView*, std::string> notStarted_;  // the site's views: the program's load not yet started
  std::optional<std::chrono::steady_clock::time_point> endingBy_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
