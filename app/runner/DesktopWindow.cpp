#include "app/runner/DesktopWindow.h"

#include <gtk/gtk.h>

#include <cmath>
#include <string>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/graphics/UIScreen.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/GLibMainContext.h"
#include "platform/uikit/ScreenRenderer.h"

namespace zvt::runner {

namespace {

constexpr double kSlowdown = 10;
constexpr double kWheelStep = 40;       // points a notch of the wheel scrolls
constexpr double kWheelRelease = 0.15;  // seconds after the last turn the wheel's finger lifts

struct Desktop {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  GtkIMContext* im = nullptr;
  bool quit = false;
  bool firstFrame = false;
  std::function<void()> started;
  std::function<void()> painted;
  // The mouse's finger.
  bool pressed = false;
  zvt::ui::Device::Finger finger = 0;
  // The wheel's finger.
  bool wheeling = false;
  zvt::ui::Device::Finger wheelFinger = 0;
  CGPoint wheelPoint{};
  std::shared_ptr<NSTimer> wheelTimer;
};

Desktop* desktop = nullptr;

zvt::ui::Device& device() { return zvt::ui::Device::shared(); }

void setTitle() {
  const bool slow = zvt::ca::animationSlowdown() > 1;
  gtk_window_set_title(GTK_WINDOW(desktop->window), slow ? "Zavelto (slow animations)" : "Zavelto");
}

void endWheel() {
  if (desktop->wheelTimer) desktop->wheelTimer->invalidate();
  desktop->wheelTimer = nullptr;
  if (!desktop->wheeling) return;
  desktop->wheeling = false;
  device().touchUp(desktop->wheelFinger);
}

gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer) {
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  if (!renderer.surface()) renderer.render();
  cairo_surface_t* surface = renderer.surface();
  if (!surface) return FALSE;
  const double k = 1.0 / renderer.scale();
  cairo_scale(cr, k, k);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  // Both run after GLib's dispatch of this paint has returned (the paint is flushed to the display).
  if (!desktop->firstFrame) {
    desktop->firstFrame = true;
    if (desktop->started) NSRunLoop::mainRunLoop()->performBlock(desktop->started);
  }
  if (desktop->painted)
    NSRunLoop::mainRunLoop()->performBlock([] {
      // The display server has taken the paint in by the time `painted` says so.
      gdk_display_sync(gdk_display_get_default());
      if (desktop && desktop->painted) desktop->painted();
    });
  return TRUE;
}

gboolean onPress(GtkWidget* widget, GdkEventButton* event, gpointer) {
  gtk_widget_grab_focus(widget);
  if (event->button != 1 || event->type != GDK_BUTTON_PRESS || desktop->pressed) return TRUE;
  desktop->pressed = true;
  desktop->finger = device().touchDown(CGPointMake(event->x, event->y));
  return TRUE;
}

gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer) {
  if (desktop->pressed) device().touchMove(desktop->finger, CGPointMake(event->x, event->y));
  return TRUE;
}

gboolean onRelease(GtkWidget*, GdkEventButton* event, gpointer) {
  if (event->button != 1 || !desktop->pressed) return TRUE;
  device().touchMove(desktop->finger, CGPointMake(event->x, event->y));
  desktop->pressed = false;
  device().touchUp(desktop->finger);
  return TRUE;
}

gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer) {
  double dx = 0, dy = 0;
  switch (event->direction) {
    case GDK_SCROLL_UP: dy = -1; break;
    case GDK_SCROLL_DOWN: dy = 1; break;
    case GDK_SCROLL_LEFT: dx = -1; break;
    case GDK_SCROLL_RIGHT: dx = 1; break;
    case GDK_SCROLL_SMOOTH: gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), &dx, &dy); break;
  }
  if (dx == 0 && dy == 0) return TRUE;
  if (!desktop->wheeling) {
    desktop->wheeling = true;
    desktop->wheelPoint = CGPointMake(event->x, event->y);
    desktop->wheelFinger = device().touchDown(desktop->wheelPoint);
  }
  // Turning the wheel down shows what lies below: the finger moves up.
  desktop->wheelPoint.x -= dx * kWheelStep;
  desktop->wheelPoint.y -= dy * kWheelStep;
  device().touchMove(desktop->wheelFinger, desktop->wheelPoint);
  if (desktop->wheelTimer) desktop->wheelTimer->invalidate();
  desktop->wheelTimer = NSTimer::timerWithTimeInterval(kWheelRelease, false, [](const std::shared_ptr<NSTimer>&) {
    desktop->wheelTimer = nullptr;
    endWheel();
  });
  NSRunLoop::mainRunLoop()->addTimer(desktop->wheelTimer, NSRunLoopCommonModes);
  return TRUE;
}

gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer) {
  if ((event->state & GDK_CONTROL_MASK) && (event->keyval == GDK_KEY_t || event->keyval == GDK_KEY_T)) {
    zvt::ca::setAnimationSlowdown(zvt::ca::animationSlowdown() > 1 ? 1 : kSlowdown);
    setTitle();
    return TRUE;
  }
  if (gtk_im_context_filter_keypress(desktop->im, event)) return TRUE;
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: device().pressReturn(); return TRUE;
    case GDK_KEY_BackSpace: device().pressDelete(); return TRUE;
    default: return FALSE;
  }
}

gboolean onKeyRelease(GtkWidget*, GdkEventKey* event, gpointer) {
  return gtk_im_context_filter_keypress(desktop->im, event);
}

void onCommit(GtkIMContext*, const gchar* text, gpointer) {
  if (text && *text) device().typeText(text);
}

// The window's focus is the application's activity, as a device's foreground is: losing it
// resigns active, getting it back becomes active again.
gboolean onFocusIn(GtkWidget*, GdkEvent*, gpointer) {
  gtk_im_context_focus_in(desktop->im);
  UIApplication::sharedApplication()->becomeActive();
  return FALSE;
}

gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer) {
  gtk_im_context_focus_out(desktop->im);
  UIApplication::sharedApplication()->resignActive();
  return FALSE;
}

void onRealize(GtkWidget* widget, gpointer) { gtk_im_context_set_client_window(desktop->im, gtk_widget_get_window(widget)); }

gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
  closeDesktopWindow();
  return TRUE;  // the window goes when the run ends
}

}  // namespace

bool openDesktop(int* argc, char*** argv) {
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) return false;
  return gtk_init_check(argc, argv);
}

void closeDesktopWindow() {
  if (!desktop) return;
  desktop->quit = true;
  NSRunLoop::mainRunLoop()->stop();
}

int runDesktopWindow(const std::shared_ptr<UIApplication>& application, const std::function<void()>& started,
                     const std::function<void()>& painted) {
  zvt::ui::joinGLibMainContext();
  Desktop state;
  desktop = &state;
  state.started = started;
  state.painted = painted;
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  state.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  setTitle();
  gtk_window_set_resizable(GTK_WINDOW(state.window), FALSE);
  state.area = gtk_drawing_area_new();
  gtk_widget_set_size_request(state.area, static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height)));
  gtk_widget_set_can_focus(state.area, TRUE);
  gtk_widget_add_events(state.area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                        GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                        GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK);
  gtk_container_add(GTK_CONTAINER(state.window), state.area);
  state.im = gtk_im_multicontext_new();
  g_signal_connect(state.im, "commit", G_CALLBACK(onCommit), nullptr);
  g_signal_connect(state.area, "draw", G_CALLBACK(onDraw), nullptr);
  g_signal_connect(state.area, "button-press-event", G_CALLBACK(onPress), nullptr);
  g_signal_connect(state.area, "motion-notify-event", G_CALLBACK(onMotion), nullptr);
  g_signal_connect(state.area, "button-release-event", G_CALLBACK(onRelease), nullptr);
  g_signal_connect(state.area, "scroll-event", G_CALLBACK(onScroll), nullptr);
  g_signal_connect(state.area, "key-press-event", G_CALLBACK(onKey), nullptr);
  g_signal_connect(state.area, "key-release-event", G_CALLBACK(onKeyRelease), nullptr);
  g_signal_connect(state.area, "focus-in-event", G_CALLBACK(onFocusIn), nullptr);
  g_signal_connect(state.area, "focus-out-event", G_CALLBACK(onFocusOut), nullptr);
  g_signal_connect(state.area, "realize", G_CALLBACK(onRealize), nullptr);
  g_signal_connect(state.window, "delete-event", G_CALLBACK(onDelete), nullptr);

  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.setFrameSink([](const std::vector<zvt::ca::PixelRect>& rects) {
    const double scale = zvt::ui::ScreenRenderer::shared().scale();
    for (const auto& r : rects) {
      const int x = static_cast<int>(std::floor(r.x / scale)), y = static_cast<int>(std::floor(r.y / scale));
      const int w = static_cast<int>(std::ceil((r.x + r.width) / scale)) - x;
      const int h = static_cast<int>(std::ceil((r.y + r.height) / scale)) - y;
      gtk_widget_queue_draw_area(desktop->area, x, y, w, h);
    }
  });
  renderer.setLive(true);
  renderer.invalidate();
  gtk_widget_show_all(state.window);
  gtk_widget_grab_focus(state.area);

  auto loop = NSRunLoop::mainRunLoop();
  while (!state.quit) loop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);

  endWheel();
  application->terminate();
  renderer.setFrameSink(nullptr);
  renderer.setLive(false);
  gtk_widget_destroy(state.window);
  g_object_unref(state.im);
  desktop = nullptr;
  return 0;
}

}  // namespace zvt::runner
