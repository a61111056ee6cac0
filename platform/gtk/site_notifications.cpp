// Notifications of the site's pages through the desktop's service; other origins are refused.
#include "site_notifications.h"

#include "message_box.h"
#include "site_origin.h"

namespace tavro::platform::gtk {
namespace {

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

void BringToFront(Gtk::Window& window) {
  window.deiconify();
  window.present();
}

}  // namespace

SiteNotifications::SiteNotifications(Views& views, WebKitWebContext* context)
    : views_(views),
      context_(context),
      key_(NewKey()),
      desktop_(ApplicationTitle()),
      initialize_(Connect(context, "initialize-notification-permissions",
                          +[](WebKitWebContext*, gpointer self) { static_cast<SiteNotifications*>(self)->AllowSiteOrigin(); },
                          this)) {}

void SiteNotifications::Attach(WebKitWebView* view) {
  attached_.insert(view);
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
  webkit_user_content_manager_register_script_message_handler(content, kNotifyHandlerName);
  connections_.Add(view, Connect(content, (std::string("script-message-received::") + kNotifyHandlerName).c_str(),
                                 +[](WebKitUserContentManager* c, WebKitJavascriptResult* message, gpointer self) {
                                   static_cast<SiteNotifications*>(self)->PageMessage(c, message);
                                 },
                                 this));
  OfferShim(view);
}

void SiteNotifications::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  attached_.erase(view);
}

void SiteNotifications::SiteKnown(const std::string& siteUri) {
  if (!siteUri_.empty()) return;
  siteUri_ = siteUri;
  AllowSiteOrigin();
  // Pages load only after this: each view's pages of the site's origin get the notifications.
  for (WebKitWebView* view : attached_) OfferShim(view);
}

void SiteNotifications::AllowSiteOrigin() {
  // Handed to each web process about to start (and again once the site is known): the site's
  // origin may show notifications; others ask, and are refused.
  struct OriginUnref {
    void operator()(WebKitSecurityOrigin* origin) const { webkit_security_origin_unref(origin); }
  };
  const std::unique_ptr<WebKitSecurityOrigin, OriginUnref> origin(
      WebOriginOf(siteUri_).empty() ? nullptr : webkit_security_origin_new_for_uri(siteUri_.c_str()));
  GList* allowed = origin ? g_list_append(nullptr, origin.get()) : nullptr;
  webkit_web_context_initialize_notification_permissions(context_, allowed, nullptr);
  g_list_free(allowed);
}

bool SiteNotifications::PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request) {
  if (!WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return false;  // the engine denies the rest
  if (!closed_ && SameWebOrigin(UriOf(view), siteUri_))
    webkit_permission_request_allow(request);
  else
    webkit_permission_request_deny(request);
  return true;
}

void SiteNotifications::OfferShim(WebKitWebView* view) {
  // The engine refuses notifications to an ephemeral session whatever the permission says, so
  // the site's pages get a Notification of ours that hands them to PageMessage.
  const std::string origin = WebOriginOf(siteUri_);
  if (origin.empty()) return;
  const std::string source = NotificationShimSource(origin, key_);
  WebKitUserScript* script = webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                    WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view), script);
  webkit_user_script_unref(script);
}

void SiteNotifications::PageMessage(WebKitUserContentManager* content, WebKitJavascriptResult* message) {
  if (closed_) return;
  WebKitWebView* view = views_.ViewWithContent(content);
  // Only the site's own pages notify, whatever another page (or frame) posts under the name.
  if (!view || !SameWebOrigin(UriOf(view), siteUri_)) return;
  JSCValue* value = webkit_javascript_result_get_js_value(message);
  if (!value || !jsc_value_is_object(value)) return;
  if (StringProperty(value, "key") != key_) return;
  auto weakView = std::make_shared<WeakRef<WebKitWebView>>(view);
  // The desktop's notifications go with this object: a click never outlives it.
  desktop_.Show(StringProperty(value, "title"), StringProperty(value, "body"), [this, weakView] { Clicked(*weakView); });
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
