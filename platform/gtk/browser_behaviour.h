// What the browser views do beyond showing pages, as an agent expects of a browser on the
// desktop: new windows, notifications, script dialogs, downloads, crashed web processes and the
// context menu. Pages learn nothing of the window around them and the window nothing of pages.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "notification_bridge.h"

namespace tavro::platform::gtk {

class PopupWindow;

// True when both addresses are http(s) addresses of one origin (scheme, host and port, with a
// scheme's default port written or not), as the browser engine reads them.
bool SameWebOrigin(const std::string& a, const std::string& b);

// True for the menu entries that would open something outside Tavro's windows (a page in a new
// browser window) or the web inspector.
bool IsFrameBreakingMenuAction(WebKitContextMenuAction action);
// Takes those entries out of a page's context menu and its submenus, with the separators they
// leave doubled or at an end.
void PruneContextMenu(WebKitContextMenu* menu);

// A view whose web process ended loads its page again, but not more often than this.
inline constexpr std::chrono::milliseconds kReloadInterval{5000};
// How long to wait before that reload, given when the view last reloaded (if ever).
std::chrono::milliseconds ReloadDelay(std::optional<std::chrono::steady_clock::time_point> lastReload,
                                      std::chrono::steady_clock::time_point now);

// The taskbar entry asks for the agent's eye when the caption changes while the window is
// minimised or not focused; the request ends when the window gets the focus.
void RequestAttention(Gtk::Window& window, bool iconified);
void ClearAttentionOnFocus(Gtk::Window& window);

class BrowserBehaviour {
 public:
  BrowserBehaviour(Gtk::Window& mainWindow, WebKitWebContext* context);
  ~BrowserBehaviour();
  BrowserBehaviour(const BrowserBehaviour&) = delete;
  BrowserBehaviour& operator=(const BrowserBehaviour&) = delete;

  // A view placed in the main window.
  void AttachView(WebKitWebView* view);
  // The view was asked to load the address. The first view ever navigated shows the site: its
  // first address gives the site's origin, the one that may show desktop notifications.
  void Navigating(WebKitWebView* view, const std::string& uri);
  // The main window is going away: pop-up windows, open dialogs and undecided downloads go too.
  void CloseAll();

  std::size_t PopupCount() const { return popups_.size(); }

 private:
  struct ViewState {
    bool site = false;  // shows the site (else an outside page: the advertisement)
    std::string lastUri;  // the last address it started to load
    std::optional<std::chrono::steady_clock::time_point> lastReload;
    sigc::connection pendingReload;
  };
  struct ScriptDialogBox;
  struct SaveChooser;

  void Connect(WebKitWebView* view, bool site, bool popup);
  void Forget(WebKitWebView* view);
  ViewState* StateOf(WebKitWebView* view);
  Gtk::Window& WindowOf(WebKitWebView* view);
  void AllowSiteNotifications();
  void OfferSiteNotifications(WebKitWebView* view);
  void PageNotification(WebKitUserContentManager* content, WebKitJavascriptResult* message);
  void NotificationClicked(WebKitWebView* view);

  WebKitWebView* CreatePopup(WebKitWebView* opener, WebKitNavigationAction* action);
  void ShowPopup(WebKitWebView* view);
  void ClosePopup(WebKitWebView* view);
  void DropPopupLater(PopupWindow* popup);
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  bool PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request);
  void ShowNotification(WebKitWebView* view, WebKitNotification* notification);
  bool ScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog);
  void AnswerScriptDialog(ScriptDialogBox* box, bool ok);
  void WebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason);
  void Reload(WebKitWebView* view);
  void DownloadStarted(WebKitDownload* download);
  bool DecideDestination(WebKitDownload* download, const std::string& suggestedName);
  void AnswerSaveChooser(SaveChooser* chooser, bool save);
  void DismissPrompts(WebKitWebView* view);
  void ForgetDownload(WebKitDownload* download);

  static WebKitWebView* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  static void OnReadyToShow(WebKitWebView* view, gpointer self);
  static void OnClose(WebKitWebView* view, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static gboolean OnPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request, gpointer self);
  static gboolean OnShowNotification(WebKitWebView* view, WebKitNotification* notification, gpointer self);
  static gboolean OnScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static void OnPageNotification(WebKitUserContentManager* content, WebKitJavascriptResult* message,
                                 gpointer self);
  static void OnInitializeNotificationPermissions(WebKitWebContext* context, gpointer self);
  static void OnDownloadStarted(WebKitWebContext* context, WebKitDownload* download, gpointer self);
  static gboolean OnDecideDestination(WebKitDownload* download, gchar* suggestedName, gpointer self);
  static void OnDownloadFailed(WebKitDownload* download, GError* error, gpointer self);
  static void OnDownloadFinished(WebKitDownload* download, gpointer self);

  Gtk::Window& mainWindow_;
  WebKitWebContext* context_;
  std::string siteUri_;  // the site view's first address
  std::map<WebKitWebView*, ViewState> views_;
  std::list<std::unique_ptr<PopupWindow>> popups_;
  std::list<std::unique_ptr<ScriptDialogBox>> scriptDialogs_;
  std::list<std::unique_ptr<SaveChooser>> saveChoosers_;
  const std::string notifyKey_;  // goes with each message of the site's pages' notifications
  DesktopNotifications desktopNotifications_;
  std::set<WebKitDownload*> downloads_;  // each with a reference of ours until it is over
  // Shared with callbacks that may outlive this object (a notification clicked late).
  std::shared_ptr<BrowserBehaviour*> self_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
