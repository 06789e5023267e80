// Small pictures the service serves itself for every picture address of its data.
#pragma once

#include <string>

namespace zvt::service {

// A PNG of `size` x `size` pixels in one colour derived from `name`, so that different
// pictures look different and the same name always gives the same bytes.
std::string solidPng(const std::string& name, unsigned size = 60);

}  // namespace zvt::service
