// Controls to assistive technologies: an accessible type for the design's boxes that can be a
// push button with a "click" action, and the title bar's name kept to the window's title.
#include "accessible.h"

#include <gtk/gtk-a11y.h>

namespace tavro::platform::gtk {
namespace {

// The press of a push button, kept on its widget.
constexpr char kPressKey[] = "tavro-accessible-press";
constexpr char kClickAction[] = "click";

using Press = std::function<void()>;

const Press* PressOf(GtkWidget* widget) {
  return widget ? static_cast<const Press*>(g_object_get_data(G_OBJECT(widget), kPressKey)) : nullptr;
}

struct TavroControlAccessible {
  GtkContainerAccessible parent;
};
struct TavroControlAccessibleClass {
  GtkContainerAccessibleClass parentClass;
};

void ActionInit(AtkActionIface* iface);

G_DEFINE_TYPE_WITH_CODE(TavroControlAccessible, tavro_control_accessible, GTK_TYPE_CONTAINER_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, ActionInit))

void tavro_control_accessible_class_init(TavroControlAccessibleClass*) {}
void tavro_control_accessible_init(TavroControlAccessible*) {}

GtkWidget* WidgetOf(AtkAction* action) { return gtk_accessible_get_widget(GTK_ACCESSIBLE(action)); }

gint CountActions(AtkAction* action) { return PressOf(WidgetOf(action)) ? 1 : 0; }

// As a click: the press is queued, so that the request is answered at once even when the press
// waits for the agent (the exit question), and a button the mouse cannot reach presses nothing.
gboolean DoAction(AtkAction* action, gint index) {
  GtkWidget* widget = WidgetOf(action);
  if (index != 0 || !PressOf(widget) || !gtk_widget_get_visible(widget) || !gtk_widget_is_sensitive(widget))
    return FALSE;
  g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      +[](gpointer accessible) -> gboolean {
        // The widget may have gone meanwhile; its accessible then has none.
        if (const Press* press = PressOf(gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible)))) (*press)();
        return G_SOURCE_REMOVE;
      },
      g_object_ref(action), g_object_unref);
  return TRUE;
}

const gchar* ActionName(AtkAction* action, gint index) {
  return index == 0 && PressOf(WidgetOf(action)) ? kClickAction : nullptr;
}

void ActionInit(AtkActionIface* iface) {
  iface->get_n_actions = CountActions;
  iface->do_action = DoAction;
  iface->get_name = ActionName;
}

void NameAfterTitle(AtkObject* accessible, Gtk::Window& window) {
  const Glib::ustring title = window.get_title();
  atk_object_set_name(accessible, title.c_str());
}

}  // namespace

AccessibleControl::AccessibleControl(Gtk::Container& widget, const ControlDesign& design,
                                     std::function<void()> press)
    : widget_(widget) {
  if (design.accessibleRole == AccessibleRole::Default && design.accessibleName.empty()) return;
  // Before the widget's accessible is made: the boxes' class gets the type that can act.
  gtk_widget_class_set_accessible_type(GTK_WIDGET_GET_CLASS(widget.gobj()),
                                       tavro_control_accessible_get_type());
  AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(widget.gobj()));
  switch (design.accessibleRole) {
    case AccessibleRole::Default:
      break;
    case AccessibleRole::PushButton:
      atk_object_set_role(accessible, ATK_ROLE_PUSH_BUTTON);
      g_object_set_data_full(G_OBJECT(widget.gobj()), kPressKey, new Press(std::move(press)),
                             [](gpointer p) { delete static_cast<Press*>(p); });
      break;
    case AccessibleRole::TitleBar:
      atk_object_set_role(accessible, ATK_ROLE_TITLE_BAR);
      if (auto* window = dynamic_cast<Gtk::Window*>(widget.get_toplevel())) {
        NameAfterTitle(accessible, *window);
        titleChanged_ = window->property_title().signal_changed().connect(
            [accessible, window] { NameAfterTitle(accessible, *window); });
      }
      break;
  }
  if (!design.accessibleName.empty()) atk_object_set_name(accessible, design.accessibleName.c_str());
}

AccessibleControl::~AccessibleControl() {
  titleChanged_.disconnect();
  g_object_set_data(G_OBJECT(widget_.gobj()), kPressKey, nullptr);
}

}  // namespace tavro::platform::gtk
