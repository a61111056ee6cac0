// Downloads: a save dialog per download, one at a time, the destination set only by the agent's
// choice; downloads no input asked for are refused.
#include "downloads.h"

#include <algorithm>

#include "message_box.h"
#include "page_limits.h"

namespace tavro::platform::gtk {
namespace {

constexpr char kSave[] = "保存";

}  // namespace

std::string SafeFileName(const char* suggested) {
  std::string name = suggested ? suggested : "";
  std::replace(name.begin(), name.end(), '/', '_');
  if (name.empty() || name == "." || name == "..") name = "download";
  return name;
}

struct Downloads::Chooser {
  GObjectPtr<WebKitDownload> download;  // released once answered
  std::unique_ptr<Gtk::FileChooserDialog> dialog;
  Glib::RefPtr<Gtk::WindowGroup> group;
};

Downloads::Downloads(Views& views, Gestures& gestures, BlockedNotices& notices)
    : views_(views), gestures_(gestures), notices_(notices) {}

void Downloads::Attach(const ShownView& shown) {
  if (!shown.site || started_.Connected()) return;
  started_ = Connect(webkit_web_view_get_context(shown.view), "download-started",
                     +[](WebKitWebContext*, WebKitDownload* download, gpointer self) {
                       static_cast<Downloads*>(self)->Started(download);
                     },
                     this);
}

void Downloads::RefuseAllFrom(WebKitWebContext* context) {
  refused_ = Connect(context, "download-started",
                     +[](WebKitWebContext*, WebKitDownload* download, gpointer) { webkit_download_cancel(download); },
                     this);
}

Downloads::~Downloads() {
  CloseAll();
  downloads_.clear();
}

void Downloads::CloseAll() {
  closed_ = true;
  while (!waiting_.empty()) {
    WebKitDownload* download = waiting_.front().first;
    waiting_.pop_front();
    webkit_download_cancel(download);
  }
  while (!choosers_.empty()) Answer(choosers_.front().get(), false);
}

void Downloads::Refuse(WebKitDownload* download) {
  WebKitWebView* view = webkit_download_get_web_view(download);
  if (view && views_.Known(view)) notices_.Blocked(views_.WindowOf(view), BlockedNotices::What::Download);
  webkit_download_cancel(download);
}

void Downloads::Started(WebKitDownload* download) {
  if (downloads_.count(download)) return;
  // Only a page of the site's, in answer to an input of the agent's in its view.
  WebKitWebView* view = webkit_download_get_web_view(download);
  if (closed_ || !view || !views_.IsSite(view) || !gestures_.TakeForDownload(view)) {
    Refuse(download);
    return;
  }
  Tracked& tracked = downloads_[download];
  tracked.download = GObjectPtr<WebKitDownload>(WEBKIT_DOWNLOAD(g_object_ref(download)));
  tracked.connections.push_back(Connect(download, "decide-destination",
                                        +[](WebKitDownload* d, gchar* suggested, gpointer self) -> gboolean {
                                          return static_cast<Downloads*>(self)->DecideDestination(d, suggested);
                                        },
                                        this));
  tracked.connections.push_back(Connect(download, "failed",
                                        +[](WebKitDownload* d, GError*, gpointer self) {
                                          static_cast<Downloads*>(self)->Ended(d);
                                        },
                                        this));
  tracked.connections.push_back(Connect(download, "finished",
                                        +[](WebKitDownload* d, gpointer self) { static_cast<Downloads*>(self)->Ended(d); },
                                        this));
}

bool Downloads::DecideDestination(WebKitDownload* download, const char* suggestedName) {
  if (closed_) {
    webkit_download_cancel(download);
    return true;
  }
  // Answered choosers leave the list at once: one in it is waiting for the agent.
  if (choosers_.empty()) {
    ShowChooser(download, SafeFileName(suggestedName));
  } else if (waiting_.size() < kMaxWaitingDownloads) {
    waiting_.emplace_back(download, SafeFileName(suggestedName));
  } else {
    Refuse(download);
  }
  return true;  // the download waits until a destination is set or it is cancelled
}

void Downloads::ShowChooser(WebKitDownload* download, const std::string& suggestedName) {
  WebKitWebView* view = webkit_download_get_web_view(download);
  Gtk::Window& parent = views_.WindowOf(view);

  auto chooser = std::make_unique<Chooser>();
  chooser->download = GObjectPtr<WebKitDownload>(WEBKIT_DOWNLOAD(g_object_ref(download)));
  chooser->dialog = std::make_unique<Gtk::FileChooserDialog>(parent, ApplicationTitle(), Gtk::FILE_CHOOSER_ACTION_SAVE);
  Gtk::FileChooserDialog& d = *chooser->dialog;
  d.set_modal(true);
  d.set_transient_for(parent);
  d.add_button(kCancelLabel, Gtk::RESPONSE_CANCEL);
  d.add_button(kSave, Gtk::RESPONSE_ACCEPT);
  d.set_default_response(Gtk::RESPONSE_ACCEPT);
  d.set_do_overwrite_confirmation(true);
  d.set_local_only(true);
  const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  const std::string folder = downloads && g_file_test(downloads, G_FILE_TEST_IS_DIR) ? downloads : g_get_home_dir();
  d.set_current_folder(folder);
  d.set_current_name(suggestedName);
  // Its grab holds its own group only: the window it belongs to keeps its close button.
  chooser->group = Gtk::WindowGroup::create();
  chooser->group->add_window(d);
  Chooser* raw = chooser.get();
  d.signal_response().connect([this, raw](int response) { Answer(raw, response == Gtk::RESPONSE_ACCEPT); });
  choosers_.push_back(std::move(chooser));
  d.show();
}

void Downloads::Answer(Chooser* chooser, bool save) {
  const auto it = std::find_if(choosers_.begin(), choosers_.end(), [chooser](const auto& c) { return c.get() == chooser; });
  if (it == choosers_.end()) return;
  const std::string uri = save ? std::string(chooser->dialog->get_uri()) : std::string();
  if (!uri.empty()) {
    // The chooser has already asked whether to replace an existing file.
    webkit_download_set_allow_overwrite(chooser->download.get(), TRUE);
    webkit_download_set_destination(chooser->download.get(), uri.c_str());
  } else {
    webkit_download_cancel(chooser->download.get());
  }
  chooser->download.reset();
  chooser->dialog->hide();
  std::shared_ptr<Chooser> doomed(std::move(*it));
  choosers_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
  // The next download's turn.
  if (closed_ || waiting_.empty()) return;
  const auto [next, name] = waiting_.front();
  waiting_.pop_front();
  ShowChooser(next, name);
}

void Downloads::Ended(WebKitDownload* download) {
  waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(), [download](const auto& w) { return w.first == download; }),
                 waiting_.end());
  // A download that ends before the agent chose where to put it takes its chooser along.
  const auto chooser = std::find_if(choosers_.begin(), choosers_.end(),
                                    [download](const auto& c) { return c->download.get() == download; });
  if (chooser != choosers_.end()) Answer(chooser->get(), false);
  // Inside one of the download's own signals: its connections and reference go once it returns.
  const auto it = downloads_.find(download);
  if (it == downloads_.end()) return;
  auto doomed = std::make_shared<Tracked>(std::move(it->second));
  downloads_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

}  // namespace tavro::platform::gtk
