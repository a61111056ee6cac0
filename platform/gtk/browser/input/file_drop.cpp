// Dropping the desktop's files onto the site's pages.
#include "file_drop.h"

#include <filesystem>
#include <iostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "page_files.h"

namespace tavro::platform::gtk {
namespace {

constexpr char kUriListType[] = "text/uri-list";

// The local files a URI list names (lines starting with '#' are comments, RFC 2483).
std::vector<std::string> LocalFiles(const std::string& uriList) {
  std::vector<std::string> paths;
  std::istringstream lines(uriList);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    gchar* host = nullptr;
    const GCharPtr path(g_filename_from_uri(line.c_str(), &host, nullptr));
    const GCharPtr hostName(host);
    // Another machine's name in a file: address is not a file here.
    if (path && (!hostName || g_strcmp0(hostName.get(), "localhost") == 0)) paths.emplace_back(path.get());
  }
  return paths;
}

// A browser gives a file the type its name and content say, and none when they say nothing.
std::string TypeOf(const std::string& path, const std::string& bytes) {
  const GCharPtr guessed(g_content_type_guess(path.c_str(), reinterpret_cast<const guchar*>(bytes.data()),
                                              bytes.size(), nullptr));
  const GCharPtr mime(guessed ? g_content_type_get_mime_type(guessed.get()) : nullptr);
  if (!mime || g_strcmp0(mime.get(), "application/octet-stream") == 0) return {};
  return mime.get();
}

// The regular files of the list, read while all of them together stay within the bound; others
// (folders, unreadable or too large files) are left out, with a line on stderr.
std::vector<PageFile> ReadFiles(const std::vector<std::string>& paths) {
  std::vector<PageFile> files;
  std::size_t total = 0;
  for (const std::string& path : paths) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || !std::filesystem::is_regular_file(path, error)) {
      std::cerr << "tavro: not dropping " << path << ": not a file that can be read" << std::endl;
      continue;
    }
    if (size > kMaxPageFileBytes - total) {
      std::cerr << "tavro: not dropping " << path << ": the files dropped at once may hold " << kMaxPageFileBytes
                << " bytes" << std::endl;
      continue;
    }
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr) || length > kMaxPageFileBytes - total) {
      g_free(contents);
      std::cerr << "tavro: not dropping " << path << ": it cannot be read" << std::endl;
      continue;
    }
    const GCharPtr owned(contents);
    std::string bytes(contents, length);
    total += length;
    const GCharPtr name(g_filename_display_basename(path.c_str()));
    std::string type = TypeOf(path, bytes);
    files.push_back(PageFile{name.get(), std::move(type), std::move(bytes)});
  }
  return files;
}

}  // namespace

FileDrop::~FileDrop() { connections_.Clear(); }

void FileDrop::Attach(const ShownView& shown) {
  if (!shown.site) return;
  WebKitWebView* view = shown.view;
  // Both run before the engine's handlers: the drop is Tavro's when the drag brings files.
  connections_.Add(view, Connect(view, "drag-data-received",
                                 +[](WebKitWebView* v, GdkDragContext* drag, gint, gint, GtkSelectionData* data, guint,
                                     guint, gpointer self) { static_cast<FileDrop*>(self)->DataReceived(v, drag, data); },
                                 this));
  connections_.Add(view, Connect(view, "drag-drop",
                                 +[](WebKitWebView* v, GdkDragContext* drag, gint x, gint y, guint time,
                                     gpointer self) -> gboolean {
                                   return static_cast<FileDrop*>(self)->Dropped(v, drag, x, y, time);
                                 },
                                 this));
}

void FileDrop::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  seen_.erase(view);
}

void FileDrop::DataReceived(WebKitWebView* view, GdkDragContext* drag, GtkSelectionData* data) {
  // A drag from a page: its script wrote the list, and may have named any file.
  if (gtk_drag_get_source_widget(drag)) return;
  if (!data || gtk_selection_data_get_target(data) != gdk_atom_intern_static_string(kUriListType)) return;
  const int length = gtk_selection_data_get_length(data);
  if (length <= 0) return;
  const auto* bytes = reinterpret_cast<const char*>(gtk_selection_data_get_data(data));
  seen_[view] = Seen{WeakRef<GdkDragContext>(drag), std::string(bytes, static_cast<std::size_t>(length))};
}

bool FileDrop::Dropped(WebKitWebView* view, GdkDragContext* drag, int x, int y, guint time) {
  const auto it = seen_.find(view);
  if (it == seen_.end() || it->second.drag.Get().get() != drag || gtk_drag_get_source_widget(drag)) return false;
  const std::string uriList = std::move(it->second.uriList);
  seen_.erase(it);
  const std::vector<std::string> paths = LocalFiles(uriList);
  if (paths.empty()) return false;  // links and text: the engine's drop
  const std::vector<PageFile> files = ReadFiles(paths);
  gtk_drag_finish(drag, !files.empty(), FALSE, time);
  if (!files.empty()) DispatchDrop(view, files, uriList, x, y);
  return true;
}

}  // namespace tavro::platform::gtk
