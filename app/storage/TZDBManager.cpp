#include "app/storage/TZDBManager.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

#include "foundation/sqlite/SQResultSet.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"

namespace {

bool isIdentifier(std::string_view name) {
  if (name.empty()) return false;
  auto first = static_cast<unsigned char>(name[0]);
  if (!(std::isalpha(first) || first == '_')) return false;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) || u == '_')) return false;
  }
  return true;
}

// The identifier as SQL text: plain, or quoted when SQLite would read it as a keyword.
std::string sqlName(const std::string& name) {
  if (sqlite3_keyword_check(name.data(), static_cast<int>(name.size()))) return "\"" + name + "\"";
  return name;
}

std::vector<std::string> declaredProperties(const NSObject& object) {
  std::vector<std::string> names = object.kvcClass() ? object.kvcClass()->propertyNames() : std::vector<std::string>{};
  // The model base's own properties (none today) belong to every table's class, not to it.
  if (dynamic_cast<const TZParentModel*>(&object)) {
    const auto& base = TZParentModel::classTable()->properties();
    std::erase_if(names, [&](const std::string& name) {
      for (const auto& p : base) {
        if (p.name == name) return true;
      }
      return false;
    });
  }
  return names;
}

// What a statement needs of a model: its table and columns, all checked.
struct Table {
  bool ok = false;
  std::string name;                  // SQL text
  std::vector<std::string> columns;  // property names
};

Table tableOf(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix) {
  Table table;
  if (!model) return table;
  std::string name = model->className() + (suffix ? suffix->utf8() : std::string());
  if (!isIdentifier(name)) return table;
  table.columns = declaredProperties(*model);
  if (table.columns.empty()) return table;
  for (const auto& column : table.columns) {
    if (!isIdentifier(column) || column == "id") return table;
  }
  table.name = sqlName(name);
  table.ok = true;
  return table;
}

bool isColumn(const Table& table, const std::shared_ptr<NSString>& key) {
  if (!key) return false;
  for (const auto& column : table.columns) {
    if (column == key->utf8()) return true;
  }
  return false;
}

// A stored value: text, or NSNull (SQL NULL) for nil.
id storedValue(const id& value) {
  if (zvt::isNullOrNil(value)) return NSNull::null();
  if (auto text = zvt::as<NSString>(value)) return text;
  if (auto number = zvt::as<NSNumber>(value)) return number->stringValue();
  return value->description();
}

std::shared_ptr<NSMutableArray> rowValues(const std::shared_ptr<TZParentModel>& model, const Table& table) {
  auto values = NSMutableArray::array();
  for (const auto& column : table.columns) {
    values->addObject(storedValue(model->valueForKey(NSString::stringWithUTF8String(column))));
  }
  return values;
}

std::string joined(const std::vector<std::string>& parts, const std::string& each, const char* separator) {
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) text += separator;
    std::string piece = each;
    if (auto at = piece.find("%@"); at != std::string::npos) piece.replace(at, 2, parts[i]);
    text += piece;
  }
  return text;
}

std::shared_ptr<NSString> createSQL(const Table& table) {
  std::vector<std::string> columns;
  for (const auto& column : table.columns) columns.push_back(sqlName(column));
  return NSString::stringWithUTF8String("create table " + table.name + "(id INTEGER PRIMARY KEY" +
                                        joined(columns, ",%@ TEXT", "") + ")");
}

std::shared_ptr<NSString> insertSQL(const Table& table) {
  std::vector<std::string> columns, marks;
  for (const auto& column : table.columns) {
    columns.push_back(sqlName(column));
    marks.push_back("?");
  }
  return NSString::stringWithUTF8String("INSERT INTO " + table.name + " (" + joined(columns, "%@", ",") +
                                        ") VALUES (" + joined(marks, "%@", ",") + ")");
}

std::string bareName(const std::string& sqlText) {
  return sqlText.size() > 1 && sqlText.front() == '"' ? sqlText.substr(1, sqlText.size() - 2) : sqlText;
}

// What SQLite answers for a file that is no database (garbage) or a damaged one.
bool isDamage(int code) {
  code &= 0xff;
  return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

// Opens the connection for one operation and closes it when the operation ends. Every
// statement's outcome goes through check() or step(), which remember a failure and whether
// SQLite blamed the file itself.
class Session {
 public:
  Session(TZDBManager& manager, bool cacheStatements) {
    if (!manager.database()) manager.creatDatabase();
    db_ = manager.database();
    // A failed open leaves no connection attached: the next operation tries afresh.
    if (!db_->open()) {
      db_.reset();
      return;
    }
    if (cacheStatements) db_->setShouldCacheStatements(true);
  }
  ~Session() {
    if (db_) db_->close();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  explicit operator bool() const { return db_ != nullptr; }
  SQDatabase* operator->() const { return db_.get(); }
  SQDatabase& operator*() const { return *db_; }

  // The outcome of one statement: a failure is remembered with SQLite's reason.
  bool check(bool ok) {
    if (!ok) fail(db_->lastErrorCode());
    return ok;
  }
  // One row of a query; false at the end or on a failure (which is remembered).
  bool step(SQResultSet& rows) {
    std::shared_ptr<NSError> error;
    if (rows.nextWithError(&error)) return true;
    if (error) fail(static_cast<int>(error->code()));
    return false;
  }
  bool failed() const { return failed_; }
  bool damaged() const { return damaged_; }

 private:
  void fail(int code) {
    failed_ = true;
    damaged_ = damaged_ || isDamage(code);
  }

  std::shared_ptr<SQDatabase> db_;
  bool failed_ = false;
  bool damaged_ = false;
};

enum class TableState { missing, present, unknown };

// Whether the table exists, telling a failed look-up apart from a missing table.
TableState tableState(Session& db, const Table& table) {
  auto rows = db->executeQuery("select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?"_ns,
                               NSString::stringWithUTF8String(bareName(table.name))->lowercaseString());
  if (!db.check(rows != nullptr)) return TableState::unknown;
  bool found = db.step(*rows);
  rows->close();
  if (db.failed()) return TableState::unknown;
  return found ? TableState::present : TableState::missing;
}

bool ensureTable(Session& db, const Table& table) {
  switch (tableState(db, table)) {
    case TableState::present:
      return true;
    case TableState::missing:
      return db.check(db->executeUpdate(createSQL(table)));
    case TableState::unknown:
      break;
  }
  return false;
}

}  // namespace

std::shared_ptr<TZDBManager> TZDBManager::sharedInstance() {
  static std::once_flag once;
  static std::shared_ptr<TZDBManager>* shared = nullptr;
  std::call_once(once, [] { shared = new std::shared_ptr<TZDBManager>(std::make_shared<TZDBManager>()); });
  return *shared;
}

std::shared_ptr<SQDatabase> TZDBManager::database() const {
  std::lock_guard lock(mutex_);
  return database_;
}

void TZDBManager::setDatabase(const std::shared_ptr<SQDatabase>& database) {
  std::lock_guard lock(mutex_);
  database_ = database;
}

std::shared_ptr<NSString> TZDBManager::databaseFilePath() const {
  auto documents = zvt::as<NSString>(NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true)->firstObject());
  return documents->stringByAppendingPathComponent("db.sqlite"_ns);
}

void TZDBManager::creatDatabase() {
  std::lock_guard lock(mutex_);
  database_ = SQDatabase::databaseWithPath(databaseFilePath());
}

template <class Result, class Work>
Result TZDBManager::perform(bool cacheStatements, Result failed, Work&& work) {
  std::lock_guard lock(mutex_);
  for (int attempt = 0;; ++attempt) {
    bool damaged = false;
    {
      Session db(*this, cacheStatements);
      if (!db) return failed;
      Result result = work(db);
      if (!db.failed()) return result;
      damaged = db.damaged();
    }
    // Closed by now: a damaged file is set aside once and the work tried on a fresh one.
    if (!damaged || attempt > 0 || !moveDamagedFileAside()) return failed;
  }
}

bool TZDBManager::moveDamagedFileAside() {
  auto path = database_ ? database_->databasePath() : nullptr;
  // An in-memory database has no file; one still open cannot be swapped underneath.
  if (!path || path->length() == 0 || database_->sqliteHandle()) return false;
  const std::string file = path->utf8();
  const std::string aside = file + ".damaged";
  // The journals go with it: SQLite would otherwise play them back into the fresh file.
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    if (std::rename((file + suffix).c_str(), (aside + suffix).c_str()) != 0 && errno != ENOENT) {
      zvt::logFormat(zvt::LogLevel::Error, "The damaged cache database %s could not be moved aside: %s", file + suffix,
                     std::string(std::strerror(errno)));
      return false;
    }
  }
  zvt::logFormat(zvt::LogLevel::Warning, "The cache database %s was damaged; it was moved aside to %s and starts afresh",
                 file, aside);
  return true;
}

bool TZDBManager::creatTable(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix) {
  Table table = tableOf(model, suffix);
  if (!table.ok) return false;
  return perform(true, false, [&](Session& db) { return ensureTable(db, table); });
}

bool TZDBManager::insertAndUpdateModelToDatabase(const std::shared_ptr<TZParentModel>& model,
                                                 const std::shared_ptr<NSString>& suffix) {
  return insertAndUpdateModelToDatabase(model, suffix, nullptr, nullptr);
}

bool TZDBManager::insertAndUpdateModelToDatabase(const std::shared_ptr<TZParentModel>& model,
                                                 const std::shared_ptr<NSString>& suffix,
                                                 const std::shared_ptr<NSString>& key, const id& value) {
  Table table = tableOf(model, suffix);
  if (!table.ok || (key && !isColumn(table, key))) return false;
  auto values = rowValues(model, table);
  return perform(true, false, [&](Session& db) {
    if (!ensureTable(db, table)) return false;
    const std::string& first = table.columns.front();
    auto lookup = db->executeQueryWithArgumentsInArray(
        NSString::stringWithUTF8String("select * from " + table.name + " where " + sqlName(first) + " = ?"),
        NSArray::make({values->objectAtIndex(0)}));
    if (!db.check(lookup != nullptr)) return false;
    bool found = db.step(*lookup);
    lookup->close();
    if (db.failed()) return false;
    if (!found) return db.check(db->executeUpdateWithArgumentsInArray(insertSQL(table), values));

    std::vector<std::string> columns;
    for (const auto& column : table.columns) columns.push_back(sqlName(column));
    std::string condition = key ? sqlName(key->utf8()) : sqlName(first);
    auto arguments = NSMutableArray::arrayWithArray(values);
    arguments->addObject(key ? storedValue(value) : values->objectAtIndex(0));
    return db.check(db->executeUpdateWithArgumentsInArray(
        NSString::stringWithUTF8String("update " + table.name + " set " + joined(columns, "%@ = ?", ",") + " where " +
                                       condition + " = ?"),
        arguments));
  });
}

bool TZDBManager::deleteModelInDatabase(const std::shared_ptr<TZParentModel>& model,
                                        const std::shared_ptr<NSString>& suffix, const std::shared_ptr<NSString>& key,
                                        const id& value) {
  Table table = tableOf(model, suffix);
  if (!table.ok || !isColumn(table, key)) return false;
  return perform(true, false, [&](Session& db) {
    switch (tableState(db, table)) {
      case TableState::missing:
        return true;  // no rows to delete
      case TableState::unknown:
        return false;
      case TableState::present:
        break;
    }
    return db.check(db->executeUpdateWithArgumentsInArray(
        NSString::stringWithUTF8String("delete from " + table.name + " where " + sqlName(key->utf8()) + " = ?"),
        NSArray::make({storedValue(value)})));
  });
}

bool TZDBManager::deleteTable(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix) {
  Table table = tableOf(model, suffix);
  if (!table.ok) return false;
  return perform(false, false, [&](Session& db) {
    switch (tableState(db, table)) {
      case TableState::missing:
        return true;  // no failure of the caller's: there is nothing to drop
      case TableState::unknown:
        return false;
      case TableState::present:
        break;
    }
    return db.check(db->executeUpdate(NSString::stringWithUTF8String("drop table " + table.name)));
  });
}

std::shared_ptr<NSMutableArray> TZDBManager::selectModelArrayInDatabase(const std::shared_ptr<TZParentModel>& model,
                                                                        const std::shared_ptr<NSString>& suffix,
                                                                        const ModelFactory& factory) {
  Table table = tableOf(model, suffix);
  if (!table.ok || !factory) return nullptr;
  return perform(true, std::shared_ptr<NSMutableArray>(), [&](Session& db) -> std::shared_ptr<NSMutableArray> {
    if (!ensureTable(db, table)) return nullptr;
    auto rows = db->executeQuery(NSString::stringWithUTF8String("select * from " + table.name));
    if (!db.check(rows != nullptr)) return nullptr;
    auto result = NSMutableArray::array();
    while (db.step(*rows)) {
      auto object = factory();
      if (!object) continue;
      for (const auto& column : table.columns) {
        auto text = rows->stringForColumn(std::string_view(column));
        if (text) object->setValueForKey(text, NSString::stringWithUTF8String(column));
      }
      result->addObject(object);
    }
    rows->close();
    return db.failed() ? nullptr : result;
  });
}

bool TZDBManager::replaceList(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix,
                              const std::shared_ptr<NSArray>& items) {
  Table table = tableOf(model, suffix);
  if (!table.ok) return false;
  // Every item must be of the table's class.
  if (items) {
    const NSObject& modelObject = *model;
    const std::type_info& modelClass = typeid(modelObject);
    for (const id& item : *items) {
      if (!item) return false;
      const NSObject& itemObject = *item;
      if (typeid(itemObject) != modelClass) return false;
    }
  }
  return perform(true, false, [&](Session& db) {
    if (!db.check(db->beginTransaction())) return false;
    bool ok = true;
    switch (tableState(db, table)) {
      case TableState::present:
        ok = db.check(db->executeUpdate(NSString::stringWithUTF8String("drop table " + table.name)));
        break;
      case TableState::missing:
        break;
      case TableState::unknown:
        ok = false;
        break;
    }
    ok = ok && db.check(db->executeUpdate(createSQL(table)));
    if (ok && items) {
      auto insert = insertSQL(table);
      for (const id& item : *items) {
        ok = db.check(db->executeUpdateWithArgumentsInArray(
            insert, rowValues(std::static_pointer_cast<TZParentModel>(item), table)));
        if (!ok) break;
      }
    }
    if (ok && db.check(db->commit())) return true;
    db->rollback();
    return false;
  });
}

std::shared_ptr<NSArray> TZDBManager::getAllProperties(const std::shared_ptr<NSObject>& object) const {
  auto names = NSMutableArray::array();
  if (!object) return names;
  for (const auto& name : declaredProperties(*object)) names->addObject(NSString::stringWithUTF8String(name));
  return names;
}
