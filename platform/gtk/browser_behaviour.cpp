#include "browser_behaviour.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "popup_window.h"
#include "web_views.h"

namespace tavro::platform::gtk {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kOk[] = "确定";
constexpr char kCancel[] = "取消";
constexpr char kSave[] = "保存";

std::string AppTitle() {
  const char* name = g_get_application_name();
  return name ? name : "";
}

bool IsWebScheme(const char* scheme) {
  return scheme && (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0);
}

std::string UriOf(WebKitWebView* view) {
  const char* uri = webkit_web_view_get_uri(view);
  return uri ? uri : "";
}

// Hands an address to the desktop's default browser. Only web addresses go: a page must not
// start other programs through file: or custom-scheme addresses.
void OpenOnDesktop(const char* uri) {
  if (!uri) return;
  GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr);
  const bool web = parsed && IsWebScheme(g_uri_get_scheme(parsed));
  if (parsed) g_uri_unref(parsed);
  if (!web) return;
  GError* error = nullptr;
  if (!g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
    std::cerr << "tavro: cannot open " << uri << " in the desktop's browser: "
              << (error ? error->message : "no browser") << std::endl;
    g_clear_error(&error);
  }
}

const char* RequestUri(WebKitNavigationAction* action) {
  WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
  return request ? webkit_uri_request_get_uri(request) : nullptr;
}

// A file name the chooser can offer: no folders, never empty.
std::string SafeFileName(const char* suggested) {
  std::string name = suggested ? suggested : "";
  std::replace(name.begin(), name.end(), '/', '_');
  if (name.empty() || name == "." || name == "..") name = "download";
  return name;
}

std::string NewKey() {
  gchar* key = g_uuid_string_random();
  std::string out = key;
  g_free(key);
  return out;
}

// A string property of a message from a page; empty when it has none.
std::string StringProperty(JSCValue* object, const char* name) {
  JSCValue* value = jsc_value_object_get_property(object, name);
  std::string out;
  if (value && jsc_value_is_string(value)) {
    gchar* text = jsc_value_to_string(value);
    out = text ? text : "";
    g_free(text);
  }
  if (value) g_object_unref(value);
  return out;
}

void BringToFront(Gtk::Window& window) {
  window.deiconify();
  window.present();
}

}  // namespace

// ---------------------------------------------------------------- helpers

bool SameWebOrigin(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  WebKitSecurityOrigin* oa = webkit_security_origin_new_for_uri(a.c_str());
  WebKitSecurityOrigin* ob = webkit_security_origin_new_for_uri(b.c_str());
  bool same = false;
  if (oa && ob) {
    const char* pa = webkit_security_origin_get_protocol(oa);
    const char* pb = webkit_security_origin_get_protocol(ob);
    const char* ha = webkit_security_origin_get_host(oa);
    const char* hb = webkit_security_origin_get_host(ob);
    same = IsWebScheme(pa) && IsWebScheme(pb) && g_ascii_strcasecmp(pa, pb) == 0 && ha && hb && *ha &&
           g_ascii_strcasecmp(ha, hb) == 0 &&
           webkit_security_origin_get_port(oa) == webkit_security_origin_get_port(ob);
  }
  if (oa) webkit_security_origin_unref(oa);
  if (ob) webkit_security_origin_unref(ob);
  return same;
}

bool IsFrameBreakingMenuAction(WebKitContextMenuAction action) {
  switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT:
      return true;
    default:
      return false;
  }
}

void PruneContextMenu(WebKitContextMenu* menu) {
  std::vector<WebKitContextMenuItem*> items;
  for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next)
    items.push_back(WEBKIT_CONTEXT_MENU_ITEM(l->data));
  for (WebKitContextMenuItem* item : items) {
    if (IsFrameBreakingMenuAction(webkit_context_menu_item_get_stock_action(item))) {
      webkit_context_menu_remove(menu, item);
      continue;
    }
    if (WebKitContextMenu* submenu = webkit_context_menu_item_get_submenu(item)) PruneContextMenu(submenu);
  }
  // Separators left at an end or next to each other.
  items.clear();
  for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next)
    items.push_back(WEBKIT_CONTEXT_MENU_ITEM(l->data));
  bool previousWasSeparator = true;  // a separator at the top goes
  WebKitContextMenuItem* lastKept = nullptr;
  for (WebKitContextMenuItem* item : items) {
    const bool separator = webkit_context_menu_item_is_separator(item);
    if (separator && previousWasSeparator) {
      webkit_context_menu_remove(menu, item);
      continue;
    }
    previousWasSeparator = separator;
    lastKept = item;
  }
  if (lastKept && webkit_context_menu_item_is_separator(lastKept)) webkit_context_menu_remove(menu, lastKept);
}

std::chrono::milliseconds ReloadDelay(std::optional<Clock::time_point> lastReload, Clock::time_point now) {
  if (!lastReload || now < *lastReload) return std::chrono::milliseconds(0);
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - *lastReload);
  return since >= kReloadInterval ? std::chrono::milliseconds(0) : kReloadInterval - since;
}

void RequestAttention(Gtk::Window& window, bool iconified) {
  if (iconified || !window.is_active()) window.set_urgency_hint(true);
}

void ClearAttentionOnFocus(Gtk::Window& window) {
  window.property_is_active().signal_changed().connect([&window] {
    if (window.is_active()) window.set_urgency_hint(false);
  });
}

// ---------------------------------------------------------------- pending questions

struct BrowserBehaviour::ScriptDialogBox {
  WebKitWebView* view = nullptr;
  WebKitScriptDialog* dialog = nullptr;  // our reference, released once answered
  std::unique_ptr<Gtk::MessageDialog> box;
  Gtk::Entry* entry = nullptr;  // prompt() only
  bool answered = false;
};

struct BrowserBehaviour::SaveChooser {
  WebKitDownload* download = nullptr;  // our reference, released once answered
  std::unique_ptr<Gtk::FileChooserDialog> chooser;
  bool answered = false;
};

// ---------------------------------------------------------------- the behaviour

BrowserBehaviour::BrowserBehaviour(Gtk::Window& mainWindow, WebKitWebContext* context)
    : mainWindow_(mainWindow),
      context_(context),
      notifyKey_(NewKey()),
      desktopNotifications_(AppTitle()),
      self_(std::make_shared<BrowserBehaviour*>(this)) {
  g_signal_connect(context_, "initialize-notification-permissions",
                   G_CALLBACK(&BrowserBehaviour::OnInitializeNotificationPermissions), this);
  g_signal_connect(context_, "download-started", G_CALLBACK(&BrowserBehaviour::OnDownloadStarted), this);
}

BrowserBehaviour::~BrowserBehaviour() {
  *self_ = nullptr;
  CloseAll();
  g_signal_handlers_disconnect_by_data(context_, this);
  while (!downloads_.empty()) ForgetDownload(*downloads_.begin());
  for (auto& [view, state] : views_) {
    state.pendingReload.disconnect();
    g_signal_handlers_disconnect_by_data(view, this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view), this);
  }
  views_.clear();
}

void BrowserBehaviour::AttachView(WebKitWebView* view) { Connect(view, false, false); }

void BrowserBehaviour::Connect(WebKitWebView* view, bool site, bool popup) {
  views_[view].site = site;
  g_signal_connect(view, "create", G_CALLBACK(&BrowserBehaviour::OnCreate), this);
  g_signal_connect(view, "close", G_CALLBACK(&BrowserBehaviour::OnClose), this);
  g_signal_connect(view, "decide-policy", G_CALLBACK(&BrowserBehaviour::OnDecidePolicy), this);
  g_signal_connect(view, "permission-request", G_CALLBACK(&BrowserBehaviour::OnPermissionRequest), this);
  g_signal_connect(view, "show-notification", G_CALLBACK(&BrowserBehaviour::OnShowNotification), this);
  g_signal_connect(view, "script-dialog", G_CALLBACK(&BrowserBehaviour::OnScriptDialog), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(&BrowserBehaviour::OnWebProcessTerminated), this);
  g_signal_connect(view, "context-menu", G_CALLBACK(&BrowserBehaviour::OnContextMenu), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(&BrowserBehaviour::OnLoadChanged), this);
  if (popup) g_signal_connect(view, "ready-to-show", G_CALLBACK(&BrowserBehaviour::OnReadyToShow), this);
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  webkit_user_content_manager_register_script_message_handler(content, kNotifyHandlerName);
  g_signal_connect(content, (std::string("script-message-received::") + kNotifyHandlerName).c_str(),
                   G_CALLBACK(&BrowserBehaviour::OnPageNotification), this);
  OfferSiteNotifications(view);
}

void BrowserBehaviour::Forget(WebKitWebView* view) {
  DismissPrompts(view);
  const auto it = views_.find(view);
  if (it == views_.end()) return;
  it->second.pendingReload.disconnect();
  g_signal_handlers_disconnect_by_data(view, this);
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view), this);
  views_.erase(it);
}

BrowserBehaviour::ViewState* BrowserBehaviour::StateOf(WebKitWebView* view) {
  const auto it = views_.find(view);
  return it == views_.end() ? nullptr : &it->second;
}

Gtk::Window& BrowserBehaviour::WindowOf(WebKitWebView* view) {
  for (auto& popup : popups_)
    if (popup->View() == view) return popup->Window();
  return mainWindow_;
}

void BrowserBehaviour::Navigating(WebKitWebView* view, const std::string& uri) {
  ViewState* state = StateOf(view);
  if (!state || !siteUri_.empty()) return;
  siteUri_ = uri;
  state->site = true;
  AllowSiteNotifications();
  // Pages load only after this: each view's pages of the site's origin get the notifications.
  for (auto& [attached, attachedState] : views_) OfferSiteNotifications(attached);
}

void BrowserBehaviour::CloseAll() {
  closed_ = true;
  while (!scriptDialogs_.empty()) AnswerScriptDialog(scriptDialogs_.front().get(), false);
  while (!saveChoosers_.empty()) AnswerSaveChooser(saveChoosers_.front().get(), false);
  while (!popups_.empty()) {
    std::unique_ptr<PopupWindow> popup = std::move(popups_.front());
    popups_.pop_front();
    popup->Hide();
    Forget(popup->View());
  }
}

// ---------------------------------------------------------------- new windows

WebKitWebView* BrowserBehaviour::CreatePopup(WebKitWebView* opener, WebKitNavigationAction* action) {
  ViewState* state = StateOf(opener);
  if (closed_ || !state) return nullptr;
  if (!state->site) {
    // Outside pages (the advertisement) open in the desktop's browser, and only when the agent
    // clicked: a page may not fill the desktop with browser windows by itself.
    if (action && webkit_navigation_action_is_user_gesture(action)) OpenOnDesktop(RequestUri(action));
    return nullptr;
  }
  WebKitWebView* view = CreateWebView(webkit_web_view_get_context(opener), opener);
  auto popup = std::make_unique<PopupWindow>(view, mainWindow_.get_icon(), AppTitle(), [this, view] {
    ClosePopup(view);
  });
  Connect(view, true, true);
  popups_.push_back(std::move(popup));
  // The engine takes no reference of its own: the popup window holds the one that keeps the view.
  return view;
}

void BrowserBehaviour::ShowPopup(WebKitWebView* view) {
  for (auto& popup : popups_)
    if (popup->View() == view && !closed_) popup->Show();
}

void BrowserBehaviour::ClosePopup(WebKitWebView* view) {
  for (auto it = popups_.begin(); it != popups_.end(); ++it) {
    if ((*it)->View() != view) continue;
    PopupWindow* popup = it->get();
    popup->Hide();
    Forget(view);
    // The page may be inside one of its own signals: the window and view go once it returns.
    DropPopupLater(popup);
    return;
  }
}

void BrowserBehaviour::DropPopupLater(PopupWindow* popup) {
  const auto it = std::find_if(popups_.begin(), popups_.end(), [popup](const auto& p) { return p.get() == popup; });
  if (it == popups_.end()) return;
  std::shared_ptr<PopupWindow> doomed(std::move(*it));
  popups_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

bool BrowserBehaviour::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return false;
  ViewState* state = StateOf(view);
  if (!state || state->site) return false;  // the site's new windows come through "create"
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  if (!closed_ && action && webkit_navigation_action_is_user_gesture(action)) OpenOnDesktop(RequestUri(action));
  webkit_policy_decision_ignore(decision);
  return true;
}

// ---------------------------------------------------------------- notifications

void BrowserBehaviour::AllowSiteNotifications() {
  // Handed to each web process about to start (and again once the site is known): the site's
  // origin may show notifications; others ask, and are refused.
  GList* allowed = nullptr;
  WebKitSecurityOrigin* origin = siteUri_.empty() ? nullptr : webkit_security_origin_new_for_uri(siteUri_.c_str());
  if (origin && IsWebScheme(webkit_security_origin_get_protocol(origin))) allowed = g_list_append(nullptr, origin);
  webkit_web_context_initialize_notification_permissions(context_, allowed, nullptr);
  g_list_free(allowed);
  if (origin) webkit_security_origin_unref(origin);
}

bool BrowserBehaviour::PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request) {
  if (!WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return false;  // the engine denies the rest
  if (!closed_ && SameWebOrigin(UriOf(view), siteUri_)) webkit_permission_request_allow(request);
  else webkit_permission_request_deny(request);
  return true;
}

void BrowserBehaviour::OfferSiteNotifications(WebKitWebView* view) {
  // The engine refuses notifications to an ephemeral session whatever the permission says, so
  // the site's pages get a Notification of ours that hands them to PageNotification.
  if (siteUri_.empty()) return;
  WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(siteUri_.c_str());
  if (!origin) return;
  gchar* text = IsWebScheme(webkit_security_origin_get_protocol(origin)) ? webkit_security_origin_to_string(origin)
                                                                         : nullptr;
  webkit_security_origin_unref(origin);
  if (!text) return;
  const std::string source = NotificationShimSource(text, notifyKey_);
  g_free(text);
  WebKitUserScript* script =
      webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view), script);
  webkit_user_script_unref(script);
}

void BrowserBehaviour::PageNotification(WebKitUserContentManager* content, WebKitJavascriptResult* message) {
  if (closed_) return;
  WebKitWebView* view = nullptr;
  for (auto& [attached, state] : views_)
    if (webkit_web_view_get_user_content_manager(attached) == content) view = attached;
  // Only the site's own pages notify, whatever another page (or frame) posts under the name.
  if (!view || !SameWebOrigin(UriOf(view), siteUri_)) return;
  JSCValue* value = webkit_javascript_result_get_js_value(message);
  if (!value || !jsc_value_is_object(value)) return;
  if (StringProperty(value, "key") != notifyKey_) return;
  struct ViewRef {
    GWeakRef ref;
    explicit ViewRef(WebKitWebView* v) { g_weak_ref_init(&ref, v); }
    ~ViewRef() { g_weak_ref_clear(&ref); }
  };
  auto weakView = std::make_shared<ViewRef>(view);
  desktopNotifications_.Show(StringProperty(value, "title"), StringProperty(value, "body"),
                             [owner = std::weak_ptr<BrowserBehaviour*>(self_), weakView] {
                               const auto me = owner.lock();
                               if (!me || !*me) return;
                               auto* clicked = static_cast<WebKitWebView*>(g_weak_ref_get(&weakView->ref));
                               (*me)->NotificationClicked(clicked);
                               if (clicked) g_object_unref(clicked);
                             });
}

void BrowserBehaviour::NotificationClicked(WebKitWebView* view) {
  // A click on a notification brings the window of the page that sent it forward.
  if (closed_) return;
  BringToFront(view && StateOf(view) ? WindowOf(view) : mainWindow_);
}

void BrowserBehaviour::ShowNotification(WebKitWebView* view, WebKitNotification* notification) {
  // A click on the desktop's notification brings the window of the page that sent it forward.
  struct Click {
    std::weak_ptr<BrowserBehaviour*> owner;
    GWeakRef view;
  };
  auto* click = new Click{self_, {}};
  g_weak_ref_init(&click->view, view);
  g_signal_connect_data(
      notification, "clicked",
      G_CALLBACK(+[](WebKitNotification*, gpointer data) {
        auto* c = static_cast<Click*>(data);
        const auto owner = c->owner.lock();
        if (!owner || !*owner) return;
        auto* clicked = static_cast<WebKitWebView*>(g_weak_ref_get(&c->view));
        (*owner)->NotificationClicked(clicked);
        if (clicked) g_object_unref(clicked);
      }),
      click,
      +[](gpointer data, GClosure*) {
        auto* c = static_cast<Click*>(data);
        g_weak_ref_clear(&c->view);
        delete c;
      },
      GConnectFlags(0));
}

// ---------------------------------------------------------------- script dialogs

bool BrowserBehaviour::ScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog) {
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  if (closed_) return true;  // nobody is there to answer: the page gets the default answer
  const char* message = webkit_script_dialog_get_message(dialog);
  Gtk::Window& parent = WindowOf(view);

  auto box = std::make_unique<ScriptDialogBox>();
  box->view = view;
  box->dialog = webkit_script_dialog_ref(dialog);
  box->box = std::make_unique<Gtk::MessageDialog>(parent, message ? message : "", false,
                                                  type == WEBKIT_SCRIPT_DIALOG_ALERT ? Gtk::MESSAGE_INFO
                                                                                     : Gtk::MESSAGE_QUESTION,
                                                  Gtk::BUTTONS_NONE, true);
  Gtk::MessageDialog& d = *box->box;
  d.set_title(AppTitle());
  d.set_transient_for(parent);
  d.set_modal(true);
  d.set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
  Gtk::Button* ok = d.add_button(kOk, Gtk::RESPONSE_OK);
  if (type != WEBKIT_SCRIPT_DIALOG_ALERT) d.add_button(kCancel, Gtk::RESPONSE_CANCEL);
  d.set_default_response(Gtk::RESPONSE_OK);
  if (type == WEBKIT_SCRIPT_DIALOG_PROMPT) {
    box->entry = Gtk::make_managed<Gtk::Entry>();
    const char* text = webkit_script_dialog_prompt_get_default_text(dialog);
    box->entry->set_text(text ? text : "");
    box->entry->set_activates_default(true);
    d.get_message_area()->pack_start(*box->entry, Gtk::PACK_SHRINK);
    box->entry->show();
    d.signal_show().connect([entry = box->entry] { entry->grab_focus(); });
  } else {
    d.signal_show().connect([ok] { ok->grab_focus(); });
  }
  ScriptDialogBox* raw = box.get();
  d.signal_response().connect([this, raw](int response) { AnswerScriptDialog(raw, response == Gtk::RESPONSE_OK); });
  scriptDialogs_.push_back(std::move(box));
  d.show();
  return true;
}

void BrowserBehaviour::AnswerScriptDialog(ScriptDialogBox* box, bool ok) {
  const auto it = std::find_if(scriptDialogs_.begin(), scriptDialogs_.end(),
                               [box](const auto& b) { return b.get() == box; });
  if (it == scriptDialogs_.end() || box->answered) return;
  box->answered = true;
  switch (webkit_script_dialog_get_dialog_type(box->dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(box->dialog, ok);
      break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
      if (ok) webkit_script_dialog_prompt_set_text(box->dialog, box->entry->get_text().c_str());
      break;
    default:
      break;
  }
  webkit_script_dialog_close(box->dialog);
  webkit_script_dialog_unref(box->dialog);
  box->dialog = nullptr;
  box->box->hide();
  // The Gtk dialog may be inside its own response signal: it goes once that returns.
  std::shared_ptr<ScriptDialogBox> doomed(std::move(*it));
  scriptDialogs_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

// ---------------------------------------------------------------- crashed web processes

void BrowserBehaviour::WebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason) {
  // Ended on purpose through the API: whoever did it decides what comes next.
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  ViewState* state = StateOf(view);
  if (!state || closed_) return;
  // A dialog of the dead page can no longer be answered.
  DismissPrompts(view);
  if (UriOf(view).empty() && state->lastUri.empty()) return;  // it never asked for a page
  if (state->pendingReload.connected()) return;  // one reload is already on its way
  const auto delay = ReloadDelay(state->lastReload, Clock::now());
  if (delay.count() == 0) {
    Reload(view);
    return;
  }
  state->pendingReload = Glib::signal_timeout().connect(
      [this, view] {
        Reload(view);
        return false;
      },
      static_cast<unsigned>(delay.count()));
}

void BrowserBehaviour::Reload(WebKitWebView* view) {
  ViewState* state = StateOf(view);
  if (!state || closed_) return;
  state->pendingReload.disconnect();
  std::string uri = UriOf(view);
  if (uri.empty()) uri = state->lastUri;
  if (uri.empty()) return;  // it never asked for a page
  state->lastReload = Clock::now();
  webkit_web_view_load_uri(view, uri.c_str());
}

// ---------------------------------------------------------------- downloads

void BrowserBehaviour::DownloadStarted(WebKitDownload* download) {
  if (!downloads_.insert(download).second) return;
  g_object_ref(download);
  g_signal_connect(download, "decide-destination", G_CALLBACK(&BrowserBehaviour::OnDecideDestination), this);
  g_signal_connect(download, "failed", G_CALLBACK(&BrowserBehaviour::OnDownloadFailed), this);
  g_signal_connect(download, "finished", G_CALLBACK(&BrowserBehaviour::OnDownloadFinished), this);
}

bool BrowserBehaviour::DecideDestination(WebKitDownload* download, const std::string& suggestedName) {
  if (closed_) {
    webkit_download_cancel(download);
    return true;
  }
  WebKitWebView* view = webkit_download_get_web_view(download);
  Gtk::Window& parent = view && StateOf(view) ? WindowOf(view) : mainWindow_;

  auto chooser = std::make_unique<SaveChooser>();
  chooser->download = WEBKIT_DOWNLOAD(g_object_ref(download));
  chooser->chooser = std::make_unique<Gtk::FileChooserDialog>(parent, AppTitle(), Gtk::FILE_CHOOSER_ACTION_SAVE);
  Gtk::FileChooserDialog& d = *chooser->chooser;
  d.set_modal(true);
  d.set_transient_for(parent);
  d.add_button(kCancel, Gtk::RESPONSE_CANCEL);
  d.add_button(kSave, Gtk::RESPONSE_ACCEPT);
  d.set_default_response(Gtk::RESPONSE_ACCEPT);
  d.set_do_overwrite_confirmation(true);
  d.set_local_only(true);
  const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  const std::string folder = downloads && g_file_test(downloads, G_FILE_TEST_IS_DIR) ? downloads : g_get_home_dir();
  d.set_current_folder(folder);
  d.set_current_name(SafeFileName(suggestedName.c_str()));
  SaveChooser* raw = chooser.get();
  d.signal_response().connect([this, raw](int response) { AnswerSaveChooser(raw, response == Gtk::RESPONSE_ACCEPT); });
  saveChoosers_.push_back(std::move(chooser));
  d.show();
  return true;  // the download waits until a destination is set or it is cancelled
}

void BrowserBehaviour::AnswerSaveChooser(SaveChooser* chooser, bool save) {
  const auto it = std::find_if(saveChoosers_.begin(), saveChoosers_.end(),
                               [chooser](const auto& c) { return c.get() == chooser; });
  if (it == saveChoosers_.end() || chooser->answered) return;
  chooser->answered = true;
  std::string uri;
  if (save) uri = chooser->chooser->get_uri();
  if (!uri.empty()) {
    // The chooser has already asked whether to replace an existing file.
    webkit_download_set_allow_overwrite(chooser->download, TRUE);
    webkit_download_set_destination(chooser->download, uri.c_str());
  } else {
    webkit_download_cancel(chooser->download);
  }
  g_object_unref(chooser->download);
  chooser->download = nullptr;
  chooser->chooser->hide();
  std::shared_ptr<SaveChooser> doomed(std::move(*it));
  saveChoosers_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

void BrowserBehaviour::DismissPrompts(WebKitWebView* view) {
  for (bool found = true; found;) {
    found = false;
    for (auto& box : scriptDialogs_) {
      if (box->view != view) continue;
      AnswerScriptDialog(box.get(), false);
      found = true;
      break;
    }
  }
}

// ---------------------------------------------------------------- signal trampolines

WebKitWebView* BrowserBehaviour::OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
  return static_cast<BrowserBehaviour*>(self)->CreatePopup(view, action);
}

void BrowserBehaviour::OnReadyToShow(WebKitWebView* view, gpointer self) {
  static_cast<BrowserBehaviour*>(self)->ShowPopup(view);
}

void BrowserBehaviour::OnClose(WebKitWebView* view, gpointer self) {
  // Only windows opened for the site close; the main window's views stay whatever a page asks.
  static_cast<BrowserBehaviour*>(self)->ClosePopup(view);
}

gboolean BrowserBehaviour::OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                          WebKitPolicyDecisionType type, gpointer self) {
  return static_cast<BrowserBehaviour*>(self)->DecidePolicy(view, decision, type);
}

gboolean BrowserBehaviour::OnPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                               gpointer self) {
  return static_cast<BrowserBehaviour*>(self)->PermissionRequest(view, request);
}

gboolean BrowserBehaviour::OnShowNotification(WebKitWebView* view, WebKitNotification* notification,
                                              gpointer self) {
  static_cast<BrowserBehaviour*>(self)->ShowNotification(view, notification);
  return FALSE;  // the engine shows it through the desktop's notification service
}

gboolean BrowserBehaviour::OnScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self) {
  return static_cast<BrowserBehaviour*>(self)->ScriptDialog(view, dialog);
}

void BrowserBehaviour::OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                              gpointer self) {
  static_cast<BrowserBehaviour*>(self)->WebProcessTerminated(view, reason);
}

void BrowserBehaviour::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
  // The address a view has asked for, kept for loading it again after a crash. A view that never
  // started a load has nothing to lose (its first load may still wait its turn).
  if (event != WEBKIT_LOAD_STARTED && event != WEBKIT_LOAD_COMMITTED) return;
  const std::string uri = UriOf(view);
  if (ViewState* state = static_cast<BrowserBehaviour*>(self)->StateOf(view); state && !uri.empty())
    state->lastUri = uri;
}

gboolean BrowserBehaviour::OnContextMenu(WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                                         gpointer) {
  PruneContextMenu(menu);
  return FALSE;
}

void BrowserBehaviour::OnPageNotification(WebKitUserContentManager* content, WebKitJavascriptResult* message,
                                          gpointer self) {
  static_cast<BrowserBehaviour*>(self)->PageNotification(content, message);
}

void BrowserBehaviour::OnInitializeNotificationPermissions(WebKitWebContext*, gpointer self) {
  static_cast<BrowserBehaviour*>(self)->AllowSiteNotifications();
}

void BrowserBehaviour::OnDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
  static_cast<BrowserBehaviour*>(self)->DownloadStarted(download);
}

gboolean BrowserBehaviour::OnDecideDestination(WebKitDownload* download, gchar* suggestedName, gpointer self) {
  return static_cast<BrowserBehaviour*>(self)->DecideDestination(download, suggestedName ? suggestedName : "");
}

void BrowserBehaviour::OnDownloadFailed(WebKitDownload* download, GError*, gpointer self) {
  OnDownloadFinished(download, self);
}

void BrowserBehaviour::OnDownloadFinished(WebKitDownload* download, gpointer self) {
  // A download that ends before the agent chose where to put it takes its chooser along.
  auto* me = static_cast<BrowserBehaviour*>(self);
  for (auto& chooser : me->saveChoosers_) {
    if (chooser->download != download) continue;
    me->AnswerSaveChooser(chooser.get(), false);
    break;
  }
  me->ForgetDownload(download);
}

void BrowserBehaviour::ForgetDownload(WebKitDownload* download) {
  if (downloads_.erase(download) == 0) return;
  g_signal_handlers_disconnect_by_data(download, this);
  g_object_unref(download);
}

}  // namespace tavro::platform::gtk
