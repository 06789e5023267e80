// The row cursor: stepping, column lookup by name, typed getters, whole rows.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "foundation/sqlite/SQDatabase.h"
#include "foundation/sqlite/SQResultSet.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "tests/foundation/sqlite/SQTestSupport.h"

using sqtest::LogCapture;

namespace {

// A model filled by key-value coding, as the application's models are.
class SQTestModel : public NSObject {
 public:
  id name;
  id count;
  static const zvt::KVCClass* classTable() {
    static const zvt::KVCClass table = zvt::KVCClass::Builder<SQTestModel>(nullptr)
                                           .property("name", &SQTestModel::name)
                                           .property("count", &SQTestModel::count)
                                           .build();
    return &table;
  }
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
  void setValueForUndefinedKey(const id&, const std::shared_ptr<NSString>& key) override {
    undefined.push_back(key->utf8());
  }
  std::vector<std::string> undefined;
};

class SQResultSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db = SQDatabase::databaseWithPath(nullptr);
    ASSERT_TRUE(db->open());
    ASSERT_TRUE(db->executeUpdate("create table t(name text, count integer, ratio real, data blob)"_ns));
    ASSERT_TRUE(db->executeUpdate("insert into t values (?, ?, ?, ?)"_ns, "first", 1, 0.5, NSData::dataWithString("ab")));
    ASSERT_TRUE(db->executeUpdate("insert into t values (?, ?, ?, ?)"_ns, "", 2, nullptr, NSData::data()));
    ASSERT_TRUE(db->executeUpdate("insert into t values (?, ?, ?, ?)"_ns, nullptr, nullptr, nullptr, nullptr));
  }
  std::shared_ptr<SQDatabase> db;
};

}  // namespace

TEST_F(SQResultSetTest, NamesMatchWithoutRegardToCase) {
  auto rs = db->executeQuery("select name, count from t order by rowid"_ns);
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->columnCount(), 2);
  EXPECT_TRUE(rs->stringForColumn("NAME")->isEqualToString("first"));
  EXPECT_EQ(rs->intForColumn("Count"_ns), 1);
  EXPECT_EQ(rs->columnIndexForName("COUNT"), 1);
  EXPECT_TRUE(rs->columnNameForIndex(1)->isEqualToString("count"));
  auto map = rs->columnNameToIndexMap();
  EXPECT_EQ(map->count(), 2u);
  EXPECT_TRUE(zvt::objectsEqual(map->objectForKey("count"_ns), NSNumber::numberWithInt(1)));

  LogCapture log;
  EXPECT_EQ(rs->columnIndexForName("Missing"), -1);
  EXPECT_TRUE(log.contains("Warning: I could not find the column named 'missing'."));
  EXPECT_EQ(rs->objectForColumnName("missing"), NSNull::null());
  EXPECT_EQ(rs->stringForColumn("missing"), nullptr);
  EXPECT_EQ(rs->intForColumn("missing"), 0);
  EXPECT_EQ(rs->doubleForColumn("missing"), 0.0);
  EXPECT_EQ(rs->dataForColumn("missing"), nullptr);
  EXPECT_EQ(rs->UTF8StringForColumnName("missing"), nullptr);
  EXPECT_TRUE(rs->columnIsNull("missing"));
  rs->close();
}

TEST_F(SQResultSetTest, TwoNamesThatDifferInCaseMapToTheLaterColumn) {
  auto rs = db->executeQuery("select 1 as Value, 2 as VALUE"_ns);
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->columnIndexForName("value"), 1);
  EXPECT_EQ(rs->intForColumn("value"), 2);
  auto row = rs->resultDictionary();
  EXPECT_EQ(row->count(), 2u);  // exact names as SQLite reports them
  EXPECT_EQ(rs->resultDict()->count(), 1u);
  EXPECT_TRUE(zvt::objectsEqual(rs->resultDict()->objectForKey("value"_ns), NSNumber::numberWithLongLong(2)));
  rs->close();
}

TEST_F(SQResultSetTest, TypedGettersAndNulls) {
  auto rs = db->executeQuery("select * from t order by rowid"_ns);
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->doubleForColumn("ratio"), 0.5);
  EXPECT_TRUE(rs->boolForColumn("count"));
  EXPECT_EQ(rs->dataForColumn("data")->view(), "ab");
  EXPECT_EQ(rs->dataNoCopyForColumn("data")->view(), "ab");
  EXPECT_STREQ(reinterpret_cast<const char*>(rs->UTF8StringForColumnIndex(0)), "first");
  EXPECT_TRUE(zvt::objectsEqual(rs->objectForColumnIndex(1), NSNumber::numberWithLongLong(1)));
  EXPECT_TRUE(zvt::objectsEqual(rs->objectForColumnIndex(2), NSNumber::numberWithDouble(0.5)));
  EXPECT_TRUE(zvt::objectsEqual(rs->objectAtIndexedSubscript(3), NSData::dataWithString("ab")));
  EXPECT_TRUE(zvt::objectsEqual(rs->objectForKeyedSubscript("NAME"), "first"_ns));

  ASSERT_TRUE(rs->next());
  auto empty = rs->stringForColumn("name");
  ASSERT_NE(empty, nullptr);  // empty text is not NULL
  EXPECT_EQ(empty->length(), 0u);
  EXPECT_FALSE(rs->columnIsNull("data"));
  EXPECT_EQ(rs->dataForColumn("data"), nullptr);           // an empty blob reads as nil...
  EXPECT_EQ(rs->dataNoCopyForColumn("data")->length(), 0u);  // ...or as empty bytes

  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->stringForColumn("name"), nullptr);
  EXPECT_TRUE(rs->columnIndexIsNull(0));
  EXPECT_EQ(rs->dataNoCopyForColumn("data"), nullptr);
  EXPECT_EQ(rs->objectForColumnName("count"), NSNull::null());
  EXPECT_EQ(rs->intForColumn("count"), 0);
  EXPECT_EQ(rs->stringForColumnIndex(-1), nullptr);
  EXPECT_FALSE(rs->next());
}

TEST_F(SQResultSetTest, NextAfterTheLastRowAnswersNoAndThenReportsTheMissingConnection) {
  auto rs = db->executeQuery("select name from t where count = 1"_ns);
  ASSERT_TRUE(rs->next());
  EXPECT_TRUE(rs->hasAnotherRow());
  EXPECT_FALSE(rs->next());
  EXPECT_FALSE(db->hasOpenResultSets());
  EXPECT_EQ(rs->parentDB(), nullptr);

  LogCapture log;
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(rs->nextWithError(&error));
  ASSERT_NE(error, nullptr);
  EXPECT_TRUE(error->domain()->isEqualToString("SQDatabase"));
  EXPECT_EQ(error->code(), SQLITE_MISUSE);
  EXPECT_TRUE(error->localizedDescription()->isEqualToString("parentDB does not exist"));
  EXPECT_TRUE(log.contains("Error calling sqlite3_step (21: "));
  rs->close();  // a second close does nothing
}

TEST_F(SQResultSetTest, WholeRowsAndKeyValueCoding) {
  auto rs = db->executeQuery("select name, count, data from t order by rowid"_ns);
  LogCapture log;
  EXPECT_EQ(rs->resultDictionary(), nullptr);  // no row yet
  EXPECT_EQ(rs->resultDict(), nullptr);
  EXPECT_TRUE(log.contains("Warning: There seem to be no columns in this set."));

  ASSERT_TRUE(rs->next());
  auto row = rs->resultDictionary();
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(zvt::objectsEqual(row->objectForKey("name"_ns), "first"_ns));
  EXPECT_TRUE(zvt::objectsEqual(row->objectForKey("count"_ns), NSNumber::numberWithLongLong(1)));

  auto model = std::make_shared<SQTestModel>();
  rs->kvcMagic(model);
  EXPECT_TRUE(zvt::objectsEqual(model->name, "first"_ns));
  EXPECT_TRUE(zvt::objectsEqual(model->count, "1"_ns));  // as text
  EXPECT_EQ(model->undefined, (std::vector<std::string>{"data"}));

  ASSERT_TRUE(rs->next());
  ASSERT_TRUE(rs->next());  // all NULL: nothing is set
  auto untouched = std::make_shared<SQTestModel>();
  rs->kvcMagic(untouched);
  EXPECT_EQ(untouched->name, nullptr);
  EXPECT_TRUE(untouched->undefined.empty());
  auto nulls = rs->resultDictionary();
  EXPECT_EQ(nulls->objectForKey("name"_ns), NSNull::null());
  rs->close();
}
