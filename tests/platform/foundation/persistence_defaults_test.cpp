// User defaults: typed access, persistence across processes, crash safety, threads.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "tests/support/TempHome.h"

extern char** environ;

namespace {

std::shared_ptr<NSString> ns(const std::string& s) { return NSString::stringWithUTF8String(std::string_view(s)); }

// Starts this test program again, running only the given (disabled) test.
pid_t spawnSelf(const std::string& test) {
  char exe[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", exe, PATH_MAX);
  if (n <= 0) return -1;
  exe[n] = '\0';
  std::string filter = "--gtest_filter=" + test;
  std::string disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {exe, filter.data(), disabled.data(), nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, exe, nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

class PersistenceDefaults : public ::testing::Test {
 protected:
  zvt::test::TempHome home;
};

TEST_F(PersistenceDefaults, TypedValuesAndConversions) {
  auto d = NSUserDefaults::standardUserDefaults();
  EXPECT_FALSE(d->objectForKey("isLogin"_ns));
  EXPECT_FALSE(d->boolForKey("isLogin"_ns));
  EXPECT_EQ(d->integerForKey("isRemind"_ns), 0);

  d->setBool(true, "isLogin"_ns);
  d->setInteger(1, "isRemind"_ns);
  d->setDouble(54.5, "HomeHeaderH"_ns);
  d->setObject(NSDictionary::make({{"userName"_ns, "13800000000"_ns}, {"password"_ns, "secret"_ns}}), "loginInfo"_ns);
  d->setObject(NSArray::make({"2-10"_ns, "2-11"_ns}), "signData"_ns);
  d->setObject(NSData::dataWithString("\x01\x02"), "blob"_ns);
  d->setObject("2026-01-01"_ns, "ADShowTime"_ns);
  d->setObject("42"_ns, "numericText"_ns);
  d->setObject("YES"_ns, "yesText"_ns);
  d->setObject("NO"_ns, "noText"_ns);

  EXPECT_TRUE(d->boolForKey("isLogin"_ns));
  EXPECT_EQ(d->integerForKey("isRemind"_ns), 1);
  EXPECT_TRUE(d->boolForKey("isRemind"_ns));
  EXPECT_DOUBLE_EQ(d->doubleForKey("HomeHeaderH"_ns), 54.5);
  EXPECT_FLOAT_EQ(d->floatForKey("HomeHeaderH"_ns), 54.5f);
  EXPECT_EQ(d->integerForKey("HomeHeaderH"_ns), 54);
  EXPECT_TRUE(zvt::objectsEqual(d->dictionaryForKey("loginInfo"_ns)->objectForKey("userName"_ns), "13800000000"_ns));
  EXPECT_EQ(d->arrayForKey("signData"_ns)->count(), 2u);
  EXPECT_TRUE(d->stringArrayForKey("signData"_ns));
  EXPECT_EQ(d->dataForKey("blob"_ns)->length(), 2u);
  // Typed getters answer nil for values of another type, and convert numbers and strings.
  EXPECT_FALSE(d->arrayForKey("loginInfo"_ns));
  EXPECT_FALSE(d->dictionaryForKey("signData"_ns));
  EXPECT_FALSE(d->dataForKey("ADShowTime"_ns));
  EXPECT_FALSE(d->stringForKey("signData"_ns));
  EXPECT_EQ(d->stringForKey("isRemind"_ns)->utf8(), "1");
  EXPECT_EQ(d->integerForKey("numericText"_ns), 42);
  EXPECT_TRUE(d->boolForKey("yesText"_ns));
  EXPECT_FALSE(d->boolForKey("noText"_ns));

  // nil removes, as does removeObjectForKey.
  d->setObject(nullptr, "ADShowTime"_ns);
  EXPECT_FALSE(d->objectForKey("ADShowTime"_ns));
  d->removeObjectForKey("signData"_ns);
  EXPECT_FALSE(d->objectForKey("signData"_ns));
  EXPECT_TRUE(d->synchronize());
}

TEST_F(PersistenceDefaults, StoredValuesAreCopiesAndOnlyPropertyListsAreAccepted) {
  auto d = NSUserDefaults::standardUserDefaults();
  auto info = NSMutableDictionary::make({{"jifen"_ns, NSNumber::numberWithInt(10)}});
  d->setObject(info, "info"_ns);
  info->setObject(NSNumber::numberWithInt(99), "jifen"_ns);
  auto stored = d->dictionaryForKey("info"_ns);
  EXPECT_EQ(zvt::as<NSNumber>(stored->objectForKey("jifen"_ns))->intValue(), 10);
  EXPECT_FALSE(stored->isKindOfClass<NSMutableDictionary>());
  EXPECT_THROW(d->setObject(NSNull::null(), "bad"_ns), NSException);
  EXPECT_THROW(d->setObject(NSArray::make({NSNull::null()}), "bad"_ns), NSException);
  EXPECT_FALSE(d->objectForKey("bad"_ns));
}

TEST_F(PersistenceDefaults, RegisteredDefaultsAreAFallbackNeverWritten) {
  auto d = NSUserDefaults::standardUserDefaults();
  d->registerDefaults(NSDictionary::make({{"isRemind"_ns, NSNumber::numberWithInt(1)}, {"name"_ns, "x"_ns}}));
  EXPECT_EQ(d->integerForKey("isRemind"_ns), 1);
  d->setInteger(0, "isRemind"_ns);
  EXPECT_EQ(d->integerForKey("isRemind"_ns), 0);
  d->removeObjectForKey("isRemind"_ns);
  EXPECT_EQ(d->integerForKey("isRemind"_ns), 1);
  EXPECT_EQ(d->dictionaryRepresentation()->count(), 2u);
  NSUserDefaults reread(d->persistentStorePath()->utf8());
  EXPECT_FALSE(reread.objectForKey("name"_ns));
}

TEST_F(PersistenceDefaults, FileIsAPrivatePropertyListInPreferences) {
  auto d = NSUserDefaults::standardUserDefaults();
  mode_t old = ::umask(0);
  d->setObject("v"_ns, "k"_ns);
  ::umask(old);
  std::string path = d->persistentStorePath()->utf8();
  EXPECT_EQ(path.rfind(home.path() + "/Library/Preferences/", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 6), ".plist");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  auto text = NSFileManager::defaultManager()->contentsAtPath(ns(path));
  EXPECT_NE(text->view().find("<key>k</key>"), std::string_view::npos);
  EXPECT_NE(text->view().find("<string>v</string>"), std::string_view::npos);
}

TEST_F(PersistenceDefaults, TheBundleIdentifierNamesTheFile) {
  zvt::test::TempBundle bundle;
  bundle.writeFile("Info.plist",
                   "<plist><dict><key>CFBundleIdentifier</key><string>com.zavelto.app</string></dict></plist>");
  auto d = NSUserDefaults::standardUserDefaults();
  EXPECT_EQ(d->persistentStorePath()->utf8(), home.path() + "/Library/Preferences/com.zavelto.app.plist");
  d->setBool(true, "isLogin"_ns);
  auto suite = NSUserDefaults::initWithSuiteName("stats"_ns);
  EXPECT_EQ(suite->persistentStorePath()->utf8(), home.path() + "/Library/Preferences/stats.plist");
  EXPECT_FALSE(suite->objectForKey("isLogin"_ns));
}

TEST_F(PersistenceDefaults, ANewHomeGetsNewDefaults) {
  NSUserDefaults::standardUserDefaults()->setObject("outer"_ns, "k"_ns);
  {
    zvt::test::TempHome inner;
    EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->objectForKey("k"_ns));
  }
  EXPECT_TRUE(zvt::objectsEqual(NSUserDefaults::standardUserDefaults()->objectForKey("k"_ns), "outer"_ns));
}

TEST_F(PersistenceDefaults, DamagedFileIsReportedAndIgnored) {
  auto path = NSUserDefaults::standardUserDefaults()->persistentStorePath()->utf8();
  NSUserDefaults::resetStandardUserDefaults();
  std::ofstream(path) << "<plist><dict><key>half";
  zvt::LogCapture log;
  auto d = NSUserDefaults::standardUserDefaults();
  EXPECT_FALSE(d->objectForKey("half"_ns));
  EXPECT_TRUE(log.contains("unreadable"));
  d->setInteger(5, "n"_ns);  // the next write replaces the damaged file
  EXPECT_EQ(NSUserDefaults(path).integerForKey("n"_ns), 5);
}

// ---- a second process reads what the first wrote, and the first sees its answer

TEST(PersistenceDefaultsChild, DISABLED_ReadBackAndAnswer) {
  auto d = NSUserDefaults::standardUserDefaults();
  EXPECT_TRUE(d->boolForKey("isLogin"_ns));
  EXPECT_EQ(d->integerForKey("count"_ns), -7);
  EXPECT_DOUBLE_EQ(d->doubleForKey("ratio"_ns), 0.25);
  EXPECT_TRUE(zvt::objectsEqual(d->stringForKey("name"_ns), NSString::stringWithUTF8String("集分宝 😀")));
  EXPECT_TRUE(zvt::objectsEqual(d->objectForKey("saveDate"_ns), NSDate::dateWithTimeIntervalSince1970(1767225600)));
  auto login = d->dictionaryForKey("loginInfo"_ns);
  ASSERT_TRUE(login);
  EXPECT_TRUE(zvt::objectsEqual(login->objectForKey("webId"_ns), "abc"_ns));
  d->setObject("from the child"_ns, "answer"_ns);
}

TEST_F(PersistenceDefaults, ASecondProcessReadsWhatTheFirstWrote) {
  auto d = NSUserDefaults::standardUserDefaults();
  d->setBool(true, "isLogin"_ns);
  d->setInteger(-7, "count"_ns);
  d->setDouble(0.25, "ratio"_ns);
  d->setObject(NSString::stringWithUTF8String("集分宝 😀"), "name"_ns);
  d->setObject(NSDate::dateWithTimeIntervalSince1970(1767225600), "saveDate"_ns);
  d->setObject(NSDictionary::make({{"web"_ns, "taobao"_ns}, {"webId"_ns, "abc"_ns}}), "loginInfo"_ns);
  ASSERT_TRUE(d->synchronize());

  pid_t pid = spawnSelf("PersistenceDefaultsChild.DISABLED_ReadBackAndAnswer");
  ASSERT_GT(pid, 0);
  int status = exitStatus(pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child process found other values";

  EXPECT_FALSE(d->objectForKey("answer"_ns));
  EXPECT_TRUE(d->synchronize());  // picks up the other process's change
  EXPECT_TRUE(zvt::objectsEqual(d->objectForKey("answer"_ns), "from the child"_ns));
}

// ---- a writer killed at any moment never leaves a damaged file

constexpr size_t kPayload = 256 * 1024;

TEST(PersistenceDefaultsChild, DISABLED_WriteForever) {
  auto d = NSUserDefaults::standardUserDefaults();
  for (int i = 0;; ++i) {
    std::string payload(kPayload, char('a' + i % 26));
    d->setObject(NSDictionary::make({{"counter"_ns, NSNumber::numberWithInt(i)}, {"payload"_ns, ns(payload)}}),
                 "state"_ns);
  }
}

TEST_F(PersistenceDefaults, AWriterKilledMidWriteNeverLeavesADamagedFile) {
  std::string path = NSUserDefaults::standardUserDefaults()->persistentStorePath()->utf8();
  std::mt19937 random(12345);
  int lastSeen = -1;
  for (int round = 0; round < 4; ++round) {
    pid_t pid = spawnSelf("PersistenceDefaultsChild.DISABLED_WriteForever");
    ASSERT_GT(pid, 0);
    // Let the writer get going (a real process, not a timer, is being waited for)...
    int seen = -1;
    for (int tries = 0; tries < 20000 && seen <= lastSeen + 2; ++tries) {
      ::usleep(1000);
      zvt::LogCapture quiet;
      if (auto state = NSUserDefaults(path).dictionaryForKey("state"_ns))
        seen = zvt::as<NSNumber>(state->objectForKey("counter"_ns))->intValue();
    }
    ASSERT_GT(seen, lastSeen) << "the writer never wrote";
    // ...then kill it somewhere inside a write.
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 5000)(random));
    ::kill(pid, SIGKILL);
    int status = exitStatus(pid);
    EXPECT_TRUE(WIFSIGNALED(status));

    zvt::LogCapture log;
    NSUserDefaults after(path);
    EXPECT_TRUE(log.lines().empty()) << "the file did not read back cleanly";
    auto state = after.dictionaryForKey("state"_ns);
    ASSERT_TRUE(state);
    int counter = zvt::as<NSNumber>(state->objectForKey("counter"_ns))->intValue();
    auto payload = zvt::as<NSString>(state->objectForKey("payload"_ns));
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->utf8(), std::string(kPayload, char('a' + counter % 26)));
    EXPECT_GE(counter, 0);
    lastSeen = -1;  // every writer starts again from 0
  }
}

// ---- threads

TEST_F(PersistenceDefaults, ManyThreadsWriteAndReadSafely) {
  auto d = NSUserDefaults::standardUserDefaults();
  constexpr int kThreads = 8, kKeys = 20;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([d, t] {
      for (int k = 0; k < kKeys; ++k) {
        auto key = NSString::stringWithFormat("t%d-k%d", t, k);
        d->setInteger(t * 1000 + k, key);
        EXPECT_EQ(d->integerForKey(key), t * 1000 + k);
        d->boolForKey("shared"_ns);
        d->setBool(k % 2 == 0, "shared"_ns);
      }
    });
  for (auto& thread : threads) thread.join();
  NSUserDefaults reread(d->persistentStorePath()->utf8());
  for (int t = 0; t < kThreads; ++t)
    for (int k = 0; k < kKeys; ++k)
      EXPECT_EQ(reread.integerForKey(NSString::stringWithFormat("t%d-k%d", t, k)), t * 1000 + k);
}

}  // namespace
