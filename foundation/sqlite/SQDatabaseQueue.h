#pragma once
// One connection shared between threads: every piece of work runs, one at a time, on the
// queue's own serial dispatch queue, and is handed the connection. Call it synchronously from
// any thread except from inside a block it is running (that would deadlock and stops the
// process instead).

#include <functional>
#include <memory>

#include "foundation/sqlite/SQDatabase.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class SQDatabaseQueue : public NSObject {
 public:
  using DatabaseBlock = std::function<void(const std::shared_ptr<SQDatabase>& db)>;
  using TransactionBlock = std::function<void(const std::shared_ptr<SQDatabase>& db, bool* rollback)>;

  struct Private {};
  explicit SQDatabaseQueue(Private) {}
  ~SQDatabaseQueue() override;

  // nil when the database cannot be opened.
  static std::shared_ptr<SQDatabaseQueue> databaseQueueWithPath(const std::shared_ptr<NSString>& path);
  static std::shared_ptr<SQDatabaseQueue> databaseQueueWithPath(const std::shared_ptr<NSString>& path, int openFlags);
  static std::shared_ptr<SQDatabaseQueue> make() { return initWithPath(nullptr); }
  static std::shared_ptr<SQDatabaseQueue> initWithPath(const std::shared_ptr<NSString>& path);
  static std::shared_ptr<SQDatabaseQueue> initWithPath(const std::shared_ptr<NSString>& path, int openFlags);
  static std::shared_ptr<SQDatabaseQueue> initWithPath(const std::shared_ptr<NSString>& path, int openFlags,
                                                       const std::shared_ptr<NSString>& vfsName);

  // The connection class: the queue makes its connections (also when it reopens) through this.
  virtual std::shared_ptr<SQDatabase> databaseClass(const std::shared_ptr<NSString>& path) const {
    return SQDatabase::databaseWithPath(path);
  }

  const std::shared_ptr<NSString>& path() const { return path_; }
  void setPath(const std::shared_ptr<NSString>& path) { path_ = path; }
  int openFlags() const { return openFlags_; }

  // Closes and drops the connection; the next block opens the file again.
  void close();

  void inDatabase(const DatabaseBlock& block);
  // Exclusive ("begin exclusive transaction") and deferred transactions around the block; the
  // block sets *rollback to undo its work. YES when the work was committed; NO when the
  // transaction could not begin (the block did not run), was rolled back, or did not commit
  // (it was then rolled back).
  bool inTransaction(const TransactionBlock& block);
  bool inDeferredTransaction(const TransactionBlock& block);
  // The block inside a save point "savePoint<n>"; the last error of the save-point steps, or nil.
  std::shared_ptr<NSError> inSavePoint(const TransactionBlock& block);

 protected:
  // Opens the first connection and the work queue; NO when the database cannot be opened.
  bool setUp(const std::shared_ptr<NSString>& path, int openFlags, const std::shared_ptr<NSString>& vfsName);

 private:
  std::shared_ptr<SQDatabase> database();
  bool runTransaction(bool deferred, const TransactionBlock& block);

  std::shared_ptr<NSString> path_;
  std::shared_ptr<NSString> vfsName_;
  int openFlags_ = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  std::shared_ptr<SQDatabase> db_;
  dispatch_queue_t queue_;
};
