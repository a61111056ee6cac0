// Notifications of the site's pages through the desktop's service; other origins are refused.
#include "site_notifications.h"

#include <gdk/gdkx.h>

#include "message_box.h"
#include "site_origin.h"

namespace tavro::platform::gtk {
namespace {

constexpr std::size_t kMaxPageToken = 64;
constexpr std::size_t kMaxTag = 256;

std::string NewKey() {
  const GCharPtr key(g_uuid_string_random());
  return key.get();
}

// A string property of a message from a page; empty when it has none.
std::string StringProperty(JSCValue* object, const char* name) {
  const auto value = Adopt(jsc_value_object_get_property(object, name));
  if (!value || !jsc_value_is_string(value.get())) return {};
  const GCharPtr text(jsc_value_to_string(value.get()));
  return text ? text.get() : "";
}

// A positive whole number property of a message from a page; 0 when it has none.
int IdProperty(JSCValue* object, const char* name) {
  const auto value = Adopt(jsc_value_object_get_property(object, name));
  if (!value || !jsc_value_is_number(value.get())) return 0;
  const double number = jsc_value_to_double(value.get());
  return number >= 1 && number <= G_MAXINT32 && number == static_cast<int>(number) ? static_cast<int>(number) : 0;
}

void BringToFront(Gtk::Window& window) {
  window.deiconify();
  // The agent clicked the desktop's notification, not Tavro: the window manager gives the focus
  // to a request that is newer than the agent's last input, so it goes with the server's time.
  const Glib::RefPtr<Gdk::Window> gdkWindow = window.get_window();
  if (gdkWindow && GDK_IS_X11_WINDOW(gdkWindow->gobj()))
    window.present(gdk_x11_get_server_time(gdkWindow->gobj()));
  else
    window.present();
}

}  // namespace

SiteNotifications::SiteNotifications(Views& views)
    : views_(views), key_(NewKey()), desktop_(ApplicationTitle()) {
  desktop_.onEvent = [this](Handle handle, DesktopNotifications::Event event) { DesktopEvent(handle, event); };
}

void SiteNotifications::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  if (shown.site && !context_) {
    // Before the context's first web process starts: it asks for the permissions then.
    context_ = webkit_web_view_get_context(view);
    initialize_ = Connect(context_, "initialize-notification-permissions",
                          +[](WebKitWebContext*, gpointer self) { static_cast<SiteNotifications*>(self)->AllowSiteOrigin(); },
                          this);
  }
  shims_[view];
  connections_.Add(view, Connect(view, "permission-request",
                                 +[](WebKitWebView* v, WebKitPermissionRequest* request, gpointer self) -> gboolean {
                                   return static_cast<SiteNotifications*>(self)->PermissionRequest(v, request);
                                 },
                                 this));
  connections_.Add(view, Connect(view, "show-notification",
                                 +[](WebKitWebView* v, WebKitNotification* notification, gpointer self) -> gboolean {
                                   static_cast<SiteNotifications*>(self)->EngineNotification(v, notification);
                                   return FALSE;  // the engine shows it through the desktop's service
                                 },
                                 this));
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  // Reachable from Tavro's own script world only, through the relay that checks what comes.
  webkit_user_content_manager_register_script_message_handler_in_world(content, kNotifyHandlerName, kBridgeWorld);
  if (!relay_)
    relay_.reset(webkit_user_script_new_for_world(NotificationRelaySource(key_).c_str(),
                                                  WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                  WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kBridgeWorld, nullptr,
                                                  nullptr));
  webkit_user_content_manager_add_script(content, relay_.get());
  connections_.Add(view, Connect(content, (std::string("script-message-received::") + kNotifyHandlerName).c_str(),
                                 +[](WebKitUserContentManager* c, WebKitJavascriptResult* message, gpointer self) {
                                   static_cast<SiteNotifications*>(self)->PageMessage(c, message);
                                 },
                                 this));
  OfferShim(view);
}

void SiteNotifications::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  shims_.erase(view);
  if (view == mainView_) mainView_ = nullptr;
}

void SiteNotifications::SiteKnown(WebKitWebView* mainView, const std::string& siteUri) {
  if (mainView_ || originSettled_ || !siteOrigin_.empty()) return;
  mainView_ = mainView;
  // Pages load only after this: each view's pages of the site's origin get the notifications.
  SetSiteOrigin(WebOriginOf(siteUri));
}

bool SiteNotifications::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type) {
  MainResponse(view, decision, type);
  return false;  // only looked at: the other units and the engine decide
}

void SiteNotifications::MainResponse(WebKitWebView* view, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type) {
  // The answer to the main view's first page, before the page is made: the engine waits for the
  // decision, and the script changed here reaches the web process before it, so the page's own
  // scripts already find the site's Notification. Load events come later, when the page may run.
  if (originSettled_ || view != mainView_ || type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return;
  auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
  if (!webkit_response_policy_decision_is_main_frame_main_resource(response) ||
      !webkit_response_policy_decision_is_mime_type_supported(response))
    return;  // a frame's, or a download: the view keeps its page
  WebKitURIResponse* answer = webkit_response_policy_decision_get_response(response);
  const guint status = answer ? webkit_uri_response_get_status_code(answer) : 0;
  const char* uri = answer ? webkit_uri_response_get_uri(answer) : nullptr;
  const std::string origin = WebOriginOf(uri ? uri : "");
  if (status == 0 || origin.empty()) return;  // not a web server's answer
  // A server error may come from before the site's own redirects: the next answer decides.
  if (status < 500) originSettled_ = true;
  if (origin != siteOrigin_) SetSiteOrigin(origin);
}

void SiteNotifications::SetSiteOrigin(const std::string& origin) {
  siteOrigin_ = origin;
  views_.SetSiteOrigin(origin);
  AllowSiteOrigin();
  for (const auto& [view, script] : shims_) OfferShim(view);
}

void SiteNotifications::AllowSiteOrigin() {
  if (!context_) return;
  // Handed to each web process about to start (and again when the site's origin is known): the
  // site's origin may show notifications; others ask, and are refused.
  struct OriginUnref {
    void operator()(WebKitSecurityOrigin* origin) const { webkit_security_origin_unref(origin); }
  };
  const std::unique_ptr<WebKitSecurityOrigin, OriginUnref> origin(
      siteOrigin_.empty() ? nullptr : webkit_security_origin_new_for_uri(siteOrigin_.c_str()));
  GList* allowed = origin ? g_list_append(nullptr, origin.get()) : nullptr;
  webkit_web_context_initialize_notification_permissions(context_, allowed, nullptr);
  g_list_free(allowed);
}

bool SiteNotifications::PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request) {
  if (!WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return false;  // the engine denies the rest
  if (!closed_ && SameWebOrigin(UriOf(view), siteOrigin_))
    webkit_permission_request_allow(request);
  else
    webkit_permission_request_deny(request);
  return true;
}

void SiteNotifications::OfferShim(WebKitWebView* view) {
  // The engine refuses notifications to an ephemeral session whatever the permission says, so
  // the site's pages get a Notification of ours that hands them to PageMessage. Pages made from
  // now on get the script for the site's origin of now, and no other.
  const auto slot = shims_.find(view);
  if (slot == shims_.end()) return;
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  if (slot->second) webkit_user_content_manager_remove_script(content, slot->second.get());
  slot->second.reset();
  if (siteOrigin_.empty()) return;
  const std::string source = NotificationShimSource(siteOrigin_, key_);
  slot->second.reset(webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                            WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr));
  webkit_user_content_manager_add_script(content, slot->second.get());
}

void SiteNotifications::PageMessage(WebKitUserContentManager* content, WebKitJavascriptResult* message) {
  if (closed_) return;
  WebKitWebView* view = views_.ViewWithContent(content);
  // Only the site's own pages notify, whatever another page (or frame) posts under the name.
  if (!view || !SameWebOrigin(UriOf(view), siteOrigin_)) return;
  JSCValue* value = webkit_javascript_result_get_js_value(message);
  if (!value || !jsc_value_is_object(value)) return;
  if (StringProperty(value, "key") != key_) return;
  const std::string page = StringProperty(value, "page");
  const int id = IdProperty(value, "id");
  if (page.empty() || page.size() > kMaxPageToken || id == 0) return;
  const std::string op = StringProperty(value, "op");
  if (op == "show")
    ShowForPage(view, value, page, id);
  else if (op == "close")
    CloseForPage(view, page, id);
}

void SiteNotifications::ShowForPage(WebKitWebView* view, JSCValue* message, const std::string& page, int id) {
  // A tag names one notification of the site: a newer one of the tag takes the former's place.
  const std::string tag = DesktopText(StringProperty(message, "tag"), kMaxTag);
  const auto former = tag.empty() ? byTag_.end() : byTag_.find(tag);
  const Handle handle = desktop_.Show(StringProperty(message, "title"), StringProperty(message, "body"),
                                      former == byTag_.end() ? 0 : former->second);
  if (handle == 0) return;
  PageNotification& shown = pageNotifications_[handle];
  shown.view = WeakRef<WebKitWebView>(view);
  shown.page = page;
  shown.id = id;
  shown.tag = tag;
  if (tag.empty()) return;
  // Read again: the one that waited in the desktop's queue may have given its place back.
  Handle& newest = byTag_[tag];
  shown.replaced = newest;
  newest = handle;
}

void SiteNotifications::CloseForPage(WebKitWebView* view, const std::string& page, int id) {
  for (const auto& [handle, shown] : pageNotifications_) {
    if (shown.page != page || shown.id != id) continue;
    const GObjectPtr<WebKitWebView> sender = shown.view.Get();
    if (sender.get() != view) return;
    const Handle closing = handle;
    desktop_.Close(closing);  // may forget it, and so change the map: nothing of it is used after
    return;
  }
}

void SiteNotifications::DesktopEvent(Handle handle, DesktopNotifications::Event event) {
  const auto it = pageNotifications_.find(handle);
  if (it == pageNotifications_.end()) return;
  if (event == DesktopNotifications::Event::Clicked) {
    if (closed_) return;
    Clicked(it->second.view);
    ToPage(it->second, "click");
    return;
  }
  if (event == DesktopNotifications::Event::Closed && !closed_) ToPage(it->second, "close");
  const PageNotification gone = std::move(it->second);
  pageNotifications_.erase(it);
  if (gone.tag.empty()) return;
  const auto tagged = byTag_.find(gone.tag);
  if (tagged == byTag_.end() || tagged->second != handle) return;
  // One that never showed gives its tag back to the one it was to replace, if that one is still there.
  if (event == DesktopNotifications::Event::Dropped && pageNotifications_.count(gone.replaced) != 0)
    tagged->second = gone.replaced;
  else
    byTag_.erase(tagged);
}

void SiteNotifications::ToPage(const PageNotification& notification, const char* type) {
  // Only the page load that made it, still of the site's origin, gets the event: a page the view
  // has gone to since has notifications of its own.
  const GObjectPtr<WebKitWebView> view = notification.view.Get();
  if (!view || !views_.Known(view.get()) || !SameWebOrigin(UriOf(view.get()), siteOrigin_)) return;
  const std::string script = NotificationEventScript(siteOrigin_, key_, notification.page, notification.id, type);
  webkit_web_view_evaluate_javascript(view.get(), script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                      nullptr, nullptr, nullptr, nullptr);
}

void SiteNotifications::EngineNotification(WebKitWebView* view, WebKitNotification* notification) {
  // A click on the desktop's notification brings the window of the page that sent it forward.
  Shown& shown = engineShown_[notification];
  shown.view = WeakRef<WebKitWebView>(view);
  shown.clicked = Connect(notification, "clicked",
                          +[](WebKitNotification* n, gpointer self) {
                            auto* me = static_cast<SiteNotifications*>(self);
                            if (const auto it = me->engineShown_.find(n); it != me->engineShown_.end())
                              me->Clicked(it->second.view);
                          },
                          this);
  shown.closed = Connect(notification, "closed",
                         +[](WebKitNotification* n, gpointer self) {
                           auto* me = static_cast<SiteNotifications*>(self);
                           const auto it = me->engineShown_.find(n);
                           if (it == me->engineShown_.end()) return;
                           // Inside the notification's own signal: its connections go once it returns.
                           auto doomed = std::make_shared<Shown>(std::move(it->second));
                           me->engineShown_.erase(it);
                           Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
                         },
                         this);
}

void SiteNotifications::Clicked(const WeakRef<WebKitWebView>& view) {
  if (closed_) return;
  const GObjectPtr<WebKitWebView> alive = view.Get();
  BringToFront(alive && views_.Known(alive.get()) ? views_.WindowOf(alive.get()) : views_.MainWindow());
}

}  // namespace tavro::platform::gtk
