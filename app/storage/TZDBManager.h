#pragma once
// The local cache database: lists of model objects in "db.sqlite" of the Documents
// directory, one table per model class and list suffix ("TZHeaderInfoModel_banner"), with
// "id INTEGER PRIMARY KEY" and one TEXT column per property the model class declares, in
// declaration order. Values are stored as text (numbers by their text); nil is SQL NULL and
// reads back as nil.
//
// Table names and key columns are identifiers ([A-Za-z_][A-Za-z0-9_]*) and key columns must
// name declared properties; anything else is refused before any SQL is made. An identifier
// that is an SQL keyword is quoted. Values are always bound, never written into the SQL.
//
// Every operation opens the connection and closes it at its end. One that cannot open
// reports failure and leaves nothing attached, so the next call opens afresh. Any thread may
// call: one lock around the connection runs the operations one at a time.
//
// The file is only a cache. When SQLite says it is not a database or is corrupt, it is moved
// aside to "db.sqlite.damaged" (with its journal), the recovery is logged, and the operation
// runs once more on a fresh file.

#include <functional>
#include <memory>
#include <mutex>

#include "app/models/TZParentModel.h"
#include "foundation/sqlite/SQDatabase.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"

class TZDBManager : public NSObject {
 public:
  using ModelFactory = std::function<std::shared_ptr<TZParentModel>()>;

  static std::shared_ptr<TZDBManager> sharedInstance();

  // Made on first use for databaseFilePath(); a test may hand in its own.
  std::shared_ptr<SQDatabase> database() const;
  void setDatabase(const std::shared_ptr<SQDatabase>& database);

  std::shared_ptr<NSString> databaseFilePath() const;
  // A new, not yet opened connection for databaseFilePath().
  void creatDatabase();

  // Each answers NO when the names are refused, the database cannot be opened or a statement
  // fails (also one that only looks whether the table exists).
  bool creatTable(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix);
  // Stores the model as one row: the row whose first property equals the model's is
  // updated, otherwise a row is inserted. With a key, the update's condition is key = value.
  bool insertAndUpdateModelToDatabase(const std::shared_ptr<TZParentModel>& model,
                                      const std::shared_ptr<NSString>& suffix);
  bool insertAndUpdateModelToDatabase(const std::shared_ptr<TZParentModel>& model,
                                      const std::shared_ptr<NSString>& suffix, const std::shared_ptr<NSString>& key,
                                      const id& value);
  bool deleteModelInDatabase(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix,
                             const std::shared_ptr<NSString>& key, const id& value);
  bool deleteTable(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix);

  // New models of the model's class, one per row in the order SQLite returns them; the table
  // is created when missing (the list is then empty); nil when the database cannot be used.
  // The static type M must be the model's class (its objects are made).
  template <class M>
    requires std::is_base_of_v<TZParentModel, M>
  std::shared_ptr<NSMutableArray> selectModelArrayInDatabase(const std::shared_ptr<M>& model,
                                                             const std::shared_ptr<NSString>& suffix) {
    if (!model || typeid(*model) != typeid(M)) return nullptr;
    return selectModelArrayInDatabase(model, suffix, [] { return std::make_shared<M>(); });
  }
  std::shared_ptr<NSMutableArray> selectModelArrayInDatabase(const std::shared_ptr<TZParentModel>& model,
                                                             const std::shared_ptr<NSString>& suffix,
                                                             const ModelFactory& factory);

  // A list refresh in one transaction: the table of `model`'s class and the suffix is dropped,
  // created again and filled with `items` in order, one row each (items sharing a first
  // property stay separate rows). On failure the previous list stays.
  bool replaceList(const std::shared_ptr<TZParentModel>& model, const std::shared_ptr<NSString>& suffix,
                   const std::shared_ptr<NSArray>& items);

  // The names of the properties the object's class declares (those of the model base are
  // not included), in declaration order.
  std::shared_ptr<NSArray> getAllProperties(const std::shared_ptr<NSObject>& object) const;

 private:
  // Runs `work` on the opened connection under the lock; a damaged file is moved aside and
  // the work run once more. `failed` is the answer when the database cannot be used.
  template <class Result, class Work>
  Result perform(bool cacheStatements, Result failed, Work&& work);
  bool moveDamagedFileAside();

  mutable std::recursive_mutex mutex_;
  std::shared_ptr<SQDatabase> database_;
};
