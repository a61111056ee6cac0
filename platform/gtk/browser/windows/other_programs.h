// Links to other programs of the desktop (tencent:, weixin:, mailto:, tel:): decided where the
// engine asks for a navigation or a new window, before anything loads, so that no page leaves for
// an address it cannot show. The agent's click or key in a page of the site asks whether the
// desktop's program for the scheme should open the address; anything else goes nowhere, silently.
#pragma once

#include <gio/gio.h>
#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <list>
#include <map>
#include <memory>
#include <string>

#include "blocked_notice.h"
#include "gestures.h"
#include "owners.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

// What a view's page tells of itself through Tavro's script world (see other_programs.cpp).
struct ProgramLinksState {
  bool otherOriginFrame = false;  // a frame of another origin came into the page since it committed
  std::string clickedLink;        // the link the agent's latest press clicked in a document of the site
};

// Takes every navigation and new window to another program's address, and window.open of one
// (the view's "create", stopped here before Popups hears it).
class OtherPrograms : public PerViewUnit<ProgramLinksState> {
 public:
  OtherPrograms(Views& views, Gestures& gestures, BlockedNotices& notices);
  ~OtherPrograms() override;

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;
  // Every open question goes unanswered, and no program opens from now on.
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) override;

 private:
  struct Question;

  // True when the action's address is another program's: it is decided here, whatever it asks.
  bool Take(WebKitWebView* view, WebKitNavigationAction* action);
  // The agent's latest press was in this view, whose page is of the site, and the address comes
  // from a document of the site's origin.
  bool FromTheSite(WebKitWebView* view, const std::string& uri);
  void Ask(WebKitWebView* view, const std::string& scheme, const std::string& uri, GObjectPtr<GAppInfo> program);
  void Answer(Question* question, bool open);
  void DismissFor(WebKitWebView* view);
  void Press(WebKitWebView* view);
  void PageMessage(WebKitUserContentManager* content, WebKitJavascriptResult* message);

  Views& views_;
  Gestures& gestures_;
  BlockedNotices& notices_;
  GObjectPtr<WebKitUserScript> script_;
  std::map<std::string, bool> remembered_;  // scheme -> open, the agent's answer until Tavro ends
  std::list<std::unique_ptr<Question>> questions_;  // one at most per view
  WebKitWebView* lastPressed_ = nullptr;            // the view of the agent's latest press
};

}  // namespace tavro::platform::gtk
