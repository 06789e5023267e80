#include "app/storage/TZDBManager.h"

#include <sqlite3.h>

#include <mutex>
#include <string>
#include <typeinfo>
#include <vector>

#include "foundation/sqlite/SQResultSet.h"
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

bool ensureTable(SQDatabase& db, const Table& table) {
  if (db.tableExists(NSString::stringWithUTF8String(bareName(table.name)))) return true;
  return db.executeUpdate(createSQL(table));
}

// Opens the connection for one operation and closes it when the operation ends.
class Session {
 public:
  explicit Session(TZDBManager& manager, bool cacheStatements = true) {
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

 private:
  std::shared_ptr<SQDatabase> db_;
};

}  // namespace

std::shared_ptr<TZDBManager> TZDBManager::sharedInstance() {
  static std::once_flag once;
  static std::shared_ptr<TZDBManager>* shared = nullptr;
  std::call_once(once, [] { shared = new std::shared_ptr<TZDBManager>(std::make_shared<TZDBManager>()); });
  return *shared;
}

std::shared_ptr<NSString> TZDBManager::databaseFilePath() const {
  auto documents = zvt::as<NSString>(NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true)->firstObject());
  return documents->stringByAppendingPathComponent("db.sqlite"_ns);
}

void TZDBManager::creatDatabase() { database_ = SQDatabase::databaseWithPath(databaseFilePath()); }

bool TZDBManager::creatTable(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix) {
  Table table = tableOf(model, suffix);
  if (!table.ok) return false;
  Session db(*this);
  return db && ensureTable(*db, table);
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
  Session db(*this);
  if (!db || !ensureTable(*db, table)) return false;

  auto values = rowValues(model, table);
  const std::string& first = table.columns.front();
  auto lookup = db->executeQueryWithArgumentsInArray(
      NSString::stringWithUTF8String("select * from " + table.name + " where " + sqlName(first) + " = ?"),
      NSArray::make({values->objectAtIndex(0)}));
  if (!lookup) return false;
  bool found = lookup->next();
  lookup->close();
  if (!found) return db->executeUpdateWithArgumentsInArray(insertSQL(table), values);

  std::vector<std::string> columns;
  for (const auto& column : table.columns) columns.push_back(sqlName(column));
  std::string condition = key ? sqlName(key->utf8()) : sqlName(first);
  auto arguments = NSMutableArray::arrayWithArray(values);
  arguments->addObject(key ? storedValue(value) : values->objectAtIndex(0));
  return db->executeUpdateWithArgumentsInArray(
      NSString::stringWithUTF8String("update " + table.name + " set " + joined(columns, "%@ = ?", ",") + " where " +
                                     condition + " = ?"),
      arguments);
}

bool TZDBManager::deleteModelInDatabase(const std::shared_ptr<TZParentModel>& model,
                                        const std::shared_ptr<NSString>& suffix, const std::shared_ptr<NSString>& key,
                                        const id& value) {
  Table table = tableOf(model, suffix);
  if (!table.ok || !isColumn(table, key)) return false;
  Session db(*this);
  if (!db) return false;
  if (!db->tableExists(NSString::stringWithUTF8String(bareName(table.name)))) return true;
  return db->executeUpdateWithArgumentsInArray(
      NSString::stringWithUTF8String("delete from " + table.name + " where " + sqlName(key->utf8()) + " = ?"),
      NSArray::make({storedValue(value)}));
}

bool TZDBManager::deleteTable(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix) {
  Table table = tableOf(model, suffix);
  if (!table.ok) return false;
  Session db(*this, false);
  if (!db) return false;
  // A missing table is no failure of the caller's: there is nothing to drop.
  if (!db->tableExists(NSString::stringWithUTF8String(bareName(table.name)))) return true;
  return db->executeUpdate(NSString::stringWithUTF8String("drop table " + table.name));
}

std::shared_ptr<NSMutableArray> TZDBManager::selectModelArrayInDatabase(const std::shared_ptr<TZParentModel>& model,
                                                                        const std::shared_ptr<NSString>& suffix,
                                                                        const ModelFactory& factory) {
  Table table = tableOf(model, suffix);
  if (!table.ok || !factory) return nullptr;
  Session db(*this);
  if (!db || !ensureTable(*db, table)) return nullptr;
  auto rows = db->executeQuery(NSString::stringWithUTF8String("select * from " + table.name));
  if (!rows) return nullptr;
  auto result = NSMutableArray::array();
  while (rows->next()) {
    auto object = factory();
    if (!object) continue;
    for (const auto& column : table.columns) {
      auto text = rows->stringForColumn(std::string_view(column));
      if (text) object->setValueForKey(text, NSString::stringWithUTF8String(column));
    }
    result->addObject(object);
  }
  rows->close();
  return result;
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
  Session db(*this);
  if (!db || !db->beginTransaction()) return false;
  bool ok = true;
  if (db->tableExists(NSString::stringWithUTF8String(bareName(table.name)))) {
    ok = db->executeUpdate(NSString::stringWithUTF8String("drop table " + table.name));
  }
  ok = ok && db->executeUpdate(createSQL(table));
  if (ok && items) {
    auto insert = insertSQL(table);
    for (const id& item : *items) {
      ok = db->executeUpdateWithArgumentsInArray(insert, rowValues(std::static_pointer_cast<TZParentModel>(item), table));
      if (!ok) break;
    }
  }
  if (ok) return db->commit();
  db->rollback();
  return false;
}

std::shared_ptr<NSArray> TZDBManager::getAllProperties(const std::shared_ptr<NSObject>& object) const {
  auto names = NSMutableArray::array();
  if (!object) return names;
  for (const auto& name : declaredProperties(*object)) names->addObject(NSString::stringWithUTF8String(name));
  return names;
}
