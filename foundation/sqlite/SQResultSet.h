#pragma once
// The row cursor of a query: steps the statement row by row and reads the current row's
// columns by index or by (case-insensitive) name. It keeps its connection alive; the connection
// knows it without owning it and closes it when the connection closes first.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/sqlite/SQStatement.h"
#include "platform/foundation/BlockPool.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSDate;
class SQDatabase;

class SQResultSet : public NSObject {
 public:
  struct Private {};
  SQResultSet(Private) {}
  SQResultSet(Private, std::shared_ptr<SQStatement>&& statement, std::shared_ptr<SQDatabase>&& parentDB,
              const std::shared_ptr<NSString>& query)
      : parentDB_(std::move(parentDB)), statement_(std::move(statement)), query_(query) {}
  ~SQResultSet() override;

  static std::shared_ptr<SQResultSet> resultSetWithStatement(std::shared_ptr<SQStatement> statement,
                                                             std::shared_ptr<SQDatabase> parentDB);

  // --- stepping (inline: a cursor is usually stepped once per query or once per row)
  bool next() { return nextWithError(nullptr); }
  // YES while a row is available; the first NO closes the cursor.
  bool nextWithError(std::shared_ptr<NSError>* error) {
    sqlite3_stmt* statement = stmt();
    // Stepping a closed cursor is what SQLite would call misuse; say so without calling it.
    int result = statement ? sqlite3_step(statement) : SQLITE_MISUSE;
    return result == SQLITE_ROW || stepEnded(result, error);
  }
  bool hasAnotherRow() const;
  // Frees the statement for reuse and detaches from the connection; a second close does nothing.
  void close();

  // --- columns
  int columnCount() const;
  // Lower-cased column name to index (built on first use; of two names that differ only in
  // case, the later column wins).
  std::shared_ptr<NSMutableDictionary> columnNameToIndexMap();
  // -1, with a warning, when no column has that name.
  int columnIndexForName(const std::shared_ptr<NSString>& columnName);
  int columnIndexForName(std::string_view columnName);
  std::shared_ptr<NSString> columnNameForIndex(int columnIdx) const;

  // --- typed getters by index
  int intForColumnIndex(int columnIdx) const {
    sqlite3_stmt* statement = stmt();
    return statement && columnIdx >= 0 ? sqlite3_column_int(statement, columnIdx) : 0;
  }
  long longForColumnIndex(int columnIdx) const { return static_cast<long>(longLongIntForColumnIndex(columnIdx)); }
  long long longLongIntForColumnIndex(int columnIdx) const {
    sqlite3_stmt* statement = stmt();
    return statement && columnIdx >= 0 ? sqlite3_column_int64(statement, columnIdx) : 0;
  }
  unsigned long long unsignedLongLongIntForColumnIndex(int columnIdx) const {
    return static_cast<unsigned long long>(longLongIntForColumnIndex(columnIdx));
  }
  bool boolForColumnIndex(int columnIdx) const { return intForColumnIndex(columnIdx) != 0; }
  double doubleForColumnIndex(int columnIdx) const {
    sqlite3_stmt* statement = stmt();
    return statement && columnIdx >= 0 ? sqlite3_column_double(statement, columnIdx) : 0.0;
  }
  std::shared_ptr<NSString> stringForColumnIndex(int columnIdx) const;
  std::shared_ptr<NSDate> dateForColumnIndex(int columnIdx) const;
  // A copy of the blob; nil for NULL and for an empty blob.
  std::shared_ptr<NSData> dataForColumnIndex(int columnIdx) const;
  // The blob; an empty blob gives an empty data object. (Our NSData owns its bytes, so this
  // copies as well.)
  std::shared_ptr<NSData> dataNoCopyForColumnIndex(int columnIdx) const;
  // SQLite's own text, valid until the next step or reset; NULL for SQL NULL.
  const unsigned char* UTF8StringForColumnIndex(int columnIdx) const;
  bool columnIndexIsNull(int columnIdx) const;
  // By the column's type: NSNumber, NSData or NSString; NSNull for NULL.
  id objectForColumnIndex(int columnIdx) const;
  id objectAtIndexedSubscript(int columnIdx) const { return objectForColumnIndex(columnIdx); }

  // --- typed getters by name
  template <class Name>
  int intForColumn(const Name& name) { return intForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  long longForColumn(const Name& name) { return longForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  long long longLongIntForColumn(const Name& name) { return longLongIntForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  unsigned long long unsignedLongLongIntForColumn(const Name& name) {
    return unsignedLongLongIntForColumnIndex(columnIndexForName(name));
  }
  template <class Name>
  bool boolForColumn(const Name& name) { return boolForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  double doubleForColumn(const Name& name) { return doubleForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  std::shared_ptr<NSString> stringForColumn(const Name& name) { return stringForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  std::shared_ptr<NSDate> dateForColumn(const Name& name) { return dateForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  std::shared_ptr<NSData> dataForColumn(const Name& name) { return dataForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  std::shared_ptr<NSData> dataNoCopyForColumn(const Name& name) {
    return dataNoCopyForColumnIndex(columnIndexForName(name));
  }
  template <class Name>
  const unsigned char* UTF8StringForColumnName(const Name& name) {
    return UTF8StringForColumnIndex(columnIndexForName(name));
  }
  template <class Name>
  bool columnIsNull(const Name& name) { return columnIndexIsNull(columnIndexForName(name)); }
  template <class Name>
  id objectForColumnName(const Name& name) { return objectForColumnIndex(columnIndexForName(name)); }
  template <class Name>
  id objectForKeyedSubscript(const Name& name) { return objectForColumnName(name); }

  // --- whole rows
  // Column name (as SQLite reports it) to objectForColumnIndex; nil, with a warning, without a row.
  std::shared_ptr<NSMutableDictionary> resultDictionary();
  // The older form: keyed by the lower-cased names, immutable.
  std::shared_ptr<NSDictionary> resultDict();
  // setValueForKey on `object` for each column whose text is not NULL, keyed by column name.
  void kvcMagic(const id& object);

  // --- accessors
  const std::shared_ptr<SQDatabase>& parentDB() const { return parentDB_; }
  void setParentDB(const std::shared_ptr<SQDatabase>& parentDB) { parentDB_ = parentDB; }
  const std::shared_ptr<NSString>& query() const { return query_; }
  void setQuery(const std::shared_ptr<NSString>& query) { query_ = query; }
  const std::shared_ptr<SQStatement>& statement() const { return statement_; }
  void setStatement(const std::shared_ptr<SQStatement>& statement) { statement_ = statement; }

 private:
  friend class SQDatabase;

  // The connection's own way in: the statement, the connection and the SQL set in place.
  static std::shared_ptr<SQResultSet> make(std::shared_ptr<SQStatement>&& statement,
                                           std::shared_ptr<SQDatabase>&& parentDB, const std::shared_ptr<NSString>& query);

  sqlite3_stmt* stmt() const { return statement_ ? statement_->statement() : nullptr; }
  // The end of the rows or a failed step: logs a failure, hands out its error, closes; NO.
  bool stepEnded(int result, std::shared_ptr<NSError>* error);
  void buildNameMap();

  std::shared_ptr<SQDatabase> parentDB_;
  std::shared_ptr<SQStatement> statement_;
  std::shared_ptr<NSString> query_;
  // Made on first use: most result sets are read by index or not at all by name.
  std::unique_ptr<std::unordered_map<std::string, int>> columnNameToIndexMap_;
};

inline std::shared_ptr<SQResultSet> SQResultSet::make(std::shared_ptr<SQStatement>&& statement,
                                                      std::shared_ptr<SQDatabase>&& parentDB,
                                                      const std::shared_ptr<NSString>& query) {
  // One per query, released as soon as the rows are read: pooled blocks spare malloc and free.
  if (statement) statement->setInUse(true);
  return std::allocate_shared<SQResultSet>(zvt::PoolAllocator<SQResultSet>(), Private{}, std::move(statement),
                                           std::move(parentDB), query);
}
