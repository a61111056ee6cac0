// Other programs' links: the decision at the engine's request, the question, the desktop's program.
#include "other_programs.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <iostream>

#include "message_box.h"
#include "program_links.h"

namespace tavro::platform::gtk {
namespace {

// The engine tells which page asked for a navigation only by the view: a frame of another origin
// in the console, or a customer's window setting the console's location, would pass for the
// site. Each document of a site's view tells Tavro, in a script world of Tavro's own that pages
// cannot reach, the origin of a frame as it comes and the link a press of the agent's clicked
// (its click event, a press of Enter's too, which no script can make). Those come over the web
// process's one connection, ahead of the navigations that document asks for later.
constexpr char kLinksWorld[] = "tavro-links";
constexpr char kLinksHandler[] = "tavroLinks";
constexpr std::size_t kMaxLink = 8192;

std::string LinksSource() {
  const std::string max = std::to_string(kMaxLink);
  return std::string("(function () {\n"
                     "  var handlers = window.webkit && window.webkit.messageHandlers;\n"
                     "  var handler = handlers && handlers.") +
         kLinksHandler +
         ";\n"
         "  if (!handler) return;\n"
         "  if (window !== window.top) handler.postMessage({frame: location.origin});\n"
         "  function clicked(event) {\n"
         "    if (!event.isTrusted || !event.target || !event.target.closest) return;\n"
         "    var link = event.target.closest('a[href], area[href]');\n"
         "    if (link && typeof link.href === 'string' && link.href.length <= " +
         max +
         ")\n"
         "      handler.postMessage({link: link.href, origin: location.origin});\n"
         "  }\n"
         "  addEventListener('click', clicked, true);\n"
         "  addEventListener('auxclick', clicked, true);\n"
         "})();\n";
}

std::string StringProperty(JSCValue* object, const char* name) {
  const auto value = Adopt(jsc_value_object_get_property(object, name));
  if (!value || !jsc_value_is_string(value.get())) return {};
  const GCharPtr text(jsc_value_to_string(value.get()));
  return text ? text.get() : "";
}

const char* RequestUri(WebKitNavigationAction* action) {
  WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
  return request ? webkit_uri_request_get_uri(request) : nullptr;
}

std::string ProgramName(GAppInfo* program) {
  const char* name = g_app_info_get_display_name(program);
  return name && *name ? name : g_app_info_get_name(program);
}

void Launch(GAppInfo* program, const std::string& uri) {
  // As the desktop starts a program: on Tavro's display, with the time of the agent's answer so
  // that the window manager lets the program's window come forward.
  const auto context = Adopt(gdk_display_get_app_launch_context(gdk_display_get_default()));
  gdk_app_launch_context_set_timestamp(context.get(), gtk_get_current_event_time());
  GList uris{const_cast<char*>(uri.c_str()), nullptr, nullptr};
  GError* raw = nullptr;
  if (!g_app_info_launch_uris(program, &uris, G_APP_LAUNCH_CONTEXT(context.get()), &raw)) {
    const GErrorPtr error(raw);
    std::cerr << "tavro: cannot open a link in " << ProgramName(program) << ": "
              << (error ? error->message : "no reason given") << std::endl;
  }
}

}  // namespace

struct OtherPrograms::Question {
  WebKitWebView* view = nullptr;  // the key of the view's entries; not used once it went
  WeakRef<WebKitWebView> alive;   // the view, to give it back its input
  std::string scheme;
  std::string uri;
  GObjectPtr<GAppInfo> program;
  std::unique_ptr<Gtk::MessageDialog> box;
  // The box's grab holds its own group only: the window it belongs to keeps its own controls.
  Glib::RefPtr<Gtk::WindowGroup> group;
  Gtk::CheckButton* remember = nullptr;
};

OtherPrograms::OtherPrograms(Views& views, Gestures& gestures, BlockedNotices& notices)
    : views_(views), gestures_(gestures), notices_(notices) {}

OtherPrograms::~OtherPrograms() { CloseAll(); }

void OtherPrograms::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  // Before Popups' handler: another program's address never becomes a window.
  connections_.Add(view, Connect(view, "create",
                                 +[](WebKitWebView* v, WebKitNavigationAction* action, gpointer self) -> GtkWidget* {
                                   if (static_cast<OtherPrograms*>(self)->Take(v, action))
                                     g_signal_stop_emission_by_name(v, "create");
                                   return nullptr;
                                 },
                                 this));
  // Every view's presses: only the view of the latest one may start a program.
  for (const char* signal : {"button-press-event", "key-press-event"})
    connections_.Add(view, Connect(view, signal,
                                   +[](GtkWidget* v, GdkEvent*, gpointer self) -> gboolean {
                                     static_cast<OtherPrograms*>(self)->Press(WEBKIT_WEB_VIEW(v));
                                     return FALSE;
                                   },
                                   this));
  // Outside pages never start a program: nothing of theirs is listened to.
  if (!shown.site) return;
  states_[view];
  WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view);
  webkit_user_content_manager_register_script_message_handler_in_world(content, kLinksHandler, kLinksWorld);
  if (!script_)
    script_.reset(webkit_user_script_new_for_world(LinksSource().c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kLinksWorld, nullptr,
                                                   nullptr));
  webkit_user_content_manager_add_script(content, script_.get());
  connections_.Add(view, Connect(content, (std::string("script-message-received::") + kLinksHandler).c_str(),
                                 +[](WebKitUserContentManager* c, WebKitJavascriptResult* message, gpointer self) {
                                   static_cast<OtherPrograms*>(self)->PageMessage(c, message);
                                 },
                                 this));
}

void OtherPrograms::Detach(WebKitWebView* view) {
  DismissFor(view);
  if (lastPressed_ == view) lastPressed_ = nullptr;
  PerViewUnit::Detach(view);
}

void OtherPrograms::CloseAll() {
  PerViewUnit::CloseAll();
  while (!questions_.empty()) Answer(questions_.front().get(), false);
}

void OtherPrograms::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  // A new document: its frames tell of themselves again.
  if (event != WEBKIT_LOAD_COMMITTED) return;
  if (ProgramLinksState* state = StateOf(view)) *state = ProgramLinksState{};
}

void OtherPrograms::Press(WebKitWebView* view) {
  lastPressed_ = view;
  // The link of an earlier click is no answer to this press.
  if (ProgramLinksState* state = StateOf(view)) state->clickedLink.clear();
}

void OtherPrograms::PageMessage(WebKitUserContentManager* content, WebKitJavascriptResult* message) {
  WebKitWebView* view = views_.ViewWithContent(content);
  ProgramLinksState* state = view ? StateOf(view) : nullptr;
  JSCValue* value = webkit_javascript_result_get_js_value(message);
  if (!state || !value || !jsc_value_is_object(value)) return;
  if (jsc_value_object_has_property(value, "frame")) {
    // A sandboxed frame's origin is "null", a frame of the site's own making (about:blank) the
    // site's: only the site's count as the site's.
    if (!views_.OfTheSite(StringProperty(value, "frame"))) state->otherOriginFrame = true;
    return;
  }
  const std::string link = StringProperty(value, "link");
  if (!link.empty() && link.size() <= kMaxLink && views_.OfTheSite(StringProperty(value, "origin")))
    state->clickedLink = link;
}

bool OtherPrograms::FromTheSite(WebKitWebView* view, const std::string& uri) {
  ProgramLinksState* state = StateOf(view);
  if (!state || view != lastPressed_ || !views_.IsSite(view) || !views_.OfTheSite(UriOf(view))) return false;
  // Without a frame of another origin, only the site's documents are in the page. With one, only
  // a link of the site's that the agent clicked tells where the navigation comes from.
  const bool clicked = state->clickedLink == uri;
  state->clickedLink.clear();
  return !state->otherOriginFrame || clicked;
}

bool OtherPrograms::Take(WebKitWebView* view, WebKitNavigationAction* action) {
  const char* requested = RequestUri(action);
  const auto scheme = requested ? OtherProgramScheme(requested) : std::nullopt;
  if (!scheme) return false;
  const std::string uri = requested;
  // Decided from here on: anything but the agent's answer leaves the page where it is. No real
  // program's link is longer than a page's link may be told to be; a longer one is no program's
  // business (and would not fit in a program's arguments).
  if (closed_ || uri.size() > kMaxLink || !views_.Known(view) || !FromTheSite(view, uri)) return true;
  if (!gestures_.TakeForProgram(view, webkit_navigation_action_is_user_gesture(action))) return true;
  const auto remembered = remembered_.find(*scheme);
  if (remembered != remembered_.end() && !remembered->second) return true;
  auto program = Adopt(g_app_info_get_default_for_uri_scheme(scheme->c_str()));
  if (!program) {
    notices_.Blocked(views_.WindowOf(view), BlockedNotices::What::NoProgram, SchemeForText(*scheme));
    return true;
  }
  if (remembered != remembered_.end()) {
    Launch(program.get(), uri);
    return true;
  }
  // One question at a time for a page, as for its dialogs; its page takes no input meanwhile.
  const bool asking =
      std::any_of(questions_.begin(), questions_.end(), [view](const auto& q) { return q->view == view; });
  if (!asking) Ask(view, *scheme, uri, std::move(program));
  return true;
}

bool OtherPrograms::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
    return false;
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  if (!Take(view, action)) return false;
  webkit_policy_decision_ignore(decision);
  return true;
}

void OtherPrograms::Ask(WebKitWebView* view, const std::string& scheme, const std::string& uri,
                        GObjectPtr<GAppInfo> program) {
  auto question = std::make_unique<Question>();
  question->view = view;
  question->alive = WeakRef<WebKitWebView>(view);
  question->scheme = scheme;
  question->uri = uri;
  question->box = MakeMessageBox(&views_.WindowOf(view), OpenWithQuestion(ProgramName(program.get())),
                                 BoxIcon::Plain, BoxButtons::OkCancel);
  question->program = std::move(program);
  question->box->set_secondary_text(AddressForText(uri));
  question->remember = Gtk::make_managed<Gtk::CheckButton>(RememberForSchemeText(scheme));
  question->box->get_message_area()->pack_start(*question->remember, Gtk::PACK_SHRINK);
  question->remember->show();
  // Another program is a step out of Tavro: Enter, or a key pressed before the box was seen,
  // keeps the agent where they are.
  question->box->set_default_response(Gtk::RESPONSE_CANCEL);
  if (Gtk::Widget* cancel = question->box->get_widget_for_response(Gtk::RESPONSE_CANCEL))
    question->box->signal_show().connect([cancel] { cancel->grab_focus(); });
  question->group = Gtk::WindowGroup::create();
  question->group->add_window(*question->box);
  Question* raw = question.get();
  question->box->signal_response().connect([this, raw](int response) { Answer(raw, response == Gtk::RESPONSE_OK); });
  questions_.push_back(std::move(question));
  gtk_widget_set_sensitive(GTK_WIDGET(view), FALSE);
  raw->box->show();
}

void OtherPrograms::Answer(Question* question, bool open) {
  const auto it = std::find_if(questions_.begin(), questions_.end(), [question](const auto& q) { return q.get() == question; });
  if (it == questions_.end()) return;
  if (!closed_) {
    if (question->remember->get_active()) remembered_[question->scheme] = open;
    if (open) Launch(question->program.get(), question->uri);
  }
  question->box->hide();
  if (const auto view = question->alive.Get()) gtk_widget_set_sensitive(GTK_WIDGET(view.get()), TRUE);
  // The box may be inside its own response signal: it goes once that returns.
  std::shared_ptr<Question> doomed(std::move(*it));
  questions_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

void OtherPrograms::DismissFor(WebKitWebView* view) {
  for (auto it = questions_.begin(); it != questions_.end();) {
    Question* question = it->get();
    ++it;  // Answer takes the question out of the list
    if (question->view != view) continue;
    // The page went before the agent answered: a ticked box is no answer for the scheme.
    question->remember->set_active(false);
    Answer(question, false);
  }
}

}  // namespace tavro::platform::gtk
