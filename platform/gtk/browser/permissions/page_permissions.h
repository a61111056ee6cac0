// What pages may ask of the agent's devices, decided in one place for every permission request of
// the views but notifications (SiteNotifications'): the site's pages get the microphone and the
// camera once the agent allowed them, for this run, and take the pointer only on a click in them;
// other origins, the advertisement, screen capture and everything else are refused without a
// question.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device_answers.h"
#include "gestures.h"
#include "owners.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

class PagePermissions : public ViewUnit {
 public:
  PagePermissions(Views& views, Gestures& gestures);
  ~PagePermissions() override;

  void Attach(const ShownView& shown) override;
  // The view's open requests are refused.
  void Detach(WebKitWebView* view) override;
  // Open questions go, their requests refused; later requests are refused without one.
  void CloseAll() override;
  // Another page in the view: what the former one asked is refused.
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;

 private:
  struct Question;
  struct UserScriptUnref {
    void operator()(WebKitUserScript* script) const { webkit_user_script_unref(script); }
  };

  bool Decide(WebKitWebView* view, WebKitPermissionRequest* request);
  bool State(WebKitWebView* view, WebKitPermissionStateQuery* query);
  void CaptureRequest(WebKitWebView* view, WebKitUserMediaPermissionRequest* request);
  bool PointerLockAllowed(WebKitWebView* view);
  void Ask(WebKitWebView* view, const std::string& origin, CaptureDevices devices, WebKitPermissionRequest* request);
  void Answer(Question* question, int response);
  void RefuseWaiting(WebKitWebView* view);
  void Clicked(WebKitUserContentManager* content, WebKitJavascriptResult* message);
  // The site's origin when the view is the site's and shows a page of it; else empty.
  std::string SiteOriginOf(WebKitWebView* view) const;

  Views& views_;
  Gestures& gestures_;
  DeviceAnswers answers_;
  std::list<std::unique_ptr<Question>> questions_;
  // The origin of the frame the agent's latest click in each view landed in, as that frame's
  // document tells it; none since the latest press of a button, before the frame told.
  std::map<WebKitWebView*, std::string> clickedOrigins_;
  std::unique_ptr<WebKitUserScript, UserScriptUnref> clickScript_;
  ConnectionsByInstance connections_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
