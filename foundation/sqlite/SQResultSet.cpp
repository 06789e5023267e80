#include "foundation/sqlite/SQResultSet.h"

#include "foundation/sqlite/SQDatabase.h"
#include "foundation/sqlite/SQLog.h"
#include "foundation/sqlite/SQText.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

using zvt::SQLog;
using zvt::SQLogFormat;

SQResultSet::~SQResultSet() {
  if (statement_ || parentDB_) close();
}

std::shared_ptr<SQResultSet> SQResultSet::resultSetWithStatement(std::shared_ptr<SQStatement> statement,
                                                                 std::shared_ptr<SQDatabase> parentDB) {
  return make(std::move(statement), std::move(parentDB), nullptr);
}


void SQResultSet::close() {
  if (statement_) {
    statement_->reset();
    statement_.reset();
  }
  if (parentDB_) {
    // Moved out first: the connection may go away with this last reference.
    std::shared_ptr<SQDatabase> parent = std::move(parentDB_);
    parent->resultSetDidClose(this);
  }
}

bool SQResultSet::stepEnded(int result, std::shared_ptr<NSError>* error) {
  if (result == SQLITE_DONE) {
    close();
    return false;
  }

  sqlite3* handle = parentDB_ ? parentDB_->sqliteHandle() : nullptr;
  const char* message = handle ? sqlite3_errmsg(handle) : sqlite3_errstr(result);
  std::shared_ptr<NSError> failure;
  if (result == SQLITE_BUSY || result == SQLITE_LOCKED) {
    SQLogFormat("%s:%d Database busy (%@)", "-[SQResultSet nextWithError:]", 164,
                parentDB_ ? parentDB_->databasePath() : nullptr);
    SQLog("Database busy");
  } else if (result == SQLITE_ERROR || result == SQLITE_MISUSE) {
    SQLogFormat("Error calling sqlite3_step (%d: %s) rs", result, message);
  } else {
    SQLogFormat("Unknown error calling sqlite3_step (%d: %s) rs", result, message);
  }
  if (error) {
    if (parentDB_) {
      *error = parentDB_->lastError();
    } else {
      *error = NSError::errorWithDomain(
          "SQDatabase"_ns, SQLITE_MISUSE,
          NSDictionary::dictionaryWithObject("parentDB does not exist"_ns, NSLocalizedDescriptionKey.get()));
    }
  }
  close();
  return false;
}

bool SQResultSet::hasAnotherRow() const { return parentDB_ && parentDB_->lastErrorCode() == SQLITE_ROW; }

int SQResultSet::columnCount() const { return sqlite3_column_count(stmt()); }

void SQResultSet::buildNameMap() {
  columnNameToIndexMap_ = std::make_unique<std::unordered_map<std::string, int>>();
  sqlite3_stmt* statement = stmt();
  int count = sqlite3_column_count(statement);
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement, i);
    // The later of two names that differ only in case wins.
    (*columnNameToIndexMap_)[zvt::SQLowercase(name ? name : "")] = i;
  }
}

std::shared_ptr<NSMutableDictionary> SQResultSet::columnNameToIndexMap() {
  if (!columnNameToIndexMap_) buildNameMap();
  auto map = NSMutableDictionary::dictionaryWithCapacity(columnNameToIndexMap_->size());
  for (const auto& [name, index] : *columnNameToIndexMap_) {
    map->setObject(NSNumber::numberWithInt(index), NSString::stringWithUTF8String(name));
  }
  return map;
}

int SQResultSet::columnIndexForName(const std::shared_ptr<NSString>& columnName) {
  return columnIndexForName(columnName ? columnName->view() : std::string_view());
}

int SQResultSet::columnIndexForName(std::string_view columnName) {
  if (!columnNameToIndexMap_) buildNameMap();
  std::string lowerName = zvt::SQLowercase(columnName);
  auto found = columnNameToIndexMap_->find(lowerName);
  if (found != columnNameToIndexMap_->end()) return found->second;
  SQLogFormat("Warning: I could not find the column named '%s'.", lowerName);
  return -1;
}

std::shared_ptr<NSString> SQResultSet::columnNameForIndex(int columnIdx) const {
  sqlite3_stmt* statement = stmt();
  if (!statement || columnIdx < 0) return nullptr;
  return zvt::SQString(sqlite3_column_name(statement, columnIdx));
}

// ---------------------------------------------------------------------------------------------
// Typed getters

bool SQResultSet::columnIndexIsNull(int columnIdx) const {
  sqlite3_stmt* statement = stmt();
  return !statement || columnIdx < 0 || sqlite3_column_type(statement, columnIdx) == SQLITE_NULL;
}

std::shared_ptr<NSString> SQResultSet::stringForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return nullptr;
  sqlite3_stmt* statement = stmt();
  const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, columnIdx));
  if (!text) return nullptr;
  return zvt::SQString(text, sqlite3_column_bytes(statement, columnIdx));
}

std::shared_ptr<NSDate> SQResultSet::dateForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return nullptr;
  if (parentDB_ && parentDB_->hasDateFormatter()) return parentDB_->dateFromString(stringForColumnIndex(columnIdx));
  return NSDate::dateWithTimeIntervalSince1970(doubleForColumnIndex(columnIdx));
}

std::shared_ptr<NSData> SQResultSet::dataForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return nullptr;
  sqlite3_stmt* statement = stmt();
  const void* bytes = sqlite3_column_blob(statement, columnIdx);
  int length = sqlite3_column_bytes(statement, columnIdx);
  if (!bytes || length <= 0) return nullptr;
  return NSData::dataWithBytes(bytes, static_cast<NSUInteger>(length));
}

std::shared_ptr<NSData> SQResultSet::dataNoCopyForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return nullptr;
  sqlite3_stmt* statement = stmt();
  const void* bytes = sqlite3_column_blob(statement, columnIdx);
  int length = sqlite3_column_bytes(statement, columnIdx);
  if (!bytes || length <= 0) return NSData::data();
  return NSData::dataWithBytes(bytes, static_cast<NSUInteger>(length));
}

const unsigned char* SQResultSet::UTF8StringForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return nullptr;
  return sqlite3_column_text(stmt(), columnIdx);
}

id SQResultSet::objectForColumnIndex(int columnIdx) const {
  sqlite3_stmt* statement = stmt();
  int type = statement && columnIdx >= 0 ? sqlite3_column_type(statement, columnIdx) : SQLITE_NULL;
  id value;
  switch (type) {
    case SQLITE_INTEGER:
      value = NSNumber::numberWithLongLong(sqlite3_column_int64(statement, columnIdx));
      break;
    case SQLITE_FLOAT:
      value = NSNumber::numberWithDouble(sqlite3_column_double(statement, columnIdx));
      break;
    case SQLITE_BLOB:
      value = dataForColumnIndex(columnIdx);
      break;
    default:
      value = stringForColumnIndex(columnIdx);
      break;
  }
  return value ? value : id(NSNull::null());
}

// ---------------------------------------------------------------------------------------------
// Whole rows

std::shared_ptr<NSMutableDictionary> SQResultSet::resultDictionary() {
  sqlite3_stmt* statement = stmt();
  if (!statement || sqlite3_data_count(statement) <= 0) {
    SQLog("Warning: There seem to be no columns in this set.");
    return nullptr;
  }
  int count = sqlite3_column_count(statement);
  auto row = NSMutableDictionary::dictionaryWithCapacity(static_cast<NSUInteger>(count));
  for (int i = 0; i < count; ++i) {
    std::shared_ptr<NSString> name = zvt::SQString(sqlite3_column_name(statement, i));
    row->setObject(objectForColumnIndex(i), name ? name : NSString::string());
  }
  return row;
}

std::shared_ptr<NSDictionary> SQResultSet::resultDict() {
  sqlite3_stmt* statement = stmt();
  if (!statement || sqlite3_data_count(statement) <= 0) {
    SQLog("Warning: There seem to be no columns in this set.");
    return nullptr;
  }
  if (!columnNameToIndexMap_) buildNameMap();
  auto row = NSMutableDictionary::dictionaryWithCapacity(columnNameToIndexMap_->size());
  for (const auto& [name, index] : *columnNameToIndexMap_) {
    std::shared_ptr<NSString> key = NSString::stringWithUTF8String(name);
    if (key) row->setObject(objectForColumnIndex(index), key);
  }
  return NSDictionary::dictionaryWithDictionary(row);
}

void SQResultSet::kvcMagic(const id& object) {
  sqlite3_stmt* statement = stmt();
  if (!object || !statement) return;
  int count = sqlite3_column_count(statement);
  for (int i = 0; i < count; ++i) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
    if (!text) continue;
    std::shared_ptr<NSString> value = zvt::SQString(text, sqlite3_column_bytes(statement, i));
    std::shared_ptr<NSString> key = zvt::SQString(sqlite3_column_name(statement, i));
    if (value && key) object->setValueForKey(value, key);
  }
}
