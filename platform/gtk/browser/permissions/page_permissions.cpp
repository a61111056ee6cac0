// Permission requests and permission queries of the views: the agent's question for the site's
// microphone and camera, the pointer lock on a click, and the refusal of the rest.
#include "page_permissions.h"

#include <algorithm>

#include "message_box.h"
#include "site_origin.h"

namespace tavro::platform::gtk {
namespace {

// Each frame of the site's views tells, from a script world of Tavro's own that its pages cannot
// reach, the origin of its document when the agent presses a button in it: the engine's request
// for the pointer names no frame, and a customer's page in a frame of the console is no page of
// the site's. The listener comes before any of the page's, and a page's own events are not trusted.
constexpr char kClickWorld[] = "tavro-clicks";
constexpr char kClickHandlerName[] = "tavroClicked";
constexpr char kClickSource[] = R"JS((function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  var handler = handlers && handlers.tavroClicked;
  if (!handler) return;
  window.addEventListener('pointerdown', function (event) {
    if (event.isTrusted) handler.postMessage(String(self.origin));
  }, true);
})();)JS";
// Longer than any origin a frame can have: anything else names none.
constexpr std::size_t kMaxOrigin = 2048;

void Allow(WebKitPermissionRequest* request, bool allowed) {
  if (allowed)
    webkit_permission_request_allow(request);
  else
    webkit_permission_request_deny(request);
}

}  // namespace

struct PagePermissions::Question {
  struct Waiting {
    WebKitWebView* view = nullptr;
    GObjectPtr<WebKitPermissionRequest> request;
  };
  std::string origin;
  CaptureDevices devices;
  std::vector<Waiting> waiting;  // requests the answer goes to
  std::unique_ptr<Gtk::MessageDialog> box;
  // The box's grab holds its own group only: the agent goes on working in the console meanwhile.
  Glib::RefPtr<Gtk::WindowGroup> group;
};

PagePermissions::PagePermissions(Views& views, Gestures& gestures) : views_(views), gestures_(gestures) {}

PagePermissions::~PagePermissions() { CloseAll(); }

void PagePermissions::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  // After SiteNotifications' handler, which takes the notification requests.
  connections_.Add(view, Connect(view, "permission-request",
                                 +[](WebKitWebView* v, WebKitPermissionRequest* request, gpointer self) -> gboolean {
                                   return static_cast<PagePermissions*>(self)->Decide(v, request);
                                 },
                                 this));
  connections_.Add(view, Connect(view, "query-permission-state",
                                 +[](WebKitWebView* v, WebKitPermissionStateQuery* query, gpointer self) -> gboolean {
                                   return static_cast<PagePermissions*>(self)->State(v, query);
                                 },
                                 this));
  if (!shown.site) return;  // an outside page never takes the pointer: where it clicked is no matter
  // A press of a button is heard here before the page gets it: what a frame told before it is old.
  connections_.Add(view, Connect(view, "button-press-event",
                                 +[](GtkWidget* v, GdkEventButton*, gpointer self) -> gboolean {
                                   static_cast<PagePermissions*>(self)->clickedOrigins_.erase(WEBKIT_WEB_VIEW(v));
                                   return FALSE;
                                 },
                                 this));
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  webkit_user_content_manager_register_script_message_handler_in_world(content, kClickHandlerName, kClickWorld);
  if (!clickScript_)
    clickScript_.reset(webkit_user_script_new_for_world(kClickSource, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kClickWorld,
                                                        nullptr, nullptr));
  webkit_user_content_manager_add_script(content, clickScript_.get());
  connections_.Add(view, Connect(content, (std::string("script-message-received::") + kClickHandlerName).c_str(),
                                 +[](WebKitUserContentManager* c, WebKitJavascriptResult* message, gpointer self) {
                                   static_cast<PagePermissions*>(self)->Clicked(c, message);
                                 },
                                 this));
}

void PagePermissions::Detach(WebKitWebView* view) {
  RefuseWaiting(view);
  connections_.Drop(view);
  clickedOrigins_.erase(view);
}

void PagePermissions::CloseAll() {
  closed_ = true;
  while (!questions_.empty()) Answer(questions_.front().get(), Gtk::RESPONSE_DELETE_EVENT);
}

void PagePermissions::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  if (event == WEBKIT_LOAD_COMMITTED) RefuseWaiting(view);
}

std::string PagePermissions::SiteOriginOf(WebKitWebView* view) const {
  const std::string& site = views_.SiteOrigin();
  if (!views_.IsSite(view) || site.empty() || !SameWebOrigin(UriOf(view), site)) return {};
  return site;
}

bool PagePermissions::Decide(WebKitWebView* view, WebKitPermissionRequest* request) {
  if (WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return false;  // SiteNotifications'
  if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
    CaptureRequest(view, WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request));
  } else if (WEBKIT_IS_DEVICE_INFO_PERMISSION_REQUEST(request)) {
    // The devices' names and lasting ids (enumerateDevices) go with the devices themselves. The
    // engine asks this before each request for them too: refused, the request still comes.
    const std::string origin = SiteOriginOf(view);
    Allow(request, !closed_ && !origin.empty() && answers_.MayListDevices(origin));
  } else if (WEBKIT_IS_POINTER_LOCK_PERMISSION_REQUEST(request)) {
    // The engine's own default gives every page the pointer.
    Allow(request, PointerLockAllowed(view));
  } else {
    // Geolocation, storage access across sites, media keys, reading the clipboard, missing media
    // plugins, and whatever a later engine asks: nothing of the console's needs them.
    webkit_permission_request_deny(request);
  }
  return true;
}

void PagePermissions::CaptureRequest(WebKitWebView* view, WebKitUserMediaPermissionRequest* request) {
  auto* asked = WEBKIT_PERMISSION_REQUEST(request);
  // Another origin's page (the advertisement, a customer's page in a pop-up window) is refused
  // without a question. A frame of another origin in the console asks as the console when the
  // console's page lets it (allow="microphone; camera"); without, the engine refuses it first.
  const std::string origin = SiteOriginOf(view);
  // What the agent's screen shows is nobody's: screen capture is refused whatever the page.
  if (closed_ || origin.empty() || webkit_user_media_permission_is_for_display_device(request)) {
    webkit_permission_request_deny(asked);
    return;
  }
  const CaptureDevices devices{webkit_user_media_permission_is_for_audio_device(request) != FALSE,
                               webkit_user_media_permission_is_for_video_device(request) != FALSE};
  switch (answers_.For(origin, devices)) {
    case DeviceVerdict::Allow: webkit_permission_request_allow(asked); break;
    case DeviceVerdict::Deny: webkit_permission_request_deny(asked); break;
    case DeviceVerdict::Ask: Ask(view, origin, devices, asked); break;
  }
}

void PagePermissions::Ask(WebKitWebView* view, const std::string& origin, CaptureDevices devices,
                          WebKitPermissionRequest* request) {
  Question::Waiting waiting{view, GObjectPtr<WebKitPermissionRequest>(
                                      static_cast<WebKitPermissionRequest*>(g_object_ref(request)))};
  // One question for the site at a time: a request for the devices it names waits for its answer,
  // one for more is refused (the page may ask again once the agent answered).
  for (const auto& question : questions_) {
    if (question->origin != origin) continue;
    if ((devices.microphone && !question->devices.microphone) || (devices.camera && !question->devices.camera))
      webkit_permission_request_deny(request);
    else
      question->waiting.push_back(std::move(waiting));
    return;
  }
  auto question = std::make_unique<Question>();
  question->origin = origin;
  question->devices = devices;
  question->waiting.push_back(std::move(waiting));
  question->box = MakeMessageBox(&views_.WindowOf(view), DeviceQuestion(origin, devices), BoxIcon::Plain,
                                 BoxButtons::AllowDeny);
  question->group = Gtk::WindowGroup::create();
  question->group->add_window(*question->box);
  Question* raw = question.get();
  question->box->signal_response().connect([this, raw](int response) { Answer(raw, response); });
  questions_.push_back(std::move(question));
  raw->box->show();
}

void PagePermissions::Answer(Question* question, int response) {
  const auto it = std::find_if(questions_.begin(), questions_.end(),
                               [question](const auto& q) { return q.get() == question; });
  if (it == questions_.end()) return;
  const bool allowed = response == Gtk::RESPONSE_OK;
  // Allow or Deny holds for the run; a box closed without either refuses this request only.
  if (response == Gtk::RESPONSE_OK || response == Gtk::RESPONSE_CANCEL)
    answers_.Record(question->origin, question->devices, allowed);
  for (auto& waiting : question->waiting) Allow(waiting.request.get(), allowed);
  question->waiting.clear();
  question->box->hide();
  // The box may be inside its own response signal: it goes once that returns.
  std::shared_ptr<Question> doomed(std::move(*it));
  questions_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

void PagePermissions::RefuseWaiting(WebKitWebView* view) {
  for (auto it = questions_.begin(); it != questions_.end();) {
    Question* question = it->get();
    ++it;  // Answer takes the question out of the list
    auto& waiting = question->waiting;
    for (auto w = waiting.begin(); w != waiting.end();) {
      if (w->view != view) {
        ++w;
        continue;
      }
      webkit_permission_request_deny(w->request.get());
      w = waiting.erase(w);
    }
    // Nobody waits for the answer any more: the question goes unanswered.
    if (waiting.empty()) Answer(question, Gtk::RESPONSE_DELETE_EVENT);
  }
}

bool PagePermissions::PointerLockAllowed(WebKitWebView* view) {
  if (closed_) return false;
  // Only the site's pages, and only where the agent's latest click landed in a document of the
  // site's: neither the advertisement nor a customer's page, in a pop-up window or a frame of the
  // console, keeps the agent's next click from the console.
  const std::string origin = SiteOriginOf(view);
  const auto clicked = clickedOrigins_.find(view);
  if (origin.empty() || clicked == clickedOrigins_.end() || !SameWebOrigin(clicked->second, origin)) return false;
  return gestures_.TakeForPointerLock(view);
}

bool PagePermissions::State(WebKitWebView* view, WebKitPermissionStateQuery* query) {
  const char* name = webkit_permission_state_query_get_name(query);
  const bool camera = g_strcmp0(name, "camera") == 0;
  if (!camera && g_strcmp0(name, "microphone") != 0) return false;  // the engine's answer
  // Pages learn what the agent answered the site, and that nothing else would be allowed.
  WebKitPermissionState state = WEBKIT_PERMISSION_STATE_DENIED;
  WebKitSecurityOrigin* asking = webkit_permission_state_query_get_security_origin(query);
  const GCharPtr askingOrigin(asking ? webkit_security_origin_to_string(asking) : nullptr);
  const std::string origin = SiteOriginOf(view);
  if (!closed_ && !origin.empty() && askingOrigin && SameWebOrigin(askingOrigin.get(), origin)) {
    const auto answered = answers_.Answered(origin, camera);
    state = !answered ? WEBKIT_PERMISSION_STATE_PROMPT
                      : *answered ? WEBKIT_PERMISSION_STATE_GRANTED : WEBKIT_PERMISSION_STATE_DENIED;
  }
  webkit_permission_state_query_finish(query, state);
  return true;
}

void PagePermissions::Clicked(WebKitUserContentManager* content, WebKitJavascriptResult* message) {
  WebKitWebView* view = views_.ViewWithContent(content);
  JSCValue* value = message ? webkit_javascript_result_get_js_value(message) : nullptr;
  if (!view || !value || !jsc_value_is_string(value)) return;
  const GCharPtr text(jsc_value_to_string(value));
  std::string origin = text ? text.get() : "";
  if (origin.size() > kMaxOrigin) origin.clear();
  clickedOrigins_[view] = origin;
}

}  // namespace tavro::platform::gtk
