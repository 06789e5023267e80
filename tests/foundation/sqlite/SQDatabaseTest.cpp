// The connection: opening and closing, binding, the statement cache, updates and queries,
// transactions, SQL functions, format queries and the schema additions.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>

#include "foundation/sqlite/SQDatabase.h"
#include "foundation/sqlite/SQResultSet.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "tests/foundation/sqlite/SQTestSupport.h"

using sqtest::LogCapture;
using sqtest::ns;
using sqtest::ScratchDirectory;

namespace {

std::shared_ptr<SQDatabase> openMemory() {
  auto db = SQDatabase::databaseWithPath(nullptr);
  EXPECT_TRUE(db->open());
  return db;
}

int statementCount(sqlite3* handle) {
  int count = 0;
  for (sqlite3_stmt* s = sqlite3_next_stmt(handle, nullptr); s; s = sqlite3_next_stmt(handle, s)) ++count;
  return count;
}

std::string runShell(const std::string& file, const std::string& sql) {
  std::string command = "sqlite3 -batch -separator '|' '" + file + "' \"" + sql + "\" 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "<popen failed>";
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(SQDatabaseOpen, PathsGiveMemoryTemporaryOrFileDatabases) {
  auto memory = SQDatabase::databaseWithPath(nullptr);
  EXPECT_STREQ(memory->sqlitePath(), ":memory:");
  EXPECT_EQ(memory->databasePath(), nullptr);
  EXPECT_FALSE(memory->goodConnection());
  ASSERT_TRUE(memory->open());
  EXPECT_TRUE(memory->goodConnection());
  EXPECT_TRUE(memory->open());  // already open: YES without reopening
  EXPECT_TRUE(memory->close());
  EXPECT_EQ(memory->sqliteHandle(), nullptr);
  EXPECT_TRUE(memory->close());  // closing twice is harmless

  auto temporary = SQDatabase::databaseWithPath(""_ns);
  EXPECT_STREQ(temporary->sqlitePath(), "");
  ASSERT_TRUE(temporary->open());
  EXPECT_TRUE(temporary->executeUpdate("create table t(a)"_ns));

  ScratchDirectory dir;
  auto file = SQDatabase::databaseWithPath(dir.nsFile("a.db"));
  ASSERT_TRUE(file->openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, "unix"_ns));
  EXPECT_TRUE(std::filesystem::exists(dir.file("a.db")));
  EXPECT_TRUE(file->close());

  auto init = SQDatabase::make();
  EXPECT_STREQ(init->sqlitePath(), ":memory:");
}

TEST(SQDatabaseOpen, VersionsAndLibraryFacts) {
  EXPECT_TRUE(SQDatabase::SQDBUserVersion()->isEqualToString("2.6"));
  EXPECT_EQ(SQDatabase::SQDBVersion(), 0x260u);
  EXPECT_TRUE(SQDatabase::sqliteLibVersion()->isEqualToString(sqlite3_libversion()));
  EXPECT_TRUE(SQDatabase::isSQLiteThreadSafe());
}

TEST(SQDatabaseOpen, AFailedOpenLeavesNothingAttachedAndTheNextOpenTriesAgain) {
  ScratchDirectory dir;
  std::string folder = dir.file("later");
  auto db = SQDatabase::databaseWithPath(ns(folder + "/db.sqlite"));
  LogCapture log;
  EXPECT_FALSE(db->open());
  EXPECT_TRUE(log.contains("error opening!: 14"));
  EXPECT_EQ(db->sqliteHandle(), nullptr);
  EXPECT_FALSE(db->databaseExists());
  EXPECT_EQ(db->executeQuery("select 1"_ns), nullptr);
  EXPECT_TRUE(log.contains("is not open."));

  std::filesystem::create_directory(folder);
  ASSERT_TRUE(db->open());
  EXPECT_TRUE(db->executeUpdate("create table t(a)"_ns));
}

TEST(SQDatabaseOpen, ReadOnlyAndMissingFilesGiveCleanErrors) {
  ScratchDirectory dir;
  auto path = dir.nsFile("ro.db");
  {
    auto writer = SQDatabase::databaseWithPath(path);
    ASSERT_TRUE(writer->open());
    ASSERT_TRUE(writer->executeUpdate("create table t(a)"_ns));
    ASSERT_TRUE(writer->executeUpdate("insert into t values (?)"_ns, 7));
  }
  auto reader = SQDatabase::databaseWithPath(path);
  ASSERT_TRUE(reader->openWithFlags(SQLITE_OPEN_READONLY));
  LogCapture log;
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(reader->executeUpdateWithErrorAndBindings("insert into t values (?)"_ns, &error, 8));
  EXPECT_EQ(reader->lastErrorCode(), SQLITE_READONLY);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code(), SQLITE_READONLY);
  EXPECT_TRUE(error->domain()->isEqualToString("SQDatabase"));
  EXPECT_TRUE(log.contains("Unknown error calling sqlite3_step (8"));
  EXPECT_EQ(reader->intForQuery("select a from t"_ns), 7);

  auto missing = SQDatabase::databaseWithPath(dir.nsFile("missing.db"));
  EXPECT_FALSE(missing->openWithFlags(SQLITE_OPEN_READONLY));
  EXPECT_EQ(missing->sqliteHandle(), nullptr);

  if (geteuid() != 0) {
    // The file mode only binds a user without the power to ignore it.
    chmod(dir.file("ro.db").c_str(), 0444);
    auto plain = SQDatabase::databaseWithPath(path);
    ASSERT_TRUE(plain->open());
    EXPECT_FALSE(plain->executeUpdate("insert into t values (1)"_ns));
    EXPECT_EQ(plain->lastErrorCode(), SQLITE_READONLY);
  }
}

TEST(SQDatabaseOpen, ACorruptedFileGivesErrorsNotACrash) {
  ScratchDirectory dir;
  std::string file = dir.file("corrupt.db");
  {
    auto db = SQDatabase::databaseWithPath(ns(file));
    ASSERT_TRUE(db->open());
    ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
    ASSERT_TRUE(db->executeUpdate("insert into t values ('x')"_ns));
  }
  {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(0);
    stream.write("this is no database at all", 26);
  }
  auto db = SQDatabase::databaseWithPath(ns(file));
  LogCapture log;
  ASSERT_TRUE(db->open());  // SQLite reads the header lazily
  EXPECT_EQ(db->executeQuery("select * from t"_ns), nullptr);
  EXPECT_EQ(db->lastErrorCode(), SQLITE_NOTADB);
  EXPECT_TRUE(db->hadError());
  EXPECT_FALSE(db->executeUpdate("insert into t values (1)"_ns));
  EXPECT_FALSE(db->tableExists("t"_ns));
  EXPECT_FALSE(db->goodConnection());
  EXPECT_EQ(db->lastError()->code(), SQLITE_NOTADB);
  EXPECT_TRUE(log.contains("DB Error: 26"));
  EXPECT_TRUE(db->close());
}

TEST(SQDatabaseOpen, CloseThatSQLiteRefusesAnswersNoAndKeepsTheConnection) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
  sqlite3* destination = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &destination), SQLITE_OK);
  sqlite3_backup* backup = sqlite3_backup_init(destination, "main", db->sqliteHandle(), "main");
  ASSERT_NE(backup, nullptr);

  LogCapture log;
  EXPECT_FALSE(db->close());
  EXPECT_NE(db->sqliteHandle(), nullptr);
  EXPECT_TRUE(log.contains("error closing!: 5"));
  EXPECT_EQ(db->intForQuery("select count(*) from t"_ns), 1);  // still usable

  EXPECT_EQ(sqlite3_backup_step(backup, -1), SQLITE_DONE);
  EXPECT_EQ(sqlite3_backup_finish(backup), SQLITE_OK);
  EXPECT_TRUE(db->close());
  EXPECT_EQ(db->sqliteHandle(), nullptr);
  sqlite3_close(destination);
}

TEST(SQDatabaseOpen, CloseFinalizesStatementsPreparedOnTheRawHandle) {
  auto db = openMemory();
  sqlite3_stmt* leaked = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db->sqliteHandle(), "select 1", -1, &leaked, nullptr), SQLITE_OK);
  LogCapture log;
  EXPECT_TRUE(db->close());
  EXPECT_TRUE(log.contains("Closing leaked statement"));
  EXPECT_EQ(db->sqliteHandle(), nullptr);
}

TEST(SQDatabaseOpen, AStatementObjectHeldPastCloseIsNotFinalizedTwice) {
  std::shared_ptr<SQStatement> kept;
  {
    auto db = openMemory();
    auto rs = db->executeQuery("select 1"_ns);  // not cached
    ASSERT_NE(rs, nullptr);
    kept = rs->statement();
    rs->close();
    ASSERT_NE(kept->statement(), nullptr);
    LogCapture log;
    EXPECT_TRUE(db->close());  // SQLite still knows the statement: it is finalised here
    EXPECT_TRUE(log.contains("Closing leaked statement"));
  }
  kept->reset();
  kept->close();  // touches nothing that was freed (the address sanitizer would say so)
  EXPECT_EQ(kept->statement(), nullptr);
}

// ---------------------------------------------------------------------------------------------

TEST(SQDatabaseAppPattern, RoundTripsOnAFileAndTheShellReadsTheSameRows) {
  ScratchDirectory dir;
  std::string file = dir.file("db.sqlite");
  auto table = "TZHeaderInfoModel_banner"_ns;
  const std::vector<std::vector<std::string>> items = {
      {"http://a.example/1", "0", "0", "首页", "p1.png", "none", "none", "i1", "sub 1"},
      {"http://a.example/2", "1", "1", "淘宝回扣", "p2.png", "分享", "标题", "i2", "none"},
      {"http://a.example/3", "0", "1", "it's \"quoted\"", "p3.png", "s", "t", "i3", "sub|3"},
  };
  auto db = SQDatabase::databaseWithPath(ns(file));

  // Store the list as the cache database does: drop, create, insert in order, close.
  ASSERT_TRUE(db->open());
  db->setShouldCacheStatements(true);
  EXPECT_FALSE(db->tableExists(table));
  {
    LogCapture log;
    EXPECT_FALSE(db->executeUpdate("drop table TZHeaderInfoModel_banner"_ns));
    EXPECT_TRUE(log.contains("no such table: TZHeaderInfoModel_banner"));
  }
  ASSERT_TRUE(db->executeUpdate(
      "create table TZHeaderInfoModel_banner(id INTEGER PRIMARY KEY,link TEXT,isShare TEXT,local TEXT,name TEXT,"
      "pic TEXT,shareText TEXT,shareTitle TEXT,icon TEXT,subName TEXT)"_ns));
  EXPECT_TRUE(db->tableExists("tzheaderinfomodel_BANNER"_ns));
  auto insert =
      "INSERT INTO TZHeaderInfoModel_banner (link,isShare,local,name,pic,shareText,shareTitle,icon,subName) VALUES "
      "(?,?,?,?,?,?,?,?,?)"_ns;
  for (const auto& item : items) {
    auto values = NSMutableArray::array();
    for (const std::string& value : item) values->addObject(ns(value));
    ASSERT_TRUE(db->executeUpdateWithArgumentsInArray(insert, values));
  }
  EXPECT_TRUE(db->close());

  // Read it back the same way.
  ASSERT_TRUE(db->open());
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->tableExists(table));
  auto rows = db->executeQuery("select * from TZHeaderInfoModel_banner"_ns);
  ASSERT_NE(rows, nullptr);
  const char* columns[] = {"link", "isShare", "local", "name", "pic", "shareText", "shareTitle", "icon", "subName"};
  size_t row = 0;
  while (rows->next()) {
    ASSERT_LT(row, items.size());
    for (size_t c = 0; c < 9; ++c) {
      auto value = rows->stringForColumn(columns[c]);
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(value->utf8(), items[row][c]) << columns[c];
    }
    ++row;
  }
  EXPECT_EQ(row, items.size());
  EXPECT_TRUE(db->close());

  // The Debian shell reads the same rows from the file.
  std::string expected;
  for (const auto& item : items) expected += item[0] + "|" + item[3] + "|" + item[8] + "\n";
  EXPECT_EQ(runShell(file, "select link, name, subName from TZHeaderInfoModel_banner order by id"), expected);
}

// ---------------------------------------------------------------------------------------------

class SQDatabaseBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    db = openMemory();
    ASSERT_TRUE(db->executeUpdate("create table t(k integer primary key, v)"_ns));
  }
  // Inserts one value and answers the row's key.
  template <class Value>
  long long insert(const Value& value) {
    EXPECT_TRUE(db->executeUpdate("insert into t (v) values (?)"_ns, value));
    return db->lastInsertRowId();
  }
  std::string typeOf(long long key) { return db->stringForQuery("select typeof(v) from t where k = ?"_ns, key)->utf8(); }

  std::shared_ptr<SQDatabase> db;
};

TEST_F(SQDatabaseBinding, ObjectsBindByTheirKind) {
  long long nilKey = insert(nullptr);
  long long nullKey = insert(NSNull::null());
  long long emptyData = insert(NSData::data());
  long long data = insert(NSData::dataWithString(std::string_view("\x00\x01\xff", 3)));
  long long yes = insert(NSNumber::numberWithBool(true));
  long long big = insert(NSNumber::numberWithUnsignedLongLong((1ull << 63) + 5));
  long long single = insert(NSNumber::numberWithFloat(0.1f));
  long long real = insert(NSNumber::numberWithDouble(0.1));
  long long character = insert(NSNumber::numberWithChar(-3));
  long long unsignedInt = insert(NSNumber::numberWithUnsignedInt(4000000000u));
  long long other = insert(NSArray::make({"x"_ns}));

  EXPECT_EQ(typeOf(nilKey), "null");
  EXPECT_EQ(typeOf(nullKey), "null");
  EXPECT_EQ(typeOf(emptyData), "blob");  // empty, not NULL
  EXPECT_EQ(db->intForQuery("select length(v) from t where k = ?"_ns, emptyData), 0);
  EXPECT_EQ(typeOf(data), "blob");
  EXPECT_EQ(db->dataForQuery("select v from t where k = ?"_ns, data)->view(), std::string_view("\x00\x01\xff", 3));
  EXPECT_EQ(typeOf(yes), "integer");
  EXPECT_EQ(db->intForQuery("select v from t where k = ?"_ns, yes), 1);
  EXPECT_EQ(typeOf(big), "integer");
  auto rs = db->executeQuery("select v from t where k = ?"_ns, big);
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->unsignedLongLongIntForColumnIndex(0), (1ull << 63) + 5);
  rs->close();
  EXPECT_EQ(typeOf(single), "real");
  EXPECT_EQ(db->doubleForQuery("select v from t where k = ?"_ns, single), static_cast<double>(0.1f));
  EXPECT_EQ(db->doubleForQuery("select v from t where k = ?"_ns, real), 0.1);
  EXPECT_EQ(db->intForQuery("select v from t where k = ?"_ns, character), -3);
  EXPECT_EQ(db->longForQuery("select v from t where k = ?"_ns, unsignedInt), 4000000000L);
  EXPECT_EQ(typeOf(other), "text");
  EXPECT_TRUE(db->stringForQuery("select v from t where k = ?"_ns, other)->isEqualToString(
      NSArray::make({"x"_ns})->description()));
}

TEST_F(SQDatabaseBinding, ScalarsAndTextBindLikeTheirBoxedForms) {
  long long flag = insert(true);
  long long i = insert(-7);
  long long u64 = insert(std::numeric_limits<uint64_t>::max());
  long long f = insert(0.25f);
  long long d = insert(2.5);
  long long cstring = insert("plain");
  long long stdString = insert(std::string("std"));
  long long nulCString = insert(static_cast<const char*>(nullptr));
  EXPECT_EQ(db->intForQuery("select v from t where k = ?"_ns, flag), 1);
  EXPECT_EQ(db->intForQuery("select v from t where k = ?"_ns, i), -7);
  EXPECT_EQ(db->longForQuery("select v from t where k = ?"_ns, u64), -1);
  EXPECT_EQ(db->doubleForQuery("select v from t where k = ?"_ns, f), 0.25);
  EXPECT_EQ(db->doubleForQuery("select v from t where k = ?"_ns, d), 2.5);
  EXPECT_EQ(db->stringForQuery("select v from t where k = ?"_ns, cstring)->utf8(), "plain");
  EXPECT_EQ(db->stringForQuery("select v from t where k = ?"_ns, stdString)->utf8(), "std");
  EXPECT_EQ(typeOf(nulCString), "null");
}

TEST_F(SQDatabaseBinding, TextSurvivesExactlyAndIsCopiedWhenBound) {
  std::string withNul("a\0b", 3);
  long long cjk = insert("首页 淘宝回扣 我的"_ns);
  long long nul = insert(NSString::stringWithUTF8String(std::string_view(withNul)));
  EXPECT_EQ(db->stringForQuery("select v from t where k = ?"_ns, cjk)->utf8(), "首页 淘宝回扣 我的");
  EXPECT_EQ(db->intForQuery("select length(cast(v as blob)) from t where k = ?"_ns, nul), 3);
  EXPECT_EQ(db->stringForQuery("select v from t where k = ?"_ns, nul)->utf8(), withNul);

  // A query keeps stepping after the call that bound a temporary string has returned.
  ASSERT_TRUE(db->executeUpdate("insert into t (v) values ('needle')"_ns));
  auto rs = db->executeQuery("select k from t where v = ?"_ns, std::string("need") + "le");
  std::string clobber(64, 'x');  // reuses the freed temporary's memory
  ASSERT_NE(rs, nullptr);
  EXPECT_TRUE(rs->next());
  rs->close();
  auto temporary = db->executeQuery("select k from t where v = ?"_ns, ns(std::string("need") + "le"));
  ASSERT_NE(temporary, nullptr);
  EXPECT_TRUE(temporary->next());
  temporary->close();
}

TEST_F(SQDatabaseBinding, DatesBindAsSecondsOrThroughTheDateFormatter) {
  auto date = NSDate::dateWithTimeIntervalSince1970(1700000000.5);
  long long seconds = insert(date);
  EXPECT_EQ(typeOf(seconds), "real");
  EXPECT_EQ(db->doubleForQuery("select v from t where k = ?"_ns, seconds), 1700000000.5);
  EXPECT_EQ(db->dateForQuery("select v from t where k = ?"_ns, seconds)->timeIntervalSince1970(), 1700000000.5);
  EXPECT_FALSE(db->hasDateFormatter());

  db->setDateFormat(SQDatabase::storeableDateFormat("yyyy-MM-dd HH:mm:ss"_ns));
  EXPECT_TRUE(db->hasDateFormatter());
  long long text = insert(NSDate::dateWithTimeIntervalSince1970(1700000000));
  EXPECT_EQ(typeOf(text), "text");
  EXPECT_EQ(db->stringForQuery("select v from t where k = ?"_ns, text)->utf8(), "2023-11-14 22:13:20");
  auto rs = db->executeQuery("select v from t where k = ?"_ns, text);
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->dateForColumn("v")->timeIntervalSince1970(), 1700000000.0);
  EXPECT_EQ(rs->dateForColumnIndex(-1), nullptr);
  rs->close();
  EXPECT_TRUE(db->stringFromDate(NSDate::dateWithTimeIntervalSince1970(0))->isEqualToString("1970-01-01 00:00:00"));
  EXPECT_EQ(db->dateFromString("1970-01-02 00:00:00"_ns)->timeIntervalSince1970(), 86400.0);
  EXPECT_EQ(db->dateForQuery("select null"_ns), nullptr);
}

TEST_F(SQDatabaseBinding, ABindCountMismatchAnswersNoAndKeepsTheCachedStatementUsable) {
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table pair(a, b)"_ns));
  auto sql = "insert into pair (a, b) values (?, ?)"_ns;
  ASSERT_TRUE(db->executeUpdate(sql, 1, 2));

  LogCapture log;
  EXPECT_FALSE(db->executeUpdateWithArgumentsInArray(sql, NSArray::make({1_n})));
  EXPECT_TRUE(log.contains("Error: the bind count (1) is not correct for the # of variables in the query (2) ("
                           "insert into pair (a, b) values (?, ?)) (executeUpdate)"));
  EXPECT_FALSE(db->executeUpdate(sql, 1));
  EXPECT_FALSE(db->executeUpdate(sql, 1, 2, 3));  // a longer argument list is an error too
  EXPECT_TRUE(log.contains("Error: the bind count (3) is not correct"));
  EXPECT_EQ(db->executeQuery("select * from pair where a = ? and b = ?"_ns, 1), nullptr);
  EXPECT_TRUE(log.contains("Error: the bind count is not correct for the # of variables (executeQuery)"));

  // The cached statement still works, and an array's extra elements are ignored.
  EXPECT_TRUE(db->executeUpdate(sql, 3, 4));
  EXPECT_TRUE(db->executeUpdateWithArgumentsInArray(sql, NSArray::make({5_n, 6_n, 7_n})));
  EXPECT_EQ(db->intForQuery("select count(*) from pair"_ns), 3);
  EXPECT_EQ(db->intForQuery("select sum(b) from pair"_ns), 12);
  auto cached = db->cachedStatements();
  auto statements = zvt::as<NSArray>(cached->objectForKey(sql));
  ASSERT_NE(statements, nullptr);
  EXPECT_EQ(statements->count(), 1u);
  EXPECT_EQ(zvt::as<SQStatement>(statements->objectAtIndex(0))->useCount(), 3);
}

TEST_F(SQDatabaseBinding, NamedParametersBindFromADictionary) {
  ASSERT_TRUE(db->executeUpdate("create table named(a, b)"_ns));
  LogCapture log;
  EXPECT_TRUE(db->executeUpdateWithParameterDictionary("insert into named values (:a, :b)"_ns,
                                                       NSDictionary::make({{"a"_ns, 1_n}, {"b"_ns, "two"_ns},
                                                                           {"extra"_ns, 3_n}})));
  EXPECT_TRUE(log.contains("Could not find index for extra"));
  auto rs = db->executeQueryWithParameterDictionary("select b from named where a = :a"_ns,
                                                    NSDictionary::make({{"a"_ns, 1_n}}));
  ASSERT_NE(rs, nullptr);
  ASSERT_TRUE(rs->next());
  EXPECT_TRUE(rs->stringForColumn("b")->isEqualToString("two"));
  rs->close();
  EXPECT_FALSE(db->executeUpdateWithParameterDictionary("insert into named values (:a, :b)"_ns,
                                                        NSDictionary::make({{"a"_ns, 1_n}})));
}

// ---------------------------------------------------------------------------------------------

TEST(SQDatabaseCache, SameSQLCompilesOnceButAnOpenResultSetGetsItsOwnStatement) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  ASSERT_TRUE(db->executeUpdate("insert into t values (1), (2)"_ns));
  db->setShouldCacheStatements(true);
  auto sql = "select a from t order by a"_ns;

  auto first = db->executeQuery(sql);
  std::shared_ptr<SQStatement> compiled = first->statement();
  ASSERT_TRUE(first->next());
  first->close();
  EXPECT_FALSE(compiled->inUse());
  auto second = db->executeQuery(sql);
  EXPECT_EQ(second->statement(), compiled);
  EXPECT_EQ(db->cachedStatementForQuery(sql), nullptr);  // the one statement is in use
  ASSERT_TRUE(second->next());
  EXPECT_EQ(statementCount(db->sqliteHandle()), 1);  // compiled once

  // While `second` is open, the same SQL needs another statement.
  auto third = db->executeQuery(sql);
  ASSERT_NE(third, nullptr);
  EXPECT_NE(third->statement(), second->statement());
  EXPECT_EQ(statementCount(db->sqliteHandle()), 2);
  ASSERT_TRUE(third->next());
  EXPECT_EQ(third->intForColumnIndex(0), 1);
  ASSERT_TRUE(second->next());
  EXPECT_EQ(second->intForColumnIndex(0), 2);
  EXPECT_EQ(zvt::as<NSArray>(db->cachedStatements()->objectForKey(sql))->count(), 2u);
  EXPECT_EQ(second->statement()->useCount(), 2);

  // Closing the connection finalises every statement first; SQLite then closes cleanly.
  second->close();
  db->clearCachedStatements();
  db->closeOpenResultSets();
  EXPECT_EQ(sqlite3_next_stmt(db->sqliteHandle(), nullptr), nullptr);
  EXPECT_FALSE(db->hasOpenResultSets());
  EXPECT_EQ(third->parentDB(), nullptr);
  LogCapture log;
  EXPECT_TRUE(db->close());
  EXPECT_FALSE(log.contains("Closing leaked statement"));
}

TEST(SQDatabaseCache, CloseWithAnOpenResultSetClosesItFirst) {
  auto db = openMemory();
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
  auto cached = db->executeQuery("select a from t"_ns);
  db->setShouldCacheStatements(false);
  auto uncached = db->executeQuery("select a from t"_ns);
  ASSERT_TRUE(cached->next());
  ASSERT_TRUE(uncached->next());
  EXPECT_TRUE(db->hasOpenResultSets());
  LogCapture log;
  EXPECT_TRUE(db->close());
  EXPECT_FALSE(log.contains("Closing leaked statement"));
  EXPECT_EQ(cached->statement(), nullptr);
  EXPECT_EQ(uncached->parentDB(), nullptr);
  EXPECT_FALSE(uncached->next());
}

TEST(SQDatabaseCache, AMutableSQLTextRunsWhatItSaysNow) {
  auto db = openMemory();
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table t(a, b)"_ns));
  auto sql = NSMutableString::stringWithUTF8String("insert into t (a) values (?)");
  ASSERT_TRUE(db->executeUpdate(sql, 1));
  ASSERT_TRUE(db->executeUpdate(sql, 2));
  sql->setString("insert into t (b) values (?)"_ns);
  ASSERT_TRUE(db->executeUpdate(sql, 3));
  EXPECT_EQ(db->intForQuery("select count(*) from t where a is null and b = 3"_ns), 1);

  auto query = NSMutableString::stringWithUTF8String("select a from t where a = ?");
  auto first = db->executeQuery(query, 2);
  ASSERT_TRUE(first->next());
  EXPECT_EQ(first->intForColumnIndex(0), 2);
  first->close();
  query->setString("select b from t where b = ?"_ns);
  auto second = db->executeQuery(query, 3);
  ASSERT_TRUE(second->next());
  EXPECT_EQ(second->intForColumnIndex(0), 3);
  EXPECT_TRUE(second->query()->isEqualToString("select b from t where b = ?"));
}

TEST(SQDatabaseCache, ResultSetsLeaveTheOpenSetInAnyOrder) {
  auto db = openMemory();
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  ASSERT_TRUE(db->executeUpdate("insert into t values (1), (2)"_ns));
  auto sql = "select a from t"_ns;
  auto older = db->executeQuery(sql);
  auto middle = db->executeQuery(sql);
  auto newer = db->executeQuery(sql);
  middle->close();
  older->close();
  EXPECT_TRUE(db->hasOpenResultSets());
  EXPECT_EQ(middle->parentDB(), nullptr);
  ASSERT_TRUE(newer->next());
  newer.reset();  // released without close: closes itself
  EXPECT_FALSE(db->hasOpenResultSets());
  EXPECT_EQ(zvt::as<NSArray>(db->cachedStatements()->objectForKey(sql))->count(), 3u);
  EXPECT_NE(db->cachedStatementForQuery(sql), nullptr);
}

TEST(SQDatabaseCache, ResultSetsKeepTheirConnectionAlive) {
  auto rs = [] {
    auto db = openMemory();
    EXPECT_TRUE(db->executeUpdate("create table t(a)"_ns));
    EXPECT_TRUE(db->executeUpdate("insert into t values ('kept')"_ns));
    return db->executeQuery("select a from t"_ns);
  }();
  ASSERT_NE(rs, nullptr);
  ASSERT_TRUE(rs->next());
  EXPECT_TRUE(rs->stringForColumnIndex(0)->isEqualToString("kept"));
  EXPECT_FALSE(rs->next());
}

// ---------------------------------------------------------------------------------------------

TEST(SQDatabaseUpdate, StepFailuresAnswerNoWithTheirMessages) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table t(a unique)"_ns));
  LogCapture log;
  EXPECT_FALSE(db->executeUpdate("select 1"_ns));
  EXPECT_TRUE(log.contains("Unknown error calling sqlite3_step (100"));
  EXPECT_TRUE(log.contains("DB Query: select 1"));

  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(db->executeUpdateValuesError("insert into t values (?)"_ns, NSArray::make({1_n}), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code(), SQLITE_CONSTRAINT);

  error = nullptr;
  EXPECT_FALSE(db->executeUpdateValuesError("insert into nowhere values (?)"_ns, NSArray::make({1_n}), &error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code(), SQLITE_ERROR);
  EXPECT_TRUE(error->localizedDescription()->isEqualToString("no such table: nowhere"));
  EXPECT_TRUE(log.contains("DB Error: 1 \"no such table: nowhere\""));

  error = nullptr;
  EXPECT_EQ(db->executeQueryValuesError("select * from nowhere"_ns, nullptr, &error), nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code(), SQLITE_ERROR);

  log.clear();
  db->setLogsErrors(false);
  EXPECT_FALSE(db->executeUpdate("insert into nowhere values (1)"_ns));
  EXPECT_FALSE(log.contains("DB Error"));
  EXPECT_FALSE(db->executeUpdate("   "_ns));
}

TEST(SQDatabaseUpdate, ChangesRowIdsAndStatementBatches) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeStatements("create table t(a); insert into t values (1); insert into t values (2);"_ns));
  EXPECT_EQ(db->lastInsertRowId(), 2);
  ASSERT_TRUE(db->executeUpdate("update t set a = a + 10"_ns));
  EXPECT_EQ(db->changes(), 2);

  std::vector<std::string> seen;
  EXPECT_TRUE(db->executeStatements("select a, null as n from t order by a"_ns,
                                    [&](const std::shared_ptr<NSDictionary>& row) {
                                      seen.push_back(NSStringFromObject(row->objectForKey("a"_ns)));
                                      EXPECT_EQ(row->objectForKey("n"_ns), NSNull::null());
                                      return 0;
                                    }));
  EXPECT_EQ(seen, (std::vector<std::string>{"11", "12"}));

  LogCapture log;
  EXPECT_FALSE(db->executeStatements("select a from t"_ns, [](const std::shared_ptr<NSDictionary>&) { return 1; }));
  EXPECT_FALSE(db->executeStatements(
      "select a from t"_ns, [](const std::shared_ptr<NSDictionary>&) -> int { throw std::runtime_error("boom"); }));
  EXPECT_TRUE(log.contains("boom"));
  EXPECT_FALSE(db->executeStatements("this is not sql"_ns));
  EXPECT_TRUE(log.contains("Error inserting batch: near \"this\": syntax error"));
}

TEST(SQDatabaseUpdate, FormatQueriesTurnArgumentsIntoParameters) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table f(a, b, c, d, e, g, h)"_ns));
  ASSERT_TRUE(db->executeUpdateWithFormat("insert into f values (%d, %@, %s, %f, %lld, %c, %@)", 5, "x'y"_ns,
                                          "c-string", 1.5, 9000000000LL, 'Q', nullptr));
  auto rs = db->executeQueryWithFormat("select * from f where a = %d and b = %@ and h is %@", 5, "x'y"_ns, nullptr);
  ASSERT_NE(rs, nullptr);
  ASSERT_TRUE(rs->next());
  EXPECT_TRUE(rs->stringForColumn("c")->isEqualToString("c-string"));
  EXPECT_EQ(rs->doubleForColumn("d"), 1.5);
  EXPECT_EQ(rs->longLongIntForColumn("e"), 9000000000LL);
  EXPECT_TRUE(rs->stringForColumn("g")->isEqualToString("Q"));
  EXPECT_TRUE(rs->columnIsNull("h"));
  rs->close();
  EXPECT_EQ(db->intForQuery("select count(*) from f where a = 5"_ns), 1);
  EXPECT_TRUE(db->executeUpdateWithFormat("update f set a = %hi, b = %lu, c = %qu where a %% 5 = 0", 7, 8UL, 9ULL));
  EXPECT_EQ(db->intForQuery("select a + b + c from f"_ns), 24);

  LogCapture log;
  EXPECT_FALSE(db->executeUpdateWithFormat("insert into f (a, b) values (%d, %d)", 1));
  EXPECT_FALSE(db->executeUpdateWithFormat("insert into f (a) values (%d)", 1, 2));
  EXPECT_FALSE(db->executeUpdateWithFormat("insert into f (a) values (%d)", "not a number"_ns));
  EXPECT_EQ(db->executeQueryWithFormat("select %d", "x"_ns), nullptr);
  EXPECT_TRUE(log.contains("Error: the arguments do not match the format"));
  EXPECT_EQ(db->intForQuery("select count(*) from f"_ns), 1);
}

// ---------------------------------------------------------------------------------------------

TEST(SQDatabaseTransactions, CommitRollbackAndSavePoints) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  ASSERT_TRUE(db->beginTransaction());
  EXPECT_TRUE(db->inTransaction());
  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
  ASSERT_TRUE(db->rollback());
  EXPECT_FALSE(db->inTransaction());
  EXPECT_EQ(db->intForQuery("select count(*) from t"_ns), 0);
  ASSERT_TRUE(db->beginDeferredTransaction());
  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
  ASSERT_TRUE(db->commit());
  EXPECT_EQ(db->intForQuery("select count(*) from t"_ns), 1);

  LogCapture log;
  EXPECT_FALSE(db->commit());  // no transaction is open
  EXPECT_FALSE(db->inTransaction());

  // A quote in a save-point name stays inside the name.
  std::shared_ptr<NSError> error;
  ASSERT_TRUE(db->startSavePointWithName("it's"_ns, &error));
  ASSERT_TRUE(db->executeUpdate("insert into t values (2)"_ns));
  ASSERT_TRUE(db->rollbackToSavePointWithName("it's"_ns, &error));
  ASSERT_TRUE(db->releaseSavePointWithName("it's"_ns, &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(db->intForQuery("select count(*) from t"_ns), 1);
  EXPECT_FALSE(db->releaseSavePointWithName("never started"_ns, &error));
  ASSERT_NE(error, nullptr);
  EXPECT_TRUE(error->localizedDescription()->isEqualToString("no such savepoint: never started"));

  db->setTraceExecution(true);
  log.clear();
  EXPECT_EQ(db->inSavePoint([&](bool* rollback) {
    EXPECT_TRUE(db->executeUpdate("insert into t values (3)"_ns));
    *rollback = true;
  }),
            nullptr);
  EXPECT_EQ(db->inSavePoint([&](bool*) { EXPECT_TRUE(db->executeUpdate("insert into t values (4)"_ns)); }),
            nullptr);
  db->setTraceExecution(false);
  EXPECT_EQ(db->intForQuery("select count(*) from t"_ns), 2);
  EXPECT_EQ(db->intForQuery("select max(a) from t"_ns), 4);
  // Two save points with consecutive numbers.
  int named = 0;
  for (const std::string& line : log.lines()) {
    if (line.find("executeUpdate: savepoint 'dbSavePoint") != std::string::npos) ++named;
  }
  EXPECT_EQ(named, 2);
}

TEST(SQDatabaseTransactions, ASavePointWhoseBlockThrowsIsUndoneAndEnded) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table t(a)"_ns));
  // Outside a transaction and inside one: the thrown work is undone either way, and no save
  // point is left open around what comes after.
  for (bool outer : {false, true}) {
    SCOPED_TRACE(outer ? "inside a transaction" : "on its own");
    if (outer) {
      ASSERT_TRUE(db->beginTransaction());
    }
    ASSERT_TRUE(db->executeUpdate("insert into t values (1)"_ns));
    EXPECT_THROW(db->inSavePoint([&](bool*) {
      ASSERT_TRUE(db->executeUpdate("insert into t values (2)"_ns));
      throw std::runtime_error("interrupted");
    }),
                 std::runtime_error);
    EXPECT_EQ(sqlite3_get_autocommit(db->sqliteHandle()) != 0, !outer) << "the save point was ended";
    if (outer) {
      ASSERT_TRUE(db->commit());
    }
    EXPECT_EQ(db->intForQuery("select count(*) from t where a = 2"_ns), 0);
    EXPECT_EQ(db->intForQuery("select count(*) from t where a = 1"_ns), outer ? 2 : 1);
  }
}

TEST(SQDatabaseFunctions, BlocksRunAsSQLFunctionsAndExceptionsBecomeSQLErrors) {
  auto db = openMemory();
  db->makeFunctionNamed("twice"_ns, 1, [](sqlite3_context* context, int argc, sqlite3_value** argv) {
    ASSERT_EQ(argc, 1);
    sqlite3_result_int64(context, 2 * sqlite3_value_int64(argv[0]));
  });
  db->makeFunctionNamed("fails"_ns, 0, [](sqlite3_context*, int, sqlite3_value**) {
    NSException::raise(NSInvalidArgumentException, "refused %d", 7);
  });
  db->makeFunctionNamed("throwsPlain"_ns, 0, [](sqlite3_context*, int, sqlite3_value**) { throw 42; });
  db->makeFunctionNamed("reenters"_ns, 0, [&](sqlite3_context* context, int, sqlite3_value**) {
    auto inner = db->executeQuery("select 1"_ns);
    sqlite3_result_int(context, inner ? 1 : 0);
  });
  EXPECT_EQ(db->intForQuery("select twice(21)"_ns), 42);

  LogCapture log;
  auto rs = db->executeQuery("select fails()"_ns);
  ASSERT_NE(rs, nullptr);
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(rs->nextWithError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code(), SQLITE_ERROR);
  EXPECT_TRUE(error->localizedDescription()->isEqualToString("refused 7"));
  EXPECT_FALSE(db->executeUpdate("create table x as select throwsPlain()"_ns));
  EXPECT_EQ(db->lastErrorCode(), SQLITE_ERROR);

  // A function may not run statements on the connection that is running it.
  ASSERT_TRUE(db->executeUpdate("create table r(v)"_ns));
  EXPECT_TRUE(db->executeUpdate("insert into r values (reenters())"_ns));
  EXPECT_EQ(db->intForQuery("select v from r"_ns), 0);
  EXPECT_TRUE(log.contains("is currently in use."));
  EXPECT_EQ(db->intForQuery("select twice(2)"_ns), 4);

  // Nor close it, or drop the statement it is running.
  db->setShouldCacheStatements(true);
  bool closed = true;
  db->makeFunctionNamed("closes"_ns, 0, [&](sqlite3_context* context, int, sqlite3_value**) {
    closed = db->close();
    db->clearCachedStatements();
    db->setShouldCacheStatements(false);
    sqlite3_result_int(context, 5);
  });
  log.clear();
  EXPECT_TRUE(db->executeUpdate("insert into r values (closes())"_ns));
  EXPECT_FALSE(closed);
  EXPECT_TRUE(log.contains("is currently in use."));
  EXPECT_TRUE(db->shouldCacheStatements());
  EXPECT_EQ(db->intForQuery("select max(v) from r"_ns), 5);
  EXPECT_TRUE(db->close());
}

// ---------------------------------------------------------------------------------------------

TEST(SQDatabaseAdditions, OneValueQueries) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table t(s, i, d, b)"_ns));
  ASSERT_TRUE(db->executeUpdate("insert into t values (?, ?, ?, ?)"_ns, "text", 5000000000LL, 2.5,
                                NSData::dataWithString("bytes")));
  EXPECT_TRUE(db->stringForQuery("select s from t"_ns)->isEqualToString("text"));
  EXPECT_EQ(db->longForQuery("select i from t"_ns), 5000000000L);
  EXPECT_EQ(db->intForQuery("select count(*) from t where s = ?"_ns, "text"), 1);
  EXPECT_TRUE(db->boolForQuery("select 1"_ns));
  EXPECT_EQ(db->doubleForQuery("select d from t"_ns), 2.5);
  EXPECT_EQ(db->dataForQuery("select b from t"_ns)->view(), "bytes");
  EXPECT_EQ(db->stringForQuery("select s from t where 0"_ns), nullptr);
  EXPECT_EQ(db->intForQuery("select i from t where 0"_ns), 0);
  EXPECT_FALSE(db->boolForQuery("select 1 where 0"_ns));
  EXPECT_FALSE(db->hasOpenResultSets());
}

TEST(SQDatabaseAdditions, SchemaQueriesQuoteTheTableName) {
  auto db = openMemory();
  ASSERT_TRUE(db->executeUpdate("create table \"it's\" (Name text, other int)"_ns));
  ASSERT_TRUE(db->executeUpdate("create table Banner (link text)"_ns));
  EXPECT_TRUE(db->tableExists("banner"_ns));
  EXPECT_TRUE(db->tableExists("it's"_ns));
  EXPECT_FALSE(db->tableExists("missing"_ns));

  auto schema = db->getTableSchema("it's"_ns);
  ASSERT_NE(schema, nullptr);
  int columns = 0;
  while (schema->next()) ++columns;
  EXPECT_EQ(columns, 2);
  EXPECT_TRUE(db->columnExistsInTableWithName("name"_ns, "It's"_ns));
  EXPECT_TRUE(db->columnExistsColumnName("it's"_ns, "OTHER"_ns));
  EXPECT_FALSE(db->columnExistsInTableWithName("third"_ns, "it's"_ns));
  // A name that tries to leave its quotes stays a (missing) table name.
  EXPECT_FALSE(db->columnExistsInTableWithName("name"_ns, "x') union select 1,'name',3,4,5,6 --"_ns));

  auto all = db->getSchema();
  ASSERT_NE(all, nullptr);
  std::vector<std::string> names;
  while (all->next()) names.push_back(all->stringForColumn("name")->utf8());
  EXPECT_EQ(names, (std::vector<std::string>{"Banner", "it's"}));
}

TEST(SQDatabaseAdditions, PragmasAndValidation) {
  auto db = openMemory();
  EXPECT_EQ(db->userVersion(), 0u);
  db->setUserVersion(42);
  EXPECT_EQ(db->userVersion(), 42u);
  db->setApplicationID(0xDEADBEEF);
  EXPECT_EQ(db->applicationID(), 0xDEADBEEFu);
  EXPECT_FALSE(db->hasOpenResultSets());

  std::shared_ptr<NSError> error;
  EXPECT_TRUE(db->validateSQL("select 1"_ns, &error));
  EXPECT_EQ(error, nullptr);
  EXPECT_FALSE(db->validateSQL("selec 1"_ns, &error));
  ASSERT_NE(error, nullptr);
  EXPECT_TRUE(error->domain()->isEqualToString(NSCocoaErrorDomain));
  EXPECT_EQ(error->code(), SQLITE_ERROR);
  EXPECT_TRUE(error->localizedDescription()->isEqualToString("near \"selec\": syntax error"));
  EXPECT_EQ(statementCount(db->sqliteHandle()), 0);
}

TEST(SQDatabaseState, BusyTimeoutShimsFlagsAndKeys) {
  auto db = openMemory();
  LogCapture log;
  EXPECT_EQ(db->busyRetryTimeout(), -1);
  EXPECT_TRUE(log.contains("SQDB: busyRetryTimeout no longer works, please use maxBusyRetryTimeInterval"));
  db->setBusyRetryTimeout(5);
  EXPECT_TRUE(log.contains("SQDB: setBusyRetryTimeout does nothing, please use setMaxBusyRetryTimeInterval:"));
  EXPECT_EQ(db->maxBusyRetryTimeInterval(), 2.0);
  EXPECT_TRUE(db->logsErrors());
  EXPECT_FALSE(db->crashOnErrors());
  EXPECT_FALSE(db->setKey("secret"_ns));
  EXPECT_FALSE(db->rekey("secret"_ns));
  EXPECT_FALSE(db->hadError());
  db->executeUpdate("nonsense"_ns);
  EXPECT_TRUE(db->hadError());
  auto error = db->lastError();
  EXPECT_TRUE(error->domain()->isEqualToString("SQDatabase"));
  EXPECT_EQ(error->code(), SQLITE_ERROR);
  EXPECT_NE(std::string(SQStatement::make()->description()->utf8()).find("0 hit(s) for query (null)"),
            std::string::npos);
}

TEST(SQDatabaseStateDeathTest, CrashOnErrorsStopsAtAStatementThatDoesNotCompile) {
  auto db = openMemory();
  db->setCrashOnErrors(true);
  EXPECT_DEATH(db->executeUpdate("nonsense"_ns), "crashOnErrors");
}
