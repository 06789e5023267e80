#include "platform/uikit/Device.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/graphics/UIScreen.h"
#include "platform/quartzcore/CAAnimation.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UITextInput.h"

namespace zvt::ui {

namespace {

constexpr NSTimeInterval kPress = 0.05;
constexpr NSTimeInterval kBetweenTaps = 0.1;
constexpr NSTimeInterval kStep = 1.0 / 60;
constexpr NSTimeInterval kTapCountInterval = 0.35;
constexpr CGFloat kTapCountDistance = 45;

// The Unicode scalars of UTF-8 text, each as its own UTF-8 text.
std::vector<std::string> scalars(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    n = std::min(n, text.size() - i);
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

// The view and what holds it, up to its window.
std::vector<std::shared_ptr<UIView>> chainToWindow(std::shared_ptr<UIView> view) {
  std::vector<std::shared_ptr<UIView>> out;
  for (; view; view = view->superview()) out.push_back(view);
  return out;
}

// Whether `a` is drawn before `b`, so lies behind it or holds it: windows in their order,
// views in theirs within the tree.
bool paintedBefore(const std::shared_ptr<UIView>& a, const std::shared_ptr<UIView>& b) {
  auto upA = chainToWindow(a), upB = chainToWindow(b);
  if (upA.back() != upB.back()) {
    auto windows = UIApplication::sharedApplication()->windows();
    auto place = [&](const std::shared_ptr<UIView>& root) {
      return std::find_if(windows.begin(), windows.end(), [&](const auto& w) { return w == root; }) - windows.begin();
    };
    return place(upA.back()) < place(upB.back());
  }
  // Down from the shared root to where the two paths part.
  auto ia = upA.rbegin(), ib = upB.rbegin();
  std::shared_ptr<UIView> parent;
  while (ia != upA.rend() && ib != upB.rend() && *ia == *ib) parent = *ia++, ++ib;
  if (ia == upA.rend()) return ib != upB.rend();  // a holds b
  if (ib == upB.rend()) return false;             // b holds a
  auto siblings = parent->subviews();
  return std::find(siblings.begin(), siblings.end(), *ia) < std::find(siblings.begin(), siblings.end(), *ib);
}

// Whether a tap on the view does something by design: it, or what holds it, is a control, a
// row or item of a list that can be selected, or has a single-tap recogniser.
bool takesTaps(const std::shared_ptr<UIView>& view) {
  for (const auto& v : chainToWindow(view)) {
    if (dynamic_cast<UIControl*>(v.get())) return true;
    if (auto cell = std::dynamic_pointer_cast<UITableViewCell>(v)) {
      if (auto table = cell->tableView(); table && table->allowsSelection()) return true;
    }
    if (dynamic_cast<UICollectionViewCell*>(v.get())) {
      for (auto up = v->superview(); up; up = up->superview())
        if (auto list = std::dynamic_pointer_cast<UICollectionView>(up)) {
          if (list->allowsSelection()) return true;
          break;
        }
    }
    for (const auto& recognizer : v->gestureRecognizers()) {
      auto tap = std::dynamic_pointer_cast<UITapGestureRecognizer>(recognizer);
      if (tap && tap->isEnabled() && tap->numberOfTapsRequired() == 1) return true;
    }
  }
  return false;
}

}  // namespace

Device& Device::shared() {
  static auto* device = new Device();
  return *device;
}

// --- screen -----------------------------------------------------------------------------------

void Device::useScreen(const ScreenModel& model) { useScreen(model.points, model.scale); }

void Device::useScreen(CGSize points, CGFloat scale) {
  auto screen = UIScreen::mainScreen();
  screen->setBounds(CGRect{CGPointZero, points});
  screen->setScale(scale);
}

bool Device::useScreenNamed(const std::string& name) {
  std::string size = name;
  CGFloat scale = 0;
  if (auto at = name.find('@'); at != std::string::npos) {
    size = name.substr(0, at);
    std::string s = name.substr(at + 1);
    if (s == "2" || s == "2x") scale = 2;
    else if (s == "3" || s == "3x") scale = 3;
    else return false;
  }
  for (const auto& model : kScreenModels) {
    if (size != model.name) continue;
    useScreen(model.points, scale > 0 ? scale : model.scale);
    return true;
  }
  return false;
}

bool Device::useScreenFromEnvironment() {
  const char* name = std::getenv("ZVT_SCREEN");
  return name && useScreenNamed(name);
}

// --- time -------------------------------------------------------------------------------------

void Device::wait(NSTimeInterval seconds) {
  assertMainThread("Device::wait");
  if (seconds > 0) {
    auto clock = Clock::current();
    if (auto* virtualClock = dynamic_cast<VirtualClock*>(clock.get())) {
      virtualClock->advanceBy(seconds);
    } else {
      NSRunLoop::mainRunLoop()->runUntilDate(Clock::now() + seconds);
    }
  }
  settle();
}

void Device::settle() {
  assertMainThread("Device::settle");
  auto loop = NSRunLoop::mainRunLoop();
  for (int i = 0; i < 1000; ++i) {
    bool more = zvt::mainQueueHasBlocks();
    loop->runModeWithin(NSDefaultRunLoopMode, 0);
    if (!more && !zvt::mainQueueHasBlocks()) break;
  }
}

// --- fingers ----------------------------------------------------------------------------------

std::shared_ptr<UIWindow> Device::windowAt(CGPoint screenPoint) {
  auto windows = UIApplication::sharedApplication()->windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    auto& window = *it;
    if (window->isHidden()) continue;
    if (window->hitTest(window->convertPointFromScreen(screenPoint), nullptr)) return window;
  }
  return nullptr;
}

std::shared_ptr<UIView> Device::hitViewAt(CGPoint screenPoint) {
  auto window = windowAt(screenPoint);
  return window ? window->hitTest(window->convertPointFromScreen(screenPoint), nullptr) : nullptr;
}

void Device::send(const std::vector<std::shared_ptr<UITouch>>& changed) {
  double now = CACurrentMediaTime();
  std::vector<std::shared_ptr<UITouch>> all;
  for (auto& active : fingers_) {
    if (std::find(changed.begin(), changed.end(), active.touch) == changed.end()) {
      active.touch->setPhase(UITouchPhaseStationary);
    } else {
      active.touch->setTimestamp(now);
    }
    all.push_back(active.touch);
  }
  auto event = std::make_shared<UIEvent>(UIEventTypeTouches, now, std::move(all));
  UIApplication::sharedApplication()->sendEvent(event);
  fingers_.erase(std::remove_if(fingers_.begin(), fingers_.end(),
                                [](const Active& a) {
                                  return a.touch->phase() == UITouchPhaseEnded ||
                                         a.touch->phase() == UITouchPhaseCancelled;
                                }),
                 fingers_.end());
  settle();
}

std::vector<Device::Finger> Device::touchDown(const std::vector<CGPoint>& points) {
  assertMainThread("Device::touchDown");
  std::vector<Finger> out;
  std::vector<std::shared_ptr<UITouch>> changed;
  double now = CACurrentMediaTime();
  for (CGPoint point : points) {
    auto touch = std::make_shared<UITouch>();
    auto window = windowAt(point);
    touch->setWindow(window);
    touch->setInitialLocationInWindow(window ? window->convertPointFromScreen(point) : point);
    touch->setPhase(UITouchPhaseBegan);
    bool again = lastTapTime_ >= 0 && lastTapClock_.lock() == Clock::current() && now >= lastTapTime_ &&
                 now - lastTapTime_ <= kTapCountInterval &&
                 std::hypot(point.x - lastTapPoint_.x, point.y - lastTapPoint_.y) <= kTapCountDistance;
    touch->setTapCount(again ? lastTapCount_ + 1 : 1);
    Finger finger = nextFinger_++;
    fingers_.push_back(Active{finger, touch});
    changed.push_back(touch);
    out.push_back(finger);
  }
  send(changed);
  return out;
}

Device::Finger Device::touchDown(CGPoint point) { return touchDown(std::vector<CGPoint>{point}).front(); }

void Device::touchMove(const std::vector<Finger>& fingers, const std::vector<CGPoint>& points) {
  assertMainThread("Device::touchMove");
  std::vector<std::shared_ptr<UITouch>> changed;
  for (size_t i = 0; i < fingers.size() && i < points.size(); ++i) {
    for (auto& active : fingers_) {
      if (active.finger != fingers[i]) continue;
      auto window = active.touch->window();
      active.touch->setLocationInWindow(window ? window->convertPointFromScreen(points[i]) : points[i]);
      active.touch->setPhase(UITouchPhaseMoved);
      changed.push_back(active.touch);
    }
  }
  if (!changed.empty()) send(changed);
}

void Device::touchMove(Finger finger, CGPoint point) { touchMove(std::vector<Finger>{finger}, std::vector<CGPoint>{point}); }

void Device::touchUp(const std::vector<Finger>& fingers) {
  assertMainThread("Device::touchUp");
  std::vector<std::shared_ptr<UITouch>> changed;
  for (Finger f : fingers) {
    for (auto& active : fingers_) {
      if (active.finger != f) continue;
      active.touch->setPhase(UITouchPhaseEnded);
      changed.push_back(active.touch);
      auto window = active.touch->window();
      CGPoint p = active.touch->locationInWindow();
      lastTapPoint_ = window ? CGPointApplyAffineTransform(p, window->transformToScreen()) : p;
      lastTapTime_ = CACurrentMediaTime();
      lastTapClock_ = Clock::current();
      lastTapCount_ = active.touch->tapCount();
    }
  }
  if (!changed.empty()) send(changed);
}

void Device::touchUp(Finger finger) { touchUp(std::vector<Finger>{finger}); }

void Device::touchCancelAll() {
  assertMainThread("Device::touchCancelAll");
  std::vector<std::shared_ptr<UITouch>> changed;
  for (auto& active : fingers_) {
    active.touch->setPhase(UITouchPhaseCancelled);
    changed.push_back(active.touch);
  }
  if (!changed.empty()) send(changed);
}

// --- gestures ---------------------------------------------------------------------------------

void Device::tap(CGPoint point, int taps) {
  for (int i = 0; i < taps; ++i) {
    if (i > 0) wait(kBetweenTaps);
    Finger f = touchDown(point);
    wait(kPress);
    touchUp(f);
  }
}

bool Device::reaches(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& hit) {
  if (!hit || !view) return false;
  if (hit == view || hit->isDescendantOfView(view)) return true;
  // A view that takes no touches (a label) passes them to what holds it, or to what lies
  // beneath it (a title drawn over its button); a view in front that takes them covers it.
  return !view->isUserInteractionEnabled() && paintedBefore(hit, view);
}

bool Device::tapView(const std::shared_ptr<UIView>& view) {
  CGRect visible = visibleRect(view);
  if (CGRectIsEmpty(visible)) return false;
  CGPoint centre = CGPointMake(CGRectGetMidX(visible), CGRectGetMidY(visible));
  bool reached = reaches(view, hitViewAt(centre));
  tap(centre);
  return reached;
}

std::shared_ptr<UIView> Device::viewToTap(const std::string& text, std::string* why) const {
  // Whole texts first, so that "签到" means the view reading "签到" rather than one reading
  // "已签到"; a part only when no view shows the whole text.
  auto shown = viewsWithText(text);
  if (shown.empty()) shown = viewsContainingText(text);
  if (shown.empty()) {
    if (why) *why = "nothing visible shows \"" + text + "\" to tap";
    return nullptr;
  }
  struct Candidate {
    std::shared_ptr<UIView> view;
    std::shared_ptr<UIView> hit;
    bool reached;
    bool control;
  };
  std::vector<Candidate> candidates;
  bool anyControl = false;
  for (auto& view : shown) {
    CGRect visible = visibleRect(view);
    CGPoint centre = CGPointMake(CGRectGetMidX(visible), CGRectGetMidY(visible));
    auto hit = hitViewAt(centre);
    Candidate c{view, hit, reaches(view, hit), false};
    // A text over a control (a label in a row, a title over its button) is the control to a
    // person.
    c.control = takesTaps(view) || (c.reached && takesTaps(c.hit));
    anyControl = anyControl || c.control;
    candidates.push_back(std::move(c));
  }
  // A person means the control when one shows the text: a title or caption reading the same
  // is not what they tap, and a control under a passing overlay is still what they mean.
  const Candidate* covered = nullptr;
  for (const auto& c : candidates) {
    if (anyControl && !c.control) continue;
    if (c.reached) return c.view;
    if (!covered) covered = &c;
  }
  if (why) {
    if (covered->hit && paintedBefore(covered->view, covered->hit)) {
      // Named by its kind and the first text seen on it (its own, or a title laid over it), as a
      // person would point at it.
      const auto& hit = covered->hit;
      std::string name = hit->className();
      if (auto colons = name.rfind("::"); colons != std::string::npos) name = name.substr(colons + 2);
      const CGRect area = visibleRect(hit);
      std::string shows;
      for (auto& view : visibleViews()) {
        const bool on = view == hit || view->isDescendantOfView(hit) ||
                        (paintedBefore(hit, view) && !CGRectIsEmpty(CGRectIntersection(visibleRect(view), area)));
        if (!on) continue;
        for (const auto& t : view->visibleTexts())
          if (t && shows.empty()) shows = " showing \"" + t->utf8() + "\"";
        if (!shows.empty()) break;
      }
      *why = "\"" + text + "\" is covered by the " + name + shows;
    } else {
      *why = "\"" + text + "\" takes no touches where it shows";
    }
  }
  return nullptr;
}

bool Device::tapText(const std::string& text, std::string* why) {
  auto view = viewToTap(text, why);
  return view && tapView(view);
}

void Device::longPress(CGPoint point, NSTimeInterval duration) {
  Finger f = touchDown(point);
  wait(duration);
  touchUp(f);
}

void Device::drag(CGPoint from, CGPoint to, NSTimeInterval duration) {
  Finger f = touchDown(from);
  int steps = std::max(1, static_cast<int>(std::lround(duration / kStep)));
  for (int i = 1; i <= steps; ++i) {
    wait(duration / steps);
    CGFloat t = static_cast<CGFloat>(i) / steps;
    touchMove(f, CGPointMake(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t));
  }
  touchUp(f);
}

void Device::swipe(CGPoint from, CGPoint to, NSTimeInterval duration) { drag(from, to, duration); }

// --- keyboard ---------------------------------------------------------------------------------

std::shared_ptr<UIResponder> Device::typingTarget() const {
  auto responder = UIResponder::currentFirstResponder();
  return dynamic_cast<UIKeyInput*>(responder.get()) ? responder : nullptr;
}

bool Device::typeText(const std::string& text) {
  assertMainThread("Device::typeText");
  auto& keyboard = Keyboard::shared();
  for (const auto& character : scalars(text)) {
    auto target = typingTarget();
    if (!target) return false;
    if (character == "\n" ? !keyboard.hasReturnKey() : !keyboard.canType(character)) return false;
    dynamic_cast<UIKeyInput&>(*target).insertText(NSString::stringWithUTF8String(character));
    settle();
  }
  return typingTarget() != nullptr || text.empty() || text.back() == '\n';
}

bool Device::paste(const std::string& text) {
  assertMainThread("Device::paste");
  auto target = typingTarget();
  if (!target) return false;
  dynamic_cast<UIKeyInput&>(*target).insertText(NSString::stringWithUTF8String(text));
  settle();
  return true;
}

bool Device::pressReturn() {
  assertMainThread("Device::pressReturn");
  auto target = typingTarget();
  if (!target || !Keyboard::shared().hasReturnKey()) return false;
  dynamic_cast<UIKeyInput&>(*target).insertText("\n"_ns);
  settle();
  return true;
}

bool Device::pressDelete() {
  assertMainThread("Device::pressDelete");
  auto target = typingTarget();
  if (!target || !Keyboard::shared().isShown()) return false;
  dynamic_cast<UIKeyInput&>(*target).deleteBackward();
  settle();
  return true;
}

// --- finding ----------------------------------------------------------------------------------

CGRect Device::visibleRect(const std::shared_ptr<UIView>& view) {
  if (!view) return CGRectNull;
  auto window = view->window();
  if (!window || isSeeThrough(window->isHidden(), window->alpha())) return CGRectNull;
  for (auto v = view; v; v = v->superview())
    if (isSeeThrough(v->isHidden(), v->alpha())) return CGRectNull;
  CGRect rect = view->convertRectToView(view->bounds(), nullptr);
  CGRect clip = window->bounds();
  for (auto a = view->superview(); a; a = a->superview())
    if (a->clipsToBounds()) clip = CGRectIntersection(clip, a->convertRectToView(a->bounds(), nullptr));
  CGRect seen = CGRectIntersection(rect, clip);
  if (CGRectIsEmpty(seen)) return CGRectNull;
  return CGRectApplyAffineTransform(seen, window->transformToScreen());
}

bool Device::isVisible(const std::shared_ptr<UIView>& view) { return !CGRectIsEmpty(visibleRect(view)); }

std::vector<std::shared_ptr<UIView>> Device::visibleViews() const {
  std::vector<std::shared_ptr<UIView>> out;
  std::function<void(const std::shared_ptr<UIView>&)> visit = [&](const std::shared_ptr<UIView>& v) {
    if (isSeeThrough(v->isHidden(), v->alpha())) return;
    auto children = v->subviews();
    for (auto it = children.rbegin(); it != children.rend(); ++it) visit(*it);
    if (isVisible(v)) out.push_back(v);
  };
  auto windows = UIApplication::sharedApplication()->windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (!(*it)->isHidden()) visit(*it);
  return out;
}

std::vector<std::shared_ptr<UIView>> Device::viewsWithText(const std::string& text) const {
  std::vector<std::shared_ptr<UIView>> out;
  for (auto& view : visibleViews())
    for (const auto& t : view->visibleTexts())
      if (t && t->utf8() == text) {
        out.push_back(view);
        break;
      }
  return out;
}

std::vector<std::shared_ptr<UIView>> Device::viewsContainingText(const std::string& text) const {
  std::vector<std::shared_ptr<UIView>> out;
  for (auto& view : visibleViews())
    for (const auto& t : view->visibleTexts())
      if (t && t->utf8().find(text) != std::string::npos) {
        out.push_back(view);
        break;
      }
  return out;
}

std::shared_ptr<UIView> Device::viewWithText(const std::string& text) const {
  auto views = viewsWithText(text);
  return views.empty() ? nullptr : views.front();
}

std::shared_ptr<UIView> Device::viewWithAccessibilityIdentifier(const std::string& identifier) const {
  for (auto& view : visibleViews())
    if (view->accessibilityIdentifier() && view->accessibilityIdentifier()->utf8() == identifier) return view;
  return nullptr;
}

std::vector<std::string> Device::visibleTexts() const {
  std::vector<std::string> out;
  for (auto& view : visibleViews())
    for (const auto& t : view->visibleTexts())
      if (t) out.push_back(t->utf8());
  return out;
}

}  // namespace zvt::ui
