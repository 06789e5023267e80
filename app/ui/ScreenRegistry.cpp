#include "app/ui/ScreenRegistry.h"

#include <map>

namespace zvt {

namespace detail {
// PlaceholderScreens.cpp: one factory per row of its table.
void addPlaceholderScreens(std::map<std::string, ScreenFactory>& table);
}  // namespace detail

namespace {

std::map<std::string, ScreenFactory>& factories() {
  // The placeholders go in first, so that a real class registered later replaces its own.
  static std::map<std::string, ScreenFactory> table = [] {
    std::map<std::string, ScreenFactory> made;
    detail::addPlaceholderScreens(made);
    return made;
  }();
  return table;
}

}  // namespace

void registerScreenClass(const std::string& name, ScreenFactory factory) {
  if (factory) {
    factories().insert_or_assign(name, std::move(factory));
  } else {
    factories().erase(name);
  }
}

bool isScreenClassRegistered(const std::string& name) { return factories().count(name) != 0; }

std::shared_ptr<UIViewController> makeScreen(const std::string& name) {
  auto& table = factories();
  auto found = table.find(name);
  return found == table.end() ? nullptr : found->second();
}

}  // namespace zvt
