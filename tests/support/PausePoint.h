// Holding a thread at a pause point (platform/foundation/PausePoints.h) while the test takes
// another thread's step inside the window there.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/foundation/PausePoints.h"

namespace zvt::test {

// Holds the first thread that reaches the point for the object, from construction until
// letGo() or the end of the scope. One at a time.
class HoldAt {
 public:
  HoldAt(pause::Point point, const void* object) {
    auto& s = state();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      s.point = point;
      s.object = object;
      s.armed = true;
      s.held = false;
      ++s.generation;
    }
    pause::handler.store(&reached, std::memory_order_release);
  }
  ~HoldAt() {
    letGo();
    pause::handler.store(nullptr, std::memory_order_release);
  }
  HoldAt(const HoldAt&) = delete;
  HoldAt& operator=(const HoldAt&) = delete;

  // Whether a thread is held there now (waiting at most `seconds` of real time for one).
  bool waitUntilHeld(double seconds = 10) {
    auto& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return s.held; });
  }
  void letGo() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.armed = false;
    s.released = s.generation;
    s.changed.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    pause::Point point{};
    const void* object = nullptr;
    bool armed = false;
    bool held = false;
    uint64_t generation = 0;
    uint64_t released = 0;
  };
  // Outlives every hold: a thread let go may wake after its hold has gone.
  static State& state() {
    static State* s = new State;
    return *s;
  }
  static void reached(pause::Point point, const void* object) {
    auto& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.armed || point != s.point || object != s.object) return;
    s.armed = false;
    s.held = true;
    const uint64_t mine = s.generation;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.released >= mine; });
  }
};

}  // namespace zvt::test
