// One-value queries, schema queries and pragmas of the connection.

#include "foundation/sqlite/SQDatabase.h"
#include "foundation/sqlite/SQResultSet.h"
#include "foundation/sqlite/SQText.h"

bool SQDatabase::tableExists(const std::shared_ptr<NSString>& tableName) {
  std::shared_ptr<NSString> lowerName = tableName ? tableName->lowercaseString() : nullptr;
  std::shared_ptr<SQResultSet> resultSet =
      executeQuery("select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?"_ns, lowerName);
  if (!resultSet) return false;
  bool exists = resultSet->next();
  resultSet->close();
  return exists;
}

std::shared_ptr<SQResultSet> SQDatabase::getSchema() {
  return executeQuery(
      "SELECT type, name, tbl_name, rootpage, sql FROM (SELECT * FROM sqlite_master UNION ALL SELECT * FROM "
      "sqlite_temp_master) WHERE type != 'meta' AND name NOT LIKE 'sqlite_%' ORDER BY tbl_name, type DESC, name"_ns);
}

std::shared_ptr<SQResultSet> SQDatabase::getTableSchema(const std::shared_ptr<NSString>& tableName) {
  // The name goes between single quotes; doubling its own quotes keeps it one literal.
  return executeQuery(NSString::stringWithFormat("pragma table_info('%s')", zvt::SQQuoted(NSStringFromObject(tableName))));
}

bool SQDatabase::columnExistsInTableWithName(const std::shared_ptr<NSString>& columnName,
                                             const std::shared_ptr<NSString>& tableName) {
  if (!columnName || !tableName) return false;
  std::string lowerColumn = zvt::SQLowercase(columnName->view());
  std::shared_ptr<SQResultSet> resultSet = getTableSchema(tableName->lowercaseString());
  if (!resultSet) return false;
  bool exists = false;
  while (resultSet->next()) {
    std::shared_ptr<NSString> name = resultSet->stringForColumn("name");
    if (name && zvt::SQLowercase(name->view()) == lowerColumn) {
      exists = true;
      break;
    }
  }
  resultSet->close();
  return exists;
}

bool SQDatabase::columnExistsColumnName(const std::shared_ptr<NSString>& tableName,
                                        const std::shared_ptr<NSString>& columnName) {
  return columnExistsInTableWithName(columnName, tableName);
}

namespace {

uint32_t firstUnsigned(const std::shared_ptr<SQResultSet>& resultSet) {
  if (!resultSet) return 0;
  uint32_t value = 0;
  if (resultSet->next()) value = static_cast<uint32_t>(resultSet->longLongIntForColumnIndex(0));
  resultSet->close();
  return value;
}

}  // namespace

bool SQDatabase::runPragmaUpdate(const std::shared_ptr<NSString>& sql) {
  std::shared_ptr<SQResultSet> resultSet = executeQuery(sql);
  if (!resultSet) return false;
  resultSet->next();
  resultSet->close();
  return true;
}

uint32_t SQDatabase::applicationID() { return firstUnsigned(executeQuery("pragma application_id"_ns)); }

void SQDatabase::setApplicationID(uint32_t appID) {
  runPragmaUpdate(NSString::stringWithFormat("pragma application_id=%d", static_cast<int32_t>(appID)));
}

uint32_t SQDatabase::userVersion() { return firstUnsigned(executeQuery("pragma user_version"_ns)); }

void SQDatabase::setUserVersion(uint32_t version) {
  runPragmaUpdate(NSString::stringWithFormat("pragma user_version = %d", static_cast<int32_t>(version)));
}

bool SQDatabase::validateSQL(const std::shared_ptr<NSString>& sql, std::shared_ptr<NSError>* error) {
  auto fail = [&](int code, const std::shared_ptr<NSString>& message) {
    if (error) {
      *error = NSError::errorWithDomain(NSCocoaErrorDomain, code,
                                        NSDictionary::dictionaryWithObject(message, NSLocalizedDescriptionKey.get()));
    }
    return false;
  };
  if (!databaseExists()) return fail(SQLITE_MISUSE, zvt::SQString(sqlite3_errstr(SQLITE_MISUSE)));
  sqlite3_stmt* statement = nullptr;
  int result = sqlite3_prepare_v2(db_, sql ? sql->UTF8String() : "", -1, &statement, nullptr);
  bool valid = result == SQLITE_OK;
  if (!valid) fail(lastErrorCode(), lastErrorMessage());
  sqlite3_finalize(statement);
  return valid;
}
