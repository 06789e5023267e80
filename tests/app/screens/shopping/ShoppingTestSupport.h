#pragma once
// Helpers of the shopping screen tests: one sandbox home and one running local service for the
// whole test program (the shared image cache settles its directory once, on first use).

#include <string>

#include "tests/support/ServiceProcess.h"

namespace zvt::test {

// The service the tests' pictures and lists come from.
ServiceProcess& shoppingService();
// The service's address followed by `path`.
std::string serviceURL(const std::string& path);

}  // namespace zvt::test
