// Print dialogs of Tavro's own, answered after the page has gone on, and the prints they start.
#include "printing.h"

#include <algorithm>
#include <string>

#include "message_box.h"

namespace tavro::platform::gtk {
namespace {

constexpr char kPrintTitle[] = "打印";
constexpr char kStopPrinting[] = "阻止此页面继续打印(_B)";
constexpr char kPrintFailed[] = "打印失败：";

// WebKit lays the pages out itself for these, as its own dialog asks.
Gtk::PrintCapabilities DoneByTheEngine() {
  return Gtk::PRINT_CAPABILITY_NUMBER_UP | Gtk::PRINT_CAPABILITY_NUMBER_UP_LAYOUT |
         Gtk::PRINT_CAPABILITY_PAGE_SET | Gtk::PRINT_CAPABILITY_REVERSE | Gtk::PRINT_CAPABILITY_COPIES |
         Gtk::PRINT_CAPABILITY_COLLATE | Gtk::PRINT_CAPABILITY_SCALE;
}

}  // namespace

struct Printing::Dialog {
  WebKitWebView* view = nullptr;  // the key of the view's entries; not used once it went
  WeakRef<WebKitWebView> alive;   // the view, to print
  bool byPage = false;            // the page's print(), not the agent's key
  std::unique_ptr<Gtk::PrintUnixDialog> dialog;
  Gtk::CheckButton* stop = nullptr;  // from a page's second print in a short time on
};

struct Printing::Job {
  GObjectPtr<WebKitPrintOperation> operation;
  std::vector<SignalConnection> connections;
};

Printing::Printing(Views& views) : views_(views) {}

Printing::~Printing() {
  CloseAll();
  connections_.Clear();
  jobs_.clear();
}

void Printing::Attach(const ShownView& shown) {
  connections_.Add(shown.view, Connect(
                                   shown.view, "print",
                                   +[](WebKitWebView* v, WebKitPrintOperation*, gpointer self) -> gboolean {
                                     return static_cast<Printing*>(self)->PageAsks(v);
                                   },
                                   this));
}

void Printing::Detach(WebKitWebView* view) {
  DismissFor(view);
  connections_.Drop(view);
  pacing_.Forget(view);
}

void Printing::CloseAll() {
  closed_ = true;
  while (!dialogs_.empty()) Answer(dialogs_.front().get(), false);
  failures_.clear();
}

void Printing::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  if (event == WEBKIT_LOAD_COMMITTED) pacing_.Navigated(view);
}

bool Printing::PageAsks(WebKitWebView* view) {
  // Only the site's own pages; the engine's operation is left unused: it is made for printing
  // while the page waits, and the page does not wait here.
  if (closed_ || !views_.IsSite(view) || !views_.OfTheSite(UriOf(view)) || pacing_.Stopped(view)) return true;
  const bool open =
      std::any_of(dialogs_.begin(), dialogs_.end(), [view](const auto& d) { return d->view == view; });
  if (!open) Show(view, true);
  return true;
}

void Printing::PrintByAgent(WebKitWebView* view) {
  if (closed_ || !views_.Known(view)) return;
  for (const auto& d : dialogs_)
    if (d->view == view) {
      d->dialog->present();
      return;
    }
  Show(view, false);
}

void Printing::Show(WebKitWebView* view, bool byPage) {
  Gtk::Window& parent = views_.WindowOf(view);
  auto entry = std::make_unique<Dialog>();
  entry->view = view;
  entry->alive = WeakRef<WebKitWebView>(view);
  entry->byPage = byPage;
  // Not modal: the page's window, the console's close button among its controls, stays usable.
  entry->dialog = std::make_unique<Gtk::PrintUnixDialog>(parent, kPrintTitle);
  Gtk::PrintUnixDialog& d = *entry->dialog;
  d.set_modal(false);
  d.set_transient_for(parent);
  d.set_manual_capabilities(DoneByTheEngine());
  d.set_embed_page_setup(true);
  // Settings of its own from the start: GTK's file printer fails on a dialog without any.
  d.set_settings(settings_ ? settings_->copy() : Gtk::PrintSettings::create());
  if (pageSetup_) d.set_page_setup(pageSetup_);
  if (byPage && pacing_.OffersStop(view, LimitsClock::now())) {
    entry->stop = Gtk::make_managed<Gtk::CheckButton>(kStopPrinting, true);
    d.get_content_area()->pack_start(*entry->stop, Gtk::PACK_SHRINK);
    entry->stop->set_margin_start(12);
    entry->stop->show();
  }
  Dialog* raw = entry.get();
  d.signal_response().connect([this, raw](int response) { Answer(raw, response == Gtk::RESPONSE_OK); });
  dialogs_.push_back(std::move(entry));
  d.show();
  d.present();
}

void Printing::Answer(Dialog* dialog, bool print) {
  const auto it =
      std::find_if(dialogs_.begin(), dialogs_.end(), [dialog](const auto& d) { return d.get() == dialog; });
  if (it == dialogs_.end()) return;
  if (dialog->byPage)
    pacing_.Answered(dialog->view, LimitsClock::now(), dialog->stop && dialog->stop->get_active());
  if (print && !closed_) {
    // The dialog's settings name the printer chosen.
    settings_ = dialog->dialog->get_settings();
    pageSetup_ = dialog->dialog->get_page_setup();
    // Once the dialog's own signal has returned: printing looks the printer up in a loop of its own.
    const auto view = std::make_shared<const WeakRef<WebKitWebView>>(dialog->alive.Get().get());
    Glib::signal_idle().connect_once(
        sigc::bind(sigc::mem_fun(*this, &Printing::Print), view, settings_, pageSetup_));
  }
  dialog->dialog->hide();
  // The GTK dialog may be inside its own response signal: it goes once that returns.
  std::shared_ptr<Dialog> doomed(std::move(*it));
  dialogs_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

void Printing::DismissFor(WebKitWebView* view) {
  for (auto it = dialogs_.begin(); it != dialogs_.end();) {
    Dialog* dialog = it->get();
    ++it;  // Answer takes the dialog out of the list
    if (dialog->view == view) Answer(dialog, false);
  }
}

void Printing::Print(const std::shared_ptr<const WeakRef<WebKitWebView>>& view,
                     const Glib::RefPtr<Gtk::PrintSettings>& settings,
                     const Glib::RefPtr<Gtk::PageSetup>& pageSetup) {
  // Held while the engine starts: finding the printer runs the event loop, where the view may go.
  const GObjectPtr<WebKitWebView> printed = view->Get();
  if (closed_ || !printed || !views_.Known(printed.get())) return;
  auto job = std::make_unique<Job>();
  job->operation = Adopt(webkit_print_operation_new(printed.get()));
  WebKitPrintOperation* operation = job->operation.get();
  webkit_print_operation_set_print_settings(operation, settings->gobj());
  webkit_print_operation_set_page_setup(operation, pageSetup->gobj());
  job->connections.push_back(Connect(
      operation, "failed",
      +[](WebKitPrintOperation* o, GError* error, gpointer self) {
        static_cast<Printing*>(self)->Failed(o, error);
      },
      this));
  job->connections.push_back(Connect(
      operation, "finished",
      +[](WebKitPrintOperation* o, gpointer self) { static_cast<Printing*>(self)->Finished(o); }, this));
  jobs_[operation] = std::move(job);
  // The one call that prints with settings chosen in a dialog of the program's own; it is
  // deprecated for sandboxed applications (Flatpak), which Tavro is not.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  webkit_print_operation_print(operation);
  G_GNUC_END_IGNORE_DEPRECATIONS
}

void Printing::Failed(WebKitPrintOperation* /*operation*/, const GError* error) {
  if (closed_) return;
  // The agent chose to print: a print that does not come out says so.
  auto box =
      MakeMessageBox(nullptr, std::string(kPrintFailed) + (error && error->message ? error->message : ""),
                     BoxIcon::Error, BoxButtons::Ok);
  box->set_modal(false);
  Gtk::MessageDialog* raw = box.get();
  box->signal_response().connect([this, raw](int) {
    const auto it =
        std::find_if(failures_.begin(), failures_.end(), [raw](const auto& b) { return b.get() == raw; });
    if (it == failures_.end()) return;
    raw->hide();
    std::shared_ptr<Gtk::MessageDialog> doomed(std::move(*it));
    failures_.erase(it);
    Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
  });
  failures_.push_back(std::move(box));
  raw->show();
}

void Printing::Finished(WebKitPrintOperation* operation) {
  // Inside the operation's own signal (which may come twice): it goes once that returns.
  const auto it = jobs_.find(operation);
  if (it == jobs_.end()) return;
  std::shared_ptr<Job> doomed(std::move(it->second));
  jobs_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

}  // namespace tavro::platform::gtk
