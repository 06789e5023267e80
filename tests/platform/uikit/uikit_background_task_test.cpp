#include <gtest/gtest.h>

#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIDevice.h"

TEST(UIKitBackgroundTasks, IdentifiersAreDistinctAndEndOnce) {
  auto app = UIApplication::sharedApplication();
  size_t before = app->openBackgroundTaskCount();
  int expired = 0;
  auto a = app->beginBackgroundTaskWithExpirationHandler([&] { ++expired; });
  auto b = app->beginBackgroundTaskWithExpirationHandler(nullptr);
  EXPECT_NE(a, UIBackgroundTaskInvalid);
  EXPECT_NE(a, b);
  EXPECT_EQ(app->openBackgroundTaskCount(), before + 2);
  app->expireBackgroundTasks();
  EXPECT_EQ(expired, 1);
  app->endBackgroundTask(a);
  app->endBackgroundTask(a);
  app->endBackgroundTask(UIBackgroundTaskInvalid);
  app->endBackgroundTask(b);
  EXPECT_EQ(app->openBackgroundTaskCount(), before);
  app->expireBackgroundTasks();
  EXPECT_EQ(expired, 1) << "an ended task does not expire";
}

TEST(UIKitDeviceFacts, DefaultsAndOverrides) {
  auto device = UIDevice::currentDevice();
  EXPECT_EQ(device->model()->utf8(), "iPhone");
  device->setModel(NSString::stringWithUTF8String("iPad"));
  EXPECT_EQ(device->model()->utf8(), "iPad");
  device->setModel(nullptr);
  EXPECT_EQ(device->model()->utf8(), "iPhone");
}
