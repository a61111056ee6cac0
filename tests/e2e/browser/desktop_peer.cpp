// Another program on the tests' desktop: a screenshot tool that puts a picture (or text) on the
// clipboard, a reader of the clipboard, a file manager that drags a file. It says on stdout what
// happened, one word a line, for the test to wait on.
//
//   desktop-peer offer TYPE FILE [TYPE FILE ...]  owns the clipboard with these targets, each
//                                                 answered with the file's bytes, until killed
//   desktop-peer read-text                         prints the clipboard's text and ends
//   desktop-peer drag X Y FILE [FILE ...]          a window at (X, Y) to drag the files from
#include <gtkmm.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

void Say(const std::string& word) { std::cout << word << std::endl; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int Offer(const std::vector<std::string>& args) {
  std::map<std::string, std::string> bytesByTarget;
  for (std::size_t i = 0; i + 1 < args.size(); i += 2) bytesByTarget[args[i]] = ReadAll(args[i + 1]);
  std::vector<Gtk::TargetEntry> targets;
  for (const auto& [target, bytes] : bytesByTarget) targets.emplace_back(target);
  auto clipboard = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
  const bool owner = clipboard->set(
      targets,
      [&bytesByTarget](Gtk::SelectionData& data, guint) {
        const auto it = bytesByTarget.find(data.get_target());
        if (it == bytesByTarget.end()) return;
        data.set(data.get_target(), 8, reinterpret_cast<const guint8*>(it->second.data()),
                 static_cast<int>(it->second.size()));
        Say("sent " + it->first);
      },
      [] {
        Say("lost");
        Gtk::Main::quit();
      });
  if (!owner) return 2;
  Say("owner");
  Gtk::Main::run();
  return 0;
}

int ReadText() {
  auto clipboard = Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD);
  clipboard->request_text([](const Glib::ustring& text) {
    std::cout << "text " << text << std::endl;
    Gtk::Main::quit();
  });
  Gtk::Main::run();
  return 0;
}

int Drag(int x, int y, const std::vector<std::string>& files) {
  std::vector<Glib::ustring> uris;
  for (const auto& file : files) uris.emplace_back(Glib::filename_to_uri(file));
  Gtk::Window window;
  window.set_title("desktop-peer drag");
  window.set_decorated(false);
  window.set_default_size(120, 80);
  window.move(x, y);
  Gtk::EventBox source;
  Gtk::Label label("file");
  source.add(label);
  window.add(source);
  source.drag_source_set({Gtk::TargetEntry("text/uri-list")}, Gdk::BUTTON1_MASK, Gdk::ACTION_COPY);
  source.signal_drag_data_get().connect([&uris](const Glib::RefPtr<Gdk::DragContext>&, Gtk::SelectionData& data,
                                                 guint, guint) {
    data.set_uris(uris);
    Say("sent");
  });
  source.signal_drag_end().connect([](const Glib::RefPtr<Gdk::DragContext>&) { Say("end"); });
  window.signal_map_event().connect([](GdkEventAny*) {
    Say("ready");
    return false;
  });
  window.show_all();
  Gtk::Main::run(window);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  gdk_set_allowed_backends("x11");
  Gtk::Main kit(argc, argv);
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 3 && args[0] == "offer" && args.size() % 2 == 1)
      return Offer({args.begin() + 1, args.end()});
    if (args.size() == 1 && args[0] == "read-text") return ReadText();
    if (args.size() >= 4 && args[0] == "drag")
      return Drag(std::atoi(args[1].c_str()), std::atoi(args[2].c_str()), {args.begin() + 3, args.end()});
  } catch (const std::exception& e) {
    std::cerr << "desktop-peer: " << e.what() << std::endl;
    return 1;
  }
  std::cerr << "usage: desktop-peer offer TYPE FILE... | read-text | drag X Y FILE..." << std::endl;
  return 2;
}
