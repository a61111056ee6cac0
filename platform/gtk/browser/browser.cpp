// The views of the placed controls, and the list of units.
#include "browser.h"

#include "bad_address.h"
#include "own_pages.h"

#include "startup_milestones.h"
#include "site_origin.h"
#include "web_views.h"

namespace tavro::platform::gtk {

Browser::Browser(GtkForm& form, const SequentialFiles& files)
    : form_(form),
      files_(files),
      views_(form.Window()),
      session_(views_),
      notifications_(views_),
      programs_(views_, gestures_, notices_),
      permissions_(views_, gestures_),
      navigation_(views_),
      popups_(views_, gestures_, notices_),
      dialogs_(views_),
      siteProcess_(views_, dialogs_),
      downloads_(views_, gestures_, notices_),
      printing_(views_),
      fullScreen_(views_),
      keys_(printing_) {
  // Every view is attached to the units in this order, and detached in the reverse order. The
  // signals several units hear have one handler each for the browser layer (see Views), which
  // hands them on in this order:
  // - decide-policy: to each unit until one decides. SiteNotifications only looks at the main
  //   view's first answer, to learn where the site is after its redirects; OtherPrograms decides
  //   every navigation and new window to another program's address (tencent:, mailto:), before
  //   NavigationPolicy or Popups could take it for a page, so that no view starts a load it
  //   cannot show; NavigationPolicy records every navigation (to tell the agent's clicks) and
  //   decides the console's answers from origins the program did not ask for; SelfLoads turns
  //   down an outside page's own load past its pace at its answer; Popups decides
  //   outside pages' new windows. What none decides is the engine's; the site's new windows come
  //   through "create" (Popups).
  // - load-changed: to every unit; none stops it.
  // - load-failed: to every unit; Outage may show Tavro's page instead of the engine's error page,
  //   which stops only the engine's page.
  // The placed control's load order hears load-changed and load-failed on handlers of its own,
  // connected before these (form/web_browser.cpp). The units' own signals run in the same order:
  // key-press-event goes to Gestures (counts the agent's press, never stops it), then
  // OtherPrograms (notes the view pressed in, never stops it), then BrowserKeys (takes Tavro's
  // keys), then ClipboardPaste (holds a paste key for the clipboard's answer); create
  // (window.open) to OtherPrograms, which stops it for another program's address, then Popups;
  // web-process-terminated to ScriptDialogs (lets the page's dialogs go), then CrashReload
  // (loads the page again); permission-request to SiteNotifications (takes the notifications'),
  // then PagePermissions (decides every other, so that none reaches the engine's default);
  // button-press-event to Gestures (counts the click), then PagePermissions (notes a click for the
  // pointer), neither stops it; query-permission-state to PagePermissions alone; print to
  // Printing alone, enter-fullscreen to FullScreen alone, both decided there.
  // SiteProcess comes after ScriptDialogs: a pop-up's going is heard while its dialogs are still
  // known.
  views_.SetUnits({&gestures_, &notices_, &session_, &notifications_, &permissions_, &programs_, &navigation_,
                   &selfLoads_, &popups_, &dialogs_, &siteProcess_, &downloads_, &printing_, &fullScreen_,
                   &crashReload_, &heldOutside_, &outage_, &contextMenus_, &keys_, &paste_, &drop_,
                   &finishedMedia_});
  form_.SetPageHost(*this);
}

Browser::~Browser() { CloseAll(); }

WebKitWebContext* Browser::SiteContext(const std::string& uri) {
  if (!siteContext_) siteContext_ = CreateWebContext(ViewRole::Site, SiteProfileFolder(uri));
  return siteContext_.get();
}

WebKitWebContext* Browser::OutsideContext() {
  if (!outsideContext_) {
    outsideContext_ = CreateWebContext(ViewRole::Outside);
    downloads_.RefuseAllFrom(outsideContext_.get());
  }
  return outsideContext_.get();
}

WebKitWebView* Browser::ShowNewView(GtkWebBrowser& control, const std::string& uri, bool first) {
  const bool site = first || SameWebOrigin(uri, views_.SiteUri());
  WebKitWebView*& related = site ? firstSiteView_ : firstOutsideView_;
  WebKitWebView* view = CreateWebView(site ? SiteContext(uri) : OutsideContext(), related,
                                      site ? ViewRole::Site : ViewRole::Outside);
  if (!related) related = view;
  // The control's handlers first (its load order must hear every answer), then the units'.
  control.ShowView(view);
  views_.Add(view, form_.Window(), site);
  return view;
}

void Browser::Load(GtkWebBrowser& control, const std::string& text, const std::optional<std::string>& uri) {
  // Only the first control navigated shows the site, even when its address gave nothing to load.
  const bool first = !navigated_;
  navigated_ = true;
  // Nothing the engine could open is asked for (it would show nothing, or try a host the agent
  // never named); the site's control says why.
  if (!uri || !OpenableWebAddress(*uri)) {
    if (first) ShowBadAddress(control, text);
    return;
  }
  if (session_.Ending()) {
    // The program ends: the engine is not waited for (its processes may be going too).
    session_.SendNow(control.View(), *uri);
    return;
  }
  WebKitWebView* view = control.View();
  if (!view) view = ShowNewView(control, *uri, first);
  if (first && views_.IsSite(view)) {
    views_.SetSiteUri(*uri);
    notifications_.SiteKnown(view, *uri);
  }
  form_.Loads().Submit(control.Turn(), *uri, [this, view](const std::string& turnUri) {
    Reached(Milestone::Load);
    session_.ProgramLoad(view, turnUri);
  });
}

void Browser::ShowBadAddress(GtkWebBrowser& control, const std::string& text) {
  WebKitWebView* view = control.View() ? control.View() : ShowNewView(control, {}, true);
  std::optional<AddressFile> file;
  if (const auto& read = files_.LastRead()) file = AddressFile{read->path, read->bytes};
  // Tavro's own page, with no address of the web behind it: nothing is asked of any site.
  webkit_web_view_load_alternate_html(view, OwnPageHtml(BadAddressPage(text, file)).c_str(), "about:blank", nullptr);
}

WebKitWebView* Browser::ViewFor(GtkWebBrowser& control) {
  if (!control.View()) ShowNewView(control, {}, !navigated_);
  return control.View();
}

void Browser::CloseAll() { views_.CloseAll(); }

}  // namespace tavro::platform::gtk
