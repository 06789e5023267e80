// The cache database on a real SQLite file in a fresh sandbox home: the exact statements,
// insert/upsert/select order, nil round trips, refused names, list refreshes in one
// transaction, a file that cannot be opened, use from many threads, a damaged file and a
// busy one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>

#include "app/models/TZHeaderInfoModel.h"
#include "app/models/TZProductModel.h"
#include "app/storage/TZDBManager.h"
#include "foundation/sqlite/SQResultSet.h"
#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSLog.h"
#include "tests/support/TempHome.h"

namespace {

std::shared_ptr<TZHeaderInfoModel> item(const char* link, const char* name) {
  auto model = std::make_shared<TZHeaderInfoModel>();
  model->link = link ? NSString::stringWithUTF8String(link) : nullptr;
  model->name = name ? NSString::stringWithUTF8String(name) : nullptr;
  return model;
}

std::string text(const id& value) { return value ? value->description()->utf8() : "(nil)"; }

std::vector<std::string> links(const std::shared_ptr<NSArray>& list) {
  std::vector<std::string> result;
  for (const id& model : *list) result.push_back(text(std::static_pointer_cast<TZHeaderInfoModel>(model)->link));
  return result;
}

class TZDBManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = TZDBManager::sharedInstance();
    manager_->setDatabase(nullptr);  // the file of this test's home
  }
  void TearDown() override { manager_->setDatabase(nullptr); }

  // The schema text SQLite keeps for a table, read through a connection of its own.
  std::string storedSQL(const char* table) {
    auto db = SQDatabase::databaseWithPath(manager_->databaseFilePath());
    EXPECT_TRUE(db->open());
    auto sql = db->stringForQuery("select sql from sqlite_master where name = ?"_ns, NSString::stringWithUTF8String(table));
    db->close();
    return sql ? sql->utf8() : "";
  }

  zvt::test::TempHome home_;
  zvt::LogCapture log_;
  std::shared_ptr<TZDBManager> manager_;
  const std::shared_ptr<TZHeaderInfoModel> prototype_ = std::make_shared<TZHeaderInfoModel>();
};

TEST_F(TZDBManagerTest, SingletonPathAndDeclaredProperties) {
  EXPECT_EQ(TZDBManager::sharedInstance(), manager_);
  EXPECT_EQ(manager_->databaseFilePath()->utf8(), home_.pathFor("Documents/db.sqlite"));
  auto names = manager_->getAllProperties(prototype_);
  EXPECT_EQ(names->componentsJoinedByString(","_ns)->utf8(), "link,isShare,local,name,pic,shareText,shareTitle,icon,subName");
}

TEST_F(TZDBManagerTest, CreateAndInsertTextsAreExact) {
  // The statements as run (traced by the SQLite layer) and as SQLite keeps the schema (it
  // writes the leading keywords in capitals).
  manager_->creatDatabase();
  manager_->database()->setTraceExecution(true);
  ASSERT_TRUE(manager_->creatTable(prototype_, "_banner"_ns));
  ASSERT_TRUE(manager_->creatTable(prototype_, "_banner"_ns));  // exists: nothing to do
  const std::string columns =
      "(id INTEGER PRIMARY KEY,link TEXT,isShare TEXT,local TEXT,name TEXT,pic TEXT,shareText TEXT,shareTitle TEXT,"
      "icon TEXT,subName TEXT)";
  EXPECT_TRUE(log_.contains("create table TZHeaderInfoModel_banner" + columns));
  EXPECT_EQ(storedSQL("TZHeaderInfoModel_banner"), "CREATE TABLE TZHeaderInfoModel_banner" + columns);
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), "_nav"_ns));
  EXPECT_TRUE(log_.contains(
      "INSERT INTO TZHeaderInfoModel_nav (link,isShare,local,name,pic,shareText,shareTitle,icon,subName) VALUES "
      "(?,?,?,?,?,?,?,?,?)"));
  int creates = 0;
  for (const auto& line : log_.lines()) creates += line.find("create table TZHeaderInfoModel_banner") != std::string::npos;
  EXPECT_EQ(creates, 1);
  manager_->setDatabase(nullptr);
  // A nil suffix names the table by the class alone.
  ASSERT_TRUE(manager_->creatTable(prototype_, nullptr));
  EXPECT_NE(storedSQL("TZHeaderInfoModel"), "");
}

TEST_F(TZDBManagerTest, InsertUpsertAndSelectOrder) {
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("a", "一"), "_nav"_ns));
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("b", "二"), "_nav"_ns));
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("c", "三"), "_nav"_ns));
  auto list = manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns);
  ASSERT_TRUE(list);
  EXPECT_EQ(links(list), (std::vector<std::string>{"a", "b", "c"}));

  // The same link overwrites its row in place.
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("b", "贰"), "_nav"_ns));
  list = manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns);
  EXPECT_EQ(links(list), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(text(std::static_pointer_cast<TZHeaderInfoModel>(list->objectAtIndex(1))->name), "贰");

  // A keyed update and a keyed delete.
  auto changed = item("z", "新");
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(changed, "_nav"_ns, "name"_ns, "三"_ns));  // no row "z": insert
  auto keyed = item("a", "甲");
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(keyed, "_nav"_ns, "name"_ns, "一"_ns));
  ASSERT_TRUE(manager_->deleteModelInDatabase(prototype_, "_nav"_ns, "link"_ns, "c"_ns));
  list = manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns);
  EXPECT_EQ(links(list), (std::vector<std::string>{"a", "b", "z"}));
  EXPECT_EQ(text(std::static_pointer_cast<TZHeaderInfoModel>(list->objectAtIndex(0))->name), "甲");

  ASSERT_TRUE(manager_->deleteTable(prototype_, "_nav"_ns));
  EXPECT_EQ(storedSQL("TZHeaderInfoModel_nav"), "");
  EXPECT_TRUE(manager_->deleteTable(prototype_, "_nav"_ns));  // already gone
}

TEST_F(TZDBManagerTest, NilIsStoredAsNullAndNumbersAsText) {
  auto model = item("http://x/1", nullptr);
  model->local = 1_n;
  model->isShare = "none"_ns;  // a real "none" stays "none"
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(model, "_fixedBanner"_ns));
  auto list = manager_->selectModelArrayInDatabase(prototype_, "_fixedBanner"_ns);
  ASSERT_EQ(list->count(), 1u);
  auto back = std::static_pointer_cast<TZHeaderInfoModel>(list->objectAtIndex(0));
  EXPECT_FALSE(back->name);
  EXPECT_FALSE(back->pic);
  EXPECT_TRUE(zvt::isKind<NSString>(back->local));
  EXPECT_EQ(text(back->local), "1");
  EXPECT_EQ(text(back->isShare), "none");

  // Items without a link never match a stored row: each is a row of its own.
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item(nullptr, "p"), "_fixedBanner"_ns));
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item(nullptr, "q"), "_fixedBanner"_ns));
  EXPECT_EQ(manager_->selectModelArrayInDatabase(prototype_, "_fixedBanner"_ns)->count(), 3u);
}

TEST_F(TZDBManagerTest, AListNeverStoredIsEmptyAndLeavesItsTable) {
  auto list = manager_->selectModelArrayInDatabase(prototype_, "_middleBanner"_ns);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->count(), 0u);
  EXPECT_NE(storedSQL("TZHeaderInfoModel_middleBanner"), "");
  // A model object of another class than the static type is refused.
  std::shared_ptr<TZParentModel> erased = prototype_;
  EXPECT_FALSE(manager_->selectModelArrayInDatabase(erased, "_x"_ns));
}

TEST_F(TZDBManagerTest, BadIdentifiersAreRefusedBeforeAnySQL) {
  for (const char* suffix : {"_x; drop table y", "_a b", "-x", "_x\"", "_名"}) {
    EXPECT_FALSE(manager_->creatTable(prototype_, NSString::stringWithUTF8String(suffix))) << suffix;
    EXPECT_FALSE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), NSString::stringWithUTF8String(suffix))) << suffix;
    EXPECT_FALSE(manager_->selectModelArrayInDatabase(prototype_, NSString::stringWithUTF8String(suffix))) << suffix;
  }
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), "_nav"_ns));
  EXPECT_FALSE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), "_nav"_ns, "link = link or 1"_ns, "x"_ns));
  EXPECT_FALSE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), "_nav"_ns, "id"_ns, "1"_ns));
  EXPECT_FALSE(manager_->deleteModelInDatabase(prototype_, "_nav"_ns, "1 = 1 or link"_ns, "x"_ns));
  EXPECT_FALSE(manager_->deleteModelInDatabase(prototype_, "_nav"_ns, nullptr, "x"_ns));
  // Values are bound: quotes in a value are only text.
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("x'); drop table TZHeaderInfoModel_nav; --", "v"), "_nav"_ns));
  EXPECT_EQ(manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns)->count(), 2u);
}

TEST_F(TZDBManagerTest, ReplaceListIsOneTransactionAndKeepsSharedLinks) {
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("old", "旧"), "_banner"_ns));
  auto items = NSArray::make({item("same", "1"), item("same", "2"), item("other", "3")});
  ASSERT_TRUE(manager_->replaceList(prototype_, "_banner"_ns, items));
  auto list = manager_->selectModelArrayInDatabase(prototype_, "_banner"_ns);
  EXPECT_EQ(links(list), (std::vector<std::string>{"same", "same", "other"}));

  // An item of another class spoils the refresh: the stored list stays.
  auto mixed = NSArray::make({item("new", "x"), std::make_shared<TZProductModel>()});
  EXPECT_FALSE(manager_->replaceList(prototype_, "_banner"_ns, mixed));
  EXPECT_EQ(links(manager_->selectModelArrayInDatabase(prototype_, "_banner"_ns)),
            (std::vector<std::string>{"same", "same", "other"}));
  EXPECT_NE(storedSQL("TZHeaderInfoModel_banner").find("CREATE TABLE TZHeaderInfoModel_banner(id INTEGER PRIMARY KEY,link TEXT"),
            std::string::npos);
}

TEST_F(TZDBManagerTest, AFileThatCannotOpenFailsCleanlyAndTheNextCallRetries) {
  std::string folder = home_.pathFor("Documents/later");
  manager_->setDatabase(SQDatabase::databaseWithPath(NSString::stringWithUTF8String(folder + "/db.sqlite")));
  EXPECT_FALSE(manager_->creatTable(prototype_, "_nav"_ns));
  EXPECT_FALSE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), "_nav"_ns));
  EXPECT_FALSE(manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns));
  EXPECT_FALSE(manager_->database()->goodConnection());

  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  EXPECT_TRUE(manager_->insertAndUpdateModelToDatabase(item("a", "b"), "_nav"_ns));
  auto list = manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns);
  ASSERT_TRUE(list);
  EXPECT_EQ(links(list), std::vector<std::string>{"a"});
}

}  // namespace

namespace {

// Writes `bytes` over the whole file.
void overwrite(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(file);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

TEST_F(TZDBManagerTest, EightThreadsStoreEveryWrite) {
  constexpr int kThreads = 8;
  constexpr int kCalls = 50;
  std::vector<std::thread> threads;
  std::atomic<int> refused{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto manager = TZDBManager::sharedInstance();
      for (int i = 0; i < kCalls; ++i) {
        std::string link = std::to_string(t) + "-" + std::to_string(i);
        // Writers and readers of the same table, and a list refresh of another, interleaved.
        if (!manager->insertAndUpdateModelToDatabase(item(link.c_str(), "v"), "_nav"_ns)) ++refused;
        if (i % 5 == 0 && !manager->selectModelArrayInDatabase(prototype_, "_nav"_ns)) ++refused;
        if (i % 10 == 0 && !manager->replaceList(prototype_, "_banner"_ns, NSArray::make({item(link.c_str(), "b")}))) ++refused;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(refused.load(), 0);
  auto list = manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns);
  ASSERT_TRUE(list);
  std::set<std::string> stored;
  for (const auto& link : links(list)) stored.insert(link);
  EXPECT_EQ(list->count(), size_t{kThreads * kCalls});
  EXPECT_EQ(stored.size(), size_t{kThreads * kCalls});
  EXPECT_EQ(manager_->selectModelArrayInDatabase(prototype_, "_banner"_ns)->count(), 1u);
}

TEST_F(TZDBManagerTest, ADamagedFileIsMovedAsideAndTheNextCallWorks) {
  const std::string path = manager_->databaseFilePath()->utf8();
  struct Damage {
    const char* what;
    std::function<void()> apply;
  };
  const std::vector<Damage> damages = {
      {"garbage", [&] { overwrite(path, std::string(8192, 'x')); }},
      {"a valid header over garbage pages",
       [&] { overwrite(path, std::string("SQLite format 3", 16) + std::string(4080, '\x5a')); }},
  };
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"insert", [&] { return manager_->insertAndUpdateModelToDatabase(item("after", "1"), "_nav"_ns); }},
      {"select", [&] { return manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns) != nullptr; }},
      {"create", [&] { return manager_->creatTable(prototype_, "_nav"_ns); }},
      {"drop", [&] { return manager_->deleteTable(prototype_, "_nav"_ns); }},
      {"delete", [&] { return manager_->deleteModelInDatabase(prototype_, "_nav"_ns, "link"_ns, "x"_ns); }},
      {"refresh", [&] { return manager_->replaceList(prototype_, "_nav"_ns, NSArray::make({item("after", "1")})); }},
  };
  for (const auto& damage : damages) {
    for (const auto& [name, call] : calls) {
      SCOPED_TRACE(std::string(damage.what) + ", then " + name);
      ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("before", "0"), "_nav"_ns));
      damage.apply();
      log_.clear();
      EXPECT_TRUE(call());
      EXPECT_TRUE(exists(path + ".damaged"));
      EXPECT_TRUE(log_.contains("moved aside")) << "the recovery is logged";
      // The fresh file serves every later call; what the damaged one held is gone.
      ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("later", "2"), "_nav"_ns));
      auto list = manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns);
      ASSERT_TRUE(list);
      auto stored = links(list);
      EXPECT_EQ(std::count(stored.begin(), stored.end(), "before"), 0);
      EXPECT_EQ(std::count(stored.begin(), stored.end(), "later"), 1);
      ASSERT_TRUE(manager_->deleteTable(prototype_, "_nav"_ns));
    }
  }
}

TEST_F(TZDBManagerTest, ABusyFileIsReportedAsAFailureAndKeptInPlace) {
  ASSERT_TRUE(manager_->insertAndUpdateModelToDatabase(item("kept", "1"), "_nav"_ns));
  manager_->database()->setMaxBusyRetryTimeInterval(0);  // fail at once instead of waiting
  auto holder = SQDatabase::databaseWithPath(manager_->databaseFilePath());
  ASSERT_TRUE(holder->open());
  ASSERT_TRUE(holder->executeUpdate("begin exclusive transaction"_ns));
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"create", [&] { return manager_->creatTable(prototype_, "_other"_ns); }},
      {"insert", [&] { return manager_->insertAndUpdateModelToDatabase(item("new", "1"), "_nav"_ns); }},
      {"delete", [&] { return manager_->deleteModelInDatabase(prototype_, "_nav"_ns, "link"_ns, "kept"_ns); }},
      {"drop", [&] { return manager_->deleteTable(prototype_, "_nav"_ns); }},
      {"drop a missing table", [&] { return manager_->deleteTable(prototype_, "_missing"_ns); }},
      {"select", [&] { return manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns) != nullptr; }},
      {"refresh", [&] { return manager_->replaceList(prototype_, "_nav"_ns, NSArray::array()); }},
  };
  for (const auto& [name, call] : calls) EXPECT_FALSE(call()) << name;
  ASSERT_TRUE(holder->executeUpdate("rollback"_ns));
  holder->close();
  EXPECT_FALSE(exists(manager_->databaseFilePath()->utf8() + ".damaged")) << "a busy file is not damaged";
  EXPECT_EQ(links(manager_->selectModelArrayInDatabase(prototype_, "_nav"_ns)), std::vector<std::string>{"kept"});
}

}  // namespace
