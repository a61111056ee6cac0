// The paste and drop events with files, built in the page by a script of Tavro's own.
#include "page_files.h"

#include <iostream>
#include <string>

#include "owners.h"

namespace tavro::platform::gtk {
namespace {

// Runs in a world of its own: the page's scripts cannot see it or change what it uses. The page
// gets the event, its DataTransfer and files as it would get them from the engine.
constexpr char kDispatchScript[] = R"JS(
const bytesOf = (base64) => {
  if (typeof Uint8Array.fromBase64 === 'function') return Uint8Array.fromBase64(base64);
  const text = atob(base64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
  return bytes;
};
let doc = document, target = null, cx = x, cy = y;
for (;;) {
  target = kind === 'paste' ? doc.activeElement : doc.elementFromPoint(cx, cy);
  if (!target || (target.tagName !== 'IFRAME' && target.tagName !== 'FRAME')) break;
  let inner = null;
  try { inner = target.contentDocument; } catch (e) {}
  if (!inner) break;  // another origin's frame gets the event at its element, as the frame's page can take it
  if (kind !== 'paste') {
    const box = target.getBoundingClientRect();
    cx -= box.left + target.clientLeft;
    cy -= box.top + target.clientTop;
  }
  doc = inner;
}
if (!target) target = doc.body || doc.documentElement;
const win = doc.defaultView;
const transfer = new win.DataTransfer();
// The files come as a dictionary by their places, 0, 1, ...: arguments hold no arrays.
const ordered = Object.keys(files).sort((a, b) => a - b).map((key) => files[key]);
for (const f of ordered) transfer.items.add(new win.File([bytesOf(f.data)], f.name, {type: f.type}));
if (uriList) transfer.setData('text/uri-list', uriList);
const init = {bubbles: true, cancelable: true, composed: true};
let event;
if (kind === 'paste') {
  event = new win.ClipboardEvent('paste', Object.assign(init, {clipboardData: transfer}));
} else {
  event = new win.DragEvent('drop', Object.assign(init, {clientX: cx, clientY: cy, dataTransfer: transfer}));
}
const taken = !target.dispatchEvent(event);
if (kind === 'drop' && !taken && target instanceof win.HTMLInputElement && target.type === 'file' && !target.disabled) {
  target.files = transfer.files;
  target.dispatchEvent(new win.Event('input', {bubbles: true, composed: true}));
  target.dispatchEvent(new win.Event('change', {bubbles: true}));
}
return taken;
)JS";

constexpr char kWorld[] = "tavro-page-files";

// A dictionary of the files by their places: the engine takes numbers, strings and dictionaries.
GVariant* FilesVariant(const std::vector<PageFile>& files) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE("a{sv}"));
  for (std::size_t i = 0; i < files.size(); ++i) {
    const PageFile& file = files[i];
    const GCharPtr base64(
        g_base64_encode(reinterpret_cast<const guchar*>(file.bytes.data()), file.bytes.size()));
    GVariantBuilder entry;
    g_variant_builder_init(&entry, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&entry, "{sv}", "name", g_variant_new_string(file.name.c_str()));
    g_variant_builder_add(&entry, "{sv}", "type", g_variant_new_string(file.type.c_str()));
    g_variant_builder_add(&entry, "{sv}", "data", g_variant_new_string(base64.get()));
    g_variant_builder_add(&list, "{sv}", std::to_string(i).c_str(), g_variant_builder_end(&entry));
  }
  return g_variant_builder_end(&list);
}

void Dispatch(WebKitWebView* view, const char* kind, const std::vector<PageFile>& files, const std::string& uriList,
              double x, double y) {
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&arguments, "{sv}", "kind", g_variant_new_string(kind));
  g_variant_builder_add(&arguments, "{sv}", "files", FilesVariant(files));
  g_variant_builder_add(&arguments, "{sv}", "uriList", g_variant_new_string(uriList.c_str()));
  g_variant_builder_add(&arguments, "{sv}", "x", g_variant_new_double(x));
  g_variant_builder_add(&arguments, "{sv}", "y", g_variant_new_double(y));
  // The arguments go to the page as values, never as script text: file names need no escaping.
  webkit_web_view_call_async_javascript_function(
      view, kDispatchScript, -1, g_variant_builder_end(&arguments), kWorld, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer) {
        GError* raw = nullptr;
        const GObjectPtr<JSCValue> value(
            webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &raw));
        const GErrorPtr error(raw);
        if (error) std::cerr << "tavro: the page did not take the files: " << error->message << std::endl;
      },
      nullptr);
}

}  // namespace

void DispatchPaste(WebKitWebView* view, const std::vector<PageFile>& files) { Dispatch(view, "paste", files, {}, 0, 0); }

void DispatchDrop(WebKitWebView* view, const std::vector<PageFile>& files, const std::string& uriList, double x,
                  double y) {
  // The engine draws a CSS pixel as resolution / 96 of the view's pixels (the desktop's text
  // scale), times the view's zoom.
  double resolution = gdk_screen_get_resolution(gtk_widget_get_screen(GTK_WIDGET(view)));
  if (resolution <= 0) resolution = 96.0;
  const double pixelsPerCssPixel = webkit_web_view_get_zoom_level(view) * resolution / 96.0;
  Dispatch(view, "drop", files, uriList, x / pixelsPerCssPixel, y / pixelsPerCssPixel);
}

}  // namespace tavro::platform::gtk
