// Web views against the bare engine.
//
// web/load/<side>: one load of the same page (a 6 KB HTML text with Chinese and Latin text, a
// table and a style sheet, given as a string with the base URL http://127.0.0.1/) until the page
// has finished loading. `ours` is a UIWebView (its delegate hears did-finish; GLib's context runs
// through the main run loop, WebKit's paints become the layer's contents); `webkitgtk` is a bare
// WebKitWebView in a GtkOffscreenWindow of the same pixels with the same settings (the page
// zoomed by the screen's scale, as ours draws it at the screen's pixels; hardware acceleration
// off), whose load-changed signal ends the wait, driven by
// g_main_context_iteration. Each side's view is made (and its web process started) before the
// timed loop. Ours is in a shown window, so that the display passes copy its paints into the
// layer as on a screen (the counter `paints_per_load`).
//
// web/memory3/<side>: three views of the page open at once, loaded; the counter `pss_mib` is the
// proportional set size summed over this process and every process it started (web, network),
// read from /proc/<pid>/smaps_rollup. Ours share one web process and one ephemeral session; the
// bare views use the engine's default context (a web process per view). Each memory case runs
// once, in a fresh process of its own (the program runs itself again), so that neither side
// counts what the other left behind.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/support/ProcessCPU.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebView.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace {

std::string page() {
  std::string html =
      "<html><head><meta charset='utf-8'><title>返利</title><style>body{font:15px sans-serif;margin:8px}"
      "td{border:1px solid #ccc;padding:4px}.p{color:#f60}</style></head><body><h1>今日推荐 Today</h1><table>";
  for (int i = 0; html.size() < 6000; ++i) {
    html += "<tr><td>商品 " + std::to_string(i) + " 夏季新款连衣裙</td><td class=p>¥" + std::to_string(99 + i) +
            ".00</td><td>返 " + std::to_string(i % 9 + 1) + ".5%</td></tr>";
  }
  return html + "</table></body></html>";
}

class Finish : public UIWebViewDelegate {
 public:
  int finished = 0;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) override { ++finished; }
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) override {
    ++finished;
  }
};

bool display() {
  if (std::getenv("DISPLAY")) return true;
  return !zvt::test::privateDisplay().empty();
}

void measuredOursLoad(UIWebView& view, Finish& finish, const std::shared_ptr<NSString>& html,
                      const std::shared_ptr<NSURL>& base) {
  const int before = finish.finished;
  view.loadHTMLString(html, base);
  zvt::test::runMainLoopUntil([&] { return finish.finished > before; }, 30);
}

void BM_OursLoad(benchmark::State& state) {
  if (!display()) {
    state.SkipWithError("no X display");
    return;
  }
  // In a shown window, as a screen holds it: each paint's pixels reach the layer in the display
  // pass.
  auto window = UIWindow::make();
  window->makeKeyAndVisible();
  auto view = UIWebView::initWithFrame(CGRectMake(0, 64, 375, 603));
  window->addSubview(view);
  auto finish = std::make_shared<Finish>();
  view->setDelegate(finish);
  auto html = NSString::stringWithUTF8String(page());
  auto base = NSURL::URLWithString("http://127.0.0.1/");
  measuredOursLoad(*view, *finish, html, base);  // the web process starts
  const unsigned long paintsBefore = view->paintCount();
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) measuredOursLoad(*view, *finish, html, base);
  // Each paint is a copy of the page's pixels into the layer.
  state.counters["paints_per_load"] =
      benchmark::Counter(static_cast<double>(view->paintCount() - paintsBefore), benchmark::Counter::kAvgIterations);
}

struct Bare {
  GtkWidget* window;
  WebKitWebView* view;
  bool finished = false;

  explicit Bare(WebKitWebContext* context = nullptr) {
    view = WEBKIT_WEB_VIEW(context ? webkit_web_view_new_with_context(context) : webkit_web_view_new());
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view),
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    // The same pixels as ours: the page drawn at the screen's scale, its CSS pixels points.
    const double scale = std::max<CGFloat>(1, UIScreen::mainScreen()->scale());
    webkit_web_view_set_zoom_level(view, scale);
    window = gtk_offscreen_window_new();
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    gtk_widget_set_size_request(GTK_WIDGET(view), static_cast<int>(375 * scale), static_cast<int>(603 * scale));
    gtk_widget_show_all(window);
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                       if (event == WEBKIT_LOAD_FINISHED) static_cast<Bare*>(self)->finished = true;
                     }),
                     this);
  }
  ~Bare() { gtk_widget_destroy(window); }
};

void measuredBareLoad(Bare& bare, const std::string& html) {
  bare.finished = false;
  webkit_web_view_load_html(bare.view, html.c_str(), "http://127.0.0.1/");
  while (!bare.finished) g_main_context_iteration(nullptr, TRUE);
}

void BM_BareLoad(benchmark::State& state) {
  if (!display() || !gtk_init_check(nullptr, nullptr)) {
    state.SkipWithError("no X display");
    return;
  }
  Bare bare;
  const std::string html = page();
  measuredBareLoad(bare, html);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) measuredBareLoad(bare, html);
}

// --- memory ----------------------------------------------------------------------------------------

double pssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  double value = 0;
  while (in >> key) {
    if (key == "Pss:") {
      in >> value;
      return value;
    }
    in.ignore(1 << 12, '\n');
  }
  return 0;
}

// This process and every process below it.
double treePssMiB() {
  std::set<pid_t> tree{getpid()};
  for (bool grew = true; grew;) {
    grew = false;
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
      const pid_t pid = std::atoi(entry->d_name);
      if (pid <= 0 || tree.count(pid)) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const auto close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      char state = 0;
      pid_t parent = 0;
      rest >> state >> parent;
      if (tree.count(parent)) {
        tree.insert(pid);
        grew = true;
      }
    }
    closedir(proc);
  }
  double total = 0;
  for (pid_t pid : tree) total += pssKiB(pid);
  return total / 1024;
}

// Runs this program again for one memory case and reads the figure it prints.
double inFreshProcess(const char* which) {
  char path[4096] = {};
  if (readlink("/proc/self/exe", path, sizeof path - 1) <= 0) return 0;
  const std::string command = std::string(path) + " --memory-case=" + which;
  FILE* child = popen(command.c_str(), "r");
  if (!child) return 0;
  double mib = 0;
  if (std::fscanf(child, "%lf", &mib) != 1) mib = 0;
  pclose(child);
  return mib;
}

double oursMemory() {
  std::vector<std::shared_ptr<UIWebView>> views;
  auto finish = std::make_shared<Finish>();
  auto html = NSString::stringWithUTF8String(page());
  for (int i = 0; i < 3; ++i) {
    views.push_back(UIWebView::initWithFrame(CGRectMake(0, 0, 375, 603)));
    views.back()->setDelegate(finish);
    views.back()->loadHTMLString(html, NSURL::URLWithString("http://127.0.0.1/"));
  }
  zvt::test::runMainLoopUntil([&] { return finish->finished == 3; }, 60);
  zvt::test::runMainLoopUntil([] { return false; }, 0.5);  // paints settle
  return treePssMiB();
}

double bareMemory() {
  gtk_init_check(nullptr, nullptr);
  std::vector<std::unique_ptr<Bare>> views;
  const std::string html = page();
  for (int i = 0; i < 3; ++i) {
    views.push_back(std::make_unique<Bare>());
    webkit_web_view_load_html(views.back()->view, html.c_str(), "http://127.0.0.1/");
  }
  auto all = [&] {
    for (auto& v : views)
      if (!v->finished) return false;
    return true;
  };
  while (!all()) g_main_context_iteration(nullptr, TRUE);
  const gint64 settle = g_get_monotonic_time() + 500000;
  while (g_get_monotonic_time() < settle) g_main_context_iteration(nullptr, FALSE) || (g_usleep(10000), true);
  return treePssMiB();
}

void BM_Memory(benchmark::State& state, const char* which) {
  if (!display()) {
    state.SkipWithError("no X display");
    return;
  }
  double mib = 0;
  for (auto _ : state) mib = inFreshProcess(which);
  if (mib <= 0) state.SkipWithError("the measuring process gave no figure");
  state.counters["pss_mib"] = mib;
}

}  // namespace

BENCHMARK(BM_OursLoad)->Name("web/load/ours")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLoad)->Name("web/load/webkitgtk")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Memory, ours, "ours")->Name("web/memory3/ours")->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Memory, bare, "webkitgtk")
    ->Name("web/memory3/webkitgtk")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--memory-case=", 0) == 0) {
      if (!display()) return 1;
      const double mib = arg.substr(14) == "ours" ? oursMemory() : bareMemory();
      std::printf("%.1f\n", mib);
      return 0;
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
