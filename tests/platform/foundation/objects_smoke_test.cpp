#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"

TEST(ObjectsSmoke, BuildsAndDescribes) {
  auto array = NSArray::make({"a"_ns, 1_n, NSDictionary::make({{"k"_ns, "v w"_ns}})});
  EXPECT_EQ(array->description()->utf8(), "(\n    a,\n    1,\n        {\n        k = \"v w\";\n    }\n)");
  EXPECT_EQ(NSString::stringWithFormat("%@ %d %s", nullptr, 5, "x")->utf8(), "(null) 5 x");
}
