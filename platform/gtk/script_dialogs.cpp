// Script dialogs: one message box per dialog, answered back to the page that asked.
#include "script_dialogs.h"

#include <algorithm>

#include "message_box.h"

namespace tavro::platform::gtk {
namespace {

struct ScriptDialogUnref {
  void operator()(WebKitScriptDialog* dialog) const { webkit_script_dialog_unref(dialog); }
};

}  // namespace

struct ScriptDialogs::Box {
  WebKitWebView* view = nullptr;
  std::unique_ptr<WebKitScriptDialog, ScriptDialogUnref> dialog;  // released once answered
  std::unique_ptr<Gtk::MessageDialog> box;
  Gtk::Entry* entry = nullptr;  // prompt() only
};

ScriptDialogs::ScriptDialogs(Views& views) : views_(views) {}

ScriptDialogs::~ScriptDialogs() { CloseAll(); }

void ScriptDialogs::Attach(WebKitWebView* view) {
  connections_.Add(view, Connect(view, "script-dialog",
                                 +[](WebKitWebView* v, WebKitScriptDialog* dialog, gpointer self) -> gboolean {
                                   return static_cast<ScriptDialogs*>(self)->Show(v, dialog);
                                 },
                                 this));
  // A dialog of a page whose web process ended can no longer be answered.
  connections_.Add(view, Connect(view, "web-process-terminated",
                                 +[](WebKitWebView* v, WebKitWebProcessTerminationReason, gpointer self) {
                                   static_cast<ScriptDialogs*>(self)->DismissFor(v);
                                 },
                                 this));
}

void ScriptDialogs::Detach(WebKitWebView* view) {
  DismissFor(view);
  connections_.Drop(view);
}

void ScriptDialogs::CloseAll() {
  closed_ = true;
  while (!boxes_.empty()) Answer(boxes_.front().get(), false);
}

bool ScriptDialogs::Show(WebKitWebView* view, WebKitScriptDialog* dialog) {
  if (closed_) return true;  // nobody is there to answer: the page gets the default answer
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  const char* message = webkit_script_dialog_get_message(dialog);
  Gtk::Window& parent = views_.WindowOf(view);

  auto box = std::make_unique<Box>();
  box->view = view;
  box->dialog.reset(webkit_script_dialog_ref(dialog));
  box->box = MakeMessageBox(&parent, message ? message : "", BoxIcon::Plain,
                            type == WEBKIT_SCRIPT_DIALOG_ALERT ? BoxButtons::Ok : BoxButtons::OkCancel);
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
  Box* raw = box.get();
  box->box->signal_response().connect([this, raw](int response) { Answer(raw, response == Gtk::RESPONSE_OK); });
  boxes_.push_back(std::move(box));
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
  webkit_script_dialog_close(dialog);
  box->dialog.reset();
  box->box->hide();
  // The GTK dialog may be inside its own response signal: it goes once that returns.
  std::shared_ptr<Box> doomed(std::move(*it));
  boxes_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

void ScriptDialogs::DismissFor(WebKitWebView* view) {
  for (auto it = boxes_.begin(); it != boxes_.end();) {
    Box* box = it->get();
    ++it;  // Answer takes the box out of the list
    if (box->view == view) Answer(box, false);
  }
}

}  // namespace tavro::platform::gtk
