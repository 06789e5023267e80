#include "platform/foundation/NSEnumerator.h"

#include "platform/foundation/NSArray.h"

std::shared_ptr<NSArray> NSEnumerator::allObjects() {
  std::vector<id> rest;
  while (id object = nextObject()) rest.push_back(std::move(object));
  return NSArray::arrayWithObjects(std::move(rest));
}
