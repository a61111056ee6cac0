// Pasting a picture from the clipboard into the site's pages.
#include "clipboard_paste.h"

#include <iostream>

#include "page_files.h"

namespace tavro::platform::gtk {
namespace {

constexpr guint kClipboardPatienceMs = 1000;  // a clipboard owner that takes longer is not waited for
constexpr char kPngType[] = "image/png";

bool IsPasteKey(const GdkEventKey* event) {
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  const guint keyval = gdk_keyval_to_lower(event->keyval);
  if (mods == GDK_CONTROL_MASK) return keyval == GDK_KEY_v;
  if (mods == GDK_SHIFT_MASK) return keyval == GDK_KEY_Insert || keyval == GDK_KEY_KP_Insert;
  return false;
}

GtkClipboard* ClipboardOf(WebKitWebView* view) { return gtk_widget_get_clipboard(GTK_WIDGET(view), GDK_SELECTION_CLIPBOARD); }

}  // namespace

struct ClipboardPaste::Answer {
  std::weak_ptr<ClipboardPaste*> unit;
  unsigned serial;
  WeakRef<WebKitWebView> view;
  ClipboardPaste* Unit() const {
    const auto alive = unit.lock();
    return alive ? *alive : nullptr;
  }
};

ClipboardPaste::~ClipboardPaste() {
  *self_ = nullptr;
  connections_.Clear();
}

void ClipboardPaste::Attach(const ShownView& shown) {
  if (!shown.site) return;
  WebKitWebView* view = shown.view;
  for (const char* signal : {"key-press-event", "key-release-event"})
    connections_.Add(view, Connect(view, signal,
                                   +[](WebKitWebView* v, GdkEventKey* event, gpointer self) -> gboolean {
                                     return static_cast<ClipboardPaste*>(self)->KeyEvent(v, event);
                                   },
                                   this));
}

void ClipboardPaste::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  if (pending_ && pending_->key == view) pending_.reset();
}

bool ClipboardPaste::KeyEvent(WebKitWebView* view, GdkEventKey* event) {
  // The engine's copy of a key it had: held back, the next key would be lost to the page.
  if (passed_.Contains(event)) return false;
  if (replaying_ || (!pending_ && (event->type != GDK_KEY_PRESS || !IsPasteKey(event)))) {
    passed_.Add(event);
    return false;
  }
  if (pending_) {
    if (pending_->key != view) return false;
    pending_->held.emplace_back(gdk_event_copy(reinterpret_cast<GdkEvent*>(event)));
    return true;
  }

  const unsigned serial = ++serial_;
  pending_.emplace(Pending{serial, WeakRef<WebKitWebView>(view), view, {}, {}});
  pending_->held.emplace_back(gdk_event_copy(reinterpret_cast<GdkEvent*>(event)));
  pending_->giveUp = Glib::signal_timeout().connect(
      [this] {
        Release(true);
        return false;
      },
      kClipboardPatienceMs);
  auto answer = std::make_unique<Answer>(Answer{self_, serial, WeakRef<WebKitWebView>(view)});
  // The answer may come at once, when Tavro's own page put the text there.
  gtk_clipboard_request_targets(
      ClipboardOf(view),
      +[](GtkClipboard*, GdkAtom* targets, gint count, gpointer data) {
        const std::unique_ptr<Answer> answer(static_cast<Answer*>(data));
        if (ClipboardPaste* unit = answer->Unit()) unit->Targets(answer->serial, targets, count);
      },
      answer.release());
  return true;
}

void ClipboardPaste::Targets(unsigned serial, const GdkAtom* targets, int count) {
  if (!pending_ || pending_->serial != serial) return;  // given up on already
  const GObjectPtr<WebKitWebView> view = pending_->view.Get();
  GdkAtom* list = const_cast<GdkAtom*>(targets);
  // Text goes the engine's way, whatever else is there: it pastes text as a browser does.
  const bool picture =
      view && targets && gtk_targets_include_image(list, count, FALSE) && !gtk_targets_include_text(list, count);
  if (!picture) {
    Release(true);
    return;
  }
  Release(false);
  auto answer = std::make_unique<Answer>(Answer{self_, serial, WeakRef<WebKitWebView>(view.get())});
  GdkAtom png = gdk_atom_intern_static_string(kPngType);
  bool offersPng = false;
  for (int i = 0; i < count; ++i) offersPng = offersPng || targets[i] == png;
  if (offersPng) {
    // The bytes as the tool made them.
    gtk_clipboard_request_contents(
        ClipboardOf(view.get()), png,
        +[](GtkClipboard*, GtkSelectionData* data, gpointer raw) {
          const std::unique_ptr<Answer> answer(static_cast<Answer*>(raw));
          ClipboardPaste* unit = answer->Unit();
          const int length = data ? gtk_selection_data_get_length(data) : -1;
          if (!unit || length <= 0) return;
          const auto* bytes = reinterpret_cast<const char*>(gtk_selection_data_get_data(data));
          unit->Picture(answer->view, std::string(bytes, static_cast<std::size_t>(length)));
        },
        answer.release());
    return;
  }
  // Another kind of picture goes to the page as a PNG, as browsers give it.
  gtk_clipboard_request_image(
      ClipboardOf(view.get()),
      +[](GtkClipboard*, GdkPixbuf* pixbuf, gpointer raw) {
        const std::unique_ptr<Answer> answer(static_cast<Answer*>(raw));
        ClipboardPaste* unit = answer->Unit();
        gchar* buffer = nullptr;
        gsize size = 0;
        if (!unit || !pixbuf || !gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr)) return;
        const GCharPtr owned(buffer);
        unit->Picture(answer->view, std::string(buffer, size));
      },
      answer.release());
}

void ClipboardPaste::Picture(const WeakRef<WebKitWebView>& weakView, std::string png) {
  const GObjectPtr<WebKitWebView> view = weakView.Get();
  if (!view) return;
  if (png.size() > kMaxPageFileBytes) {
    std::cerr << "tavro: the picture on the clipboard is too large to paste (" << png.size() << " bytes, at most "
              << kMaxPageFileBytes << ")" << std::endl;
    return;
  }
  DispatchPaste(view.get(), {PageFile{"image.png", kPngType, std::move(png)}});
}

void ClipboardPaste::Release(bool withPasteKey) {
  if (!pending_) return;
  std::vector<EventPtr> held = std::move(pending_->held);
  const GObjectPtr<WebKitWebView> view = pending_->view.Get();
  pending_.reset();
  if (!view) return;
  if (!withPasteKey && !held.empty()) held.erase(held.begin());
  // Through the window again, as they came: to the widget with the focus, past these handlers.
  replaying_ = true;
  for (const EventPtr& event : held) gtk_main_do_event(event.get());
  replaying_ = false;
}

}  // namespace tavro::platform::gtk
