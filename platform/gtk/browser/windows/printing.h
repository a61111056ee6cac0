// Printing a page: Ctrl+P, and window.print() of the site's own pages, show GTK's print dialog for
// the page's window, one per view at a time, and never hold up the page while it is up; a page
// that keeps asking can be stopped. Outside pages and other origins' pages never print.
#pragma once

#include <gtkmm.h>
#include <gtkmm/printunixdialog.h>
#include <webkit2/webkit2.h>

#include <list>
#include <map>
#include <memory>

#include "owners.h"
#include "page_limits.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

class Printing : public ViewUnit, public sigc::trackable {
 public:
  explicit Printing(Views& views);
  ~Printing() override;

  // Every view's "print" is answered here, at once: the engine never runs its own dialog.
  void Attach(const ShownView& shown) override;
  // The view goes: its dialog closes unanswered.
  void Detach(WebKitWebView* view) override;
  // Every dialog closes unanswered, and nothing prints from now on.
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;

  // The agent asked to print the view's page (Ctrl+P): its dialog, or the one already up for it.
  void PrintByAgent(WebKitWebView* view);

 private:
  struct Dialog;
  struct Job;
  // The page called print(): true always, the engine's own dialog must not come.
  bool PageAsks(WebKitWebView* view);
  void Show(WebKitWebView* view, bool byPage);
  void Answer(Dialog* dialog, bool print);
  void DismissFor(WebKitWebView* view);
  void Print(const std::shared_ptr<const WeakRef<WebKitWebView>>& view,
             const Glib::RefPtr<Gtk::PrintSettings>& settings, const Glib::RefPtr<Gtk::PageSetup>& pageSetup);
  void Failed(WebKitPrintOperation* operation, const GError* error);
  void Finished(WebKitPrintOperation* operation);

  Views& views_;
  ConnectionsByInstance connections_;
  std::list<std::unique_ptr<Dialog>> dialogs_;
  std::map<WebKitPrintOperation*, std::unique_ptr<Job>> jobs_;  // prints under way
  std::list<std::unique_ptr<Gtk::MessageDialog>> failures_;
  // The last print's choices, the next dialog's start (as a browser remembers them).
  Glib::RefPtr<Gtk::PrintSettings> settings_;
  Glib::RefPtr<Gtk::PageSetup> pageSetup_;
  DialogPacing pacing_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
