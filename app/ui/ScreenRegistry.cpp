#include "app/ui/ScreenRegistry.h"

#include <map>

namespace zvt {

namespace {

std::map<std::string, ScreenFactory>& factories() {
  static std::map<std::string, ScreenFactory> table;
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
