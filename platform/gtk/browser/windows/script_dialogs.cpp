// Script dialogs: one message box per dialog, answered back to the page that asked.
#include "script_dialogs.h"

#include <algorithm>

#include "message_box.h"

namespace tavro::platform::gtk {
namespace {

constexpr char kStopDialogs[] = "阻止此页面继续显示对话框";

struct ScriptDialogUnref {
  void operator()(WebKitScriptDialog* dialog) const { webkit_script_dialog_unref(dialog); }
};

}  // namespace

void AnswerUnseen(WebKitScriptDialog* dialog) {
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      // A page nobody can answer must not keep the view on it.
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    default:
      break;  // a prompt without text gives the page null
  }
}

struct ScriptDialogs::Box {
  WebKitWebView* view = nullptr;                // the key of the view's entries; not used once it went
  WeakRef<WebKitWebView> alive;                 // the view, to give it back its input
  std::unique_ptr<WebKitScriptDialog, ScriptDialogUnref> dialog;  // released once answered
  std::unique_ptr<Gtk::MessageDialog> box;
  // The box's grab holds its own group only: the window it belongs to keeps its own controls.
  Glib::RefPtr<Gtk::WindowGroup> group;
  Gtk::Entry* entry = nullptr;        // prompt() only
  Gtk::CheckButton* stop = nullptr;   // from a page's second dialog in a short time on
};

struct ScriptDialogs::Held {
  WebKitWebView* view = nullptr;
  std::unique_ptr<WebKitScriptDialog, ScriptDialogUnref> dialog;
  ScopedConnection due;
};

ScriptDialogs::ScriptDialogs(Views& views) : views_(views) {}

ScriptDialogs::~ScriptDialogs() { CloseAll(); }

void ScriptDialogs::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  connections_.Add(view, Connect(view, "script-dialog",
                                 +[](WebKitWebView* v, WebKitScriptDialog* dialog, gpointer self) -> gboolean {
                                   return static_cast<ScriptDialogs*>(self)->Show(v, dialog);
                                 },
                                 this));
  // A dialog of a page whose web process ended can no longer be answered.
  connections_.Add(view, Connect(view, "web-process-terminated",
                                 +[](WebKitWebView* v, WebKitWebProcessTerminationReason, gpointer self) {
                                   static_cast<ScriptDialogs*>(self)->Release(v);
                                   static_cast<ScriptDialogs*>(self)->DismissFor(v, false);
                                 },
                                 this));
}

bool ScriptDialogs::LoadFailed(WebKitWebView* view, const char* /*uri*/, GError* /*error*/) {
  leaving_.erase(view);
  return false;
}

void ScriptDialogs::AnswerLater(WebKitWebView* view, WebKitScriptDialog* dialog) {
  auto held = std::make_unique<Held>();
  held->view = view;
  held->dialog.reset(webkit_script_dialog_ref(dialog));
  Held* raw = held.get();
  held->due = Glib::signal_timeout().connect(
      [this, raw] {
        const auto it = std::find_if(held_.begin(), held_.end(), [raw](const auto& h) { return h.get() == raw; });
        if (it != held_.end()) {
          webkit_script_dialog_close(raw->dialog.get());
          held_.erase(it);
        }
        return false;
      },
      static_cast<unsigned>(kLoopingAnswerDelay.count()));
  held_.push_back(std::move(held));
}

void ScriptDialogs::Release(WebKitWebView* view) {
  for (auto it = held_.begin(); it != held_.end();) {
    if (view && (*it)->view != view) {
      ++it;
      continue;
    }
    webkit_script_dialog_close((*it)->dialog.get());
    it = held_.erase(it);
  }
}

void ScriptDialogs::Detach(WebKitWebView* view) {
  Release(view);
  DismissFor(view, false);
  connections_.Drop(view);
  pacing_.Forget(view);
  leaving_.erase(view);
}

void ScriptDialogs::ProgramLoading(WebKitWebView* view) {
  leaving_.insert(view);
  Release(view);
  DismissFor(view, true);
}

void ScriptDialogs::CloseAll() {
  closed_ = true;
  Release(nullptr);
  while (!boxes_.empty()) Answer(boxes_.front().get(), false);
}

void ScriptDialogs::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  if (event != WEBKIT_LOAD_COMMITTED) return;
  pacing_.Navigated(view);
  leaving_.erase(view);
}

bool ScriptDialogs::Show(WebKitWebView* view, WebKitScriptDialog* dialog) {
  if (closed_) return true;  // nobody is there to answer: the page gets the default answer
  const bool open = std::any_of(boxes_.begin(), boxes_.end(), [view](const auto& b) { return b->view == view; });
  // Outside pages never show one; the site's show one at a time, unless the agent stopped them or
  // the program is taking the view to another page.
  if (!views_.IsSite(view) || open || leaving_.count(view) || pacing_.Stopped(view)) {
    AnswerUnseen(dialog);
    const auto now = LimitsClock::now();
    // An outside page runs in a process of its own: held up, it holds up nothing else. A site
    // page's loop holds its process whatever is done, and would only take longer to end.
    if (!views_.IsSite(view) && pacing_.Looping(view, now)) AnswerLater(view, dialog);
    pacing_.AnsweredUnseen(view, now);
    return true;
  }
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  const char* message = webkit_script_dialog_get_message(dialog);
  Gtk::Window& parent = views_.WindowOf(view);

  auto box = std::make_unique<Box>();
  box->view = view;
  box->alive = WeakRef<WebKitWebView>(view);
  box->dialog.reset(webkit_script_dialog_ref(dialog));
  box->box = MakeMessageBox(&parent, message ? message : "", BoxIcon::Plain,
                            type == WEBKIT_SCRIPT_DIALOG_ALERT ? BoxButtons::Ok : BoxButtons::OkCancel);
  box->group = Gtk::WindowGroup::create();
  box->group->add_window(*box->box);
  if (type == WEBKIT_SCRIPT_DIALOG_PROMPT) {
    box->entry = Gtk::make_managed<Gtk::Entry>();
    const char* text = webkit_script_dialog_prompt_get_default_text(dialog);
    box->entry->set_text(text ? text : "");
    box->entry->set_activates_default(true);
    box->box->get_message_area()->pack_start(*box->entry, Gtk::PACK_SHRINK);
    box->entry->show();
    // After the box's own focus on OK: typing goes to the text.
    box->box->signal_show().connect([entry = box->entry] { entry->grab_focus(); });
  }
  if (pacing_.OffersStop(view, LimitsClock::now())) {
    box->stop = Gtk::make_managed<Gtk::CheckButton>(kStopDialogs);
    box->box->get_message_area()->pack_start(*box->stop, Gtk::PACK_SHRINK);
    box->stop->show();
  }
  Box* raw = box.get();
  box->box->signal_response().connect([this, raw](int response) { Answer(raw, response == Gtk::RESPONSE_OK); });
  boxes_.push_back(std::move(box));
  // The page takes no input while its box is up, as a browser's tab under its dialog.
  gtk_widget_set_sensitive(GTK_WIDGET(view), FALSE);
  raw->box->show();
  return true;
}

void ScriptDialogs::Answer(Box* box, bool ok) {
  const auto it = std::find_if(boxes_.begin(), boxes_.end(), [box](const auto& b) { return b.get() == box; });
  if (it == boxes_.end()) return;
  WebKitScriptDialog* dialog = box->dialog.get();
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, ok);
      break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
      if (ok) webkit_script_dialog_prompt_set_text(dialog, box->entry->get_text().c_str());
      break;
    default:
      break;
  }
  pacing_.Answered(box->view, LimitsClock::now(), box->stop && box->stop->get_active());
  webkit_script_dialog_close(dialog);
  box->dialog.reset();
  box->box->hide();
  if (const auto view = box->alive.Get()) gtk_widget_set_sensitive(GTK_WIDGET(view.get()), TRUE);
  // The GTK dialog may be inside its own response signal: it goes once that returns.
  std::shared_ptr<Box> doomed(std::move(*it));
  boxes_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

void ScriptDialogs::DismissFor(WebKitWebView* view, bool leave) {
  for (auto it = boxes_.begin(); it != boxes_.end();) {
    Box* box = it->get();
    ++it;  // Answer takes the box out of the list
    if (box->view != view) continue;
    // Leaving a page: "leave this page?" is answered yes, anything else as cancelled.
    const bool beforeUnload =
        webkit_script_dialog_get_dialog_type(box->dialog.get()) == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM;
    Answer(box, leave && beforeUnload);
  }
}

}  // namespace tavro::platform::gtk
