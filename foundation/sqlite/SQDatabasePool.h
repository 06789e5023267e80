#pragma once
// Several connections to one database file, lent out one per piece of work: the block runs on
// the caller's thread with a connection nobody else is using at the same time. Only the
// pool's bookkeeping is serialised (on its lock queue).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/sqlite/SQDatabase.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class SQDatabasePool;

// Both optional: a connection is added unless the delegate says otherwise.
class SQDatabasePoolDelegate {
 public:
  virtual ~SQDatabasePoolDelegate() = default;
  // NO refuses a freshly opened or reused connection: it is closed and not lent.
  virtual bool databasePoolShouldAddDatabaseToPool(SQDatabasePool&, const std::shared_ptr<SQDatabase>&) {
    return true;
  }
  // After a new connection was created and lent.
  virtual void databasePoolDidAddDatabase(SQDatabasePool&, const std::shared_ptr<SQDatabase>&) {}
};

class SQDatabasePool : public NSObject {
 public:
  using DatabaseBlock = std::function<void(const std::shared_ptr<SQDatabase>& db)>;
  using TransactionBlock = std::function<void(const std::shared_ptr<SQDatabase>& db, bool* rollback)>;

  struct Private {};
  explicit SQDatabasePool(Private) {}
  ~SQDatabasePool() override;

  static std::shared_ptr<SQDatabasePool> databasePoolWithPath(const std::shared_ptr<NSString>& path);
  static std::shared_ptr<SQDatabasePool> databasePoolWithPath(const std::shared_ptr<NSString>& path, int openFlags);
  static std::shared_ptr<SQDatabasePool> make() { return initWithPath(nullptr); }
  static std::shared_ptr<SQDatabasePool> initWithPath(const std::shared_ptr<NSString>& path);
  static std::shared_ptr<SQDatabasePool> initWithPath(const std::shared_ptr<NSString>& path, int openFlags);

  const std::shared_ptr<NSString>& path() const { return path_; }
  void setPath(const std::shared_ptr<NSString>& path) { path_ = path; }
  // Not retained.
  std::shared_ptr<SQDatabasePoolDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<SQDatabasePoolDelegate>& delegate) { delegate_ = delegate; }
  // 0: no limit.
  NSUInteger maximumNumberOfDatabasesToCreate() const { return maximumNumberOfDatabasesToCreate_; }
  void setMaximumNumberOfDatabasesToCreate(NSUInteger maximum) { maximumNumberOfDatabasesToCreate_ = maximum; }
  int openFlags() const { return openFlags_; }

  NSUInteger countOfCheckedInDatabases();
  NSUInteger countOfCheckedOutDatabases();
  NSUInteger countOfOpenDatabases();
  // Forgets every connection; each closes when its last user lets it go.
  void releaseAllDatabases();

  // The block gets nil when no connection could be lent.
  void inDatabase(const DatabaseBlock& block);
  // As SQDatabaseQueue: YES when the block's work was committed.
  bool inTransaction(const TransactionBlock& block);
  bool inDeferredTransaction(const TransactionBlock& block);
  std::shared_ptr<NSError> inSavePoint(const TransactionBlock& block);

  // Lends a connection (nil when none can be opened or the maximum is reached) and takes it
  // back; returning one that is already idle raises "Database already in pool".
  std::shared_ptr<SQDatabase> db();
  void pushDatabaseBackInPool(const std::shared_ptr<SQDatabase>& db);

 private:
  bool runTransaction(bool deferred, const TransactionBlock& block);

  std::shared_ptr<NSString> path_;
  std::weak_ptr<SQDatabasePoolDelegate> delegate_;
  NSUInteger maximumNumberOfDatabasesToCreate_ = 0;
  int openFlags_ = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  dispatch_queue_t lockQueue_;
  std::vector<std::shared_ptr<SQDatabase>> databaseInPool_;
  std::vector<std::shared_ptr<SQDatabase>> databaseOutPool_;
};
