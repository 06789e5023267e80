#include "foundation/sqlite/SQDatabasePool.h"

#include <algorithm>
#include <atomic>

#include "foundation/sqlite/SQLog.h"
#include "foundation/sqlite/SQTransaction.h"
#include "platform/foundation/NSException.h"

using zvt::SQLogFormat;

namespace {

// Save-point names of all pools of the process.
std::atomic<long> gPoolSavePointCounter{0};

bool contains(const std::vector<std::shared_ptr<SQDatabase>>& list, const std::shared_ptr<SQDatabase>& db) {
  return std::find(list.begin(), list.end(), db) != list.end();
}

// Gives the lent connection back however the block ends.
class Loan {
 public:
  Loan(SQDatabasePool& pool, std::shared_ptr<SQDatabase> db) : pool_(pool), db_(std::move(db)) {}
  ~Loan() noexcept(false) {
    if (std::uncaught_exceptions() > 0) {
      try {
        pool_.pushDatabaseBackInPool(db_);
      } catch (...) {
      }
    } else {
      pool_.pushDatabaseBackInPool(db_);
    }
  }
  const std::shared_ptr<SQDatabase>& db() const { return db_; }

 private:
  SQDatabasePool& pool_;
  std::shared_ptr<SQDatabase> db_;
};

}  // namespace

SQDatabasePool::~SQDatabasePool() = default;

std::shared_ptr<SQDatabasePool> SQDatabasePool::databasePoolWithPath(const std::shared_ptr<NSString>& path) {
  return initWithPath(path);
}

std::shared_ptr<SQDatabasePool> SQDatabasePool::databasePoolWithPath(const std::shared_ptr<NSString>& path,
                                                                     int openFlags) {
  return initWithPath(path, openFlags);
}

std::shared_ptr<SQDatabasePool> SQDatabasePool::initWithPath(const std::shared_ptr<NSString>& path) {
  return initWithPath(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

std::shared_ptr<SQDatabasePool> SQDatabasePool::initWithPath(const std::shared_ptr<NSString>& path, int openFlags) {
  auto pool = std::make_shared<SQDatabasePool>(Private{});
  pool->path_ = path ? path->copy() : nullptr;
  pool->openFlags_ = openFlags;
  std::shared_ptr<NSString> label = NSString::stringWithFormat("sqdb.%@", pool->description());
  pool->lockQueue_ = dispatch_queue_create(label->UTF8String(), DISPATCH_QUEUE_SERIAL);
  return pool;
}

NSUInteger SQDatabasePool::countOfCheckedInDatabases() {
  NSUInteger count = 0;
  dispatch_sync(lockQueue_, [&] { count = databaseInPool_.size(); });
  return count;
}

NSUInteger SQDatabasePool::countOfCheckedOutDatabases() {
  NSUInteger count = 0;
  dispatch_sync(lockQueue_, [&] { count = databaseOutPool_.size(); });
  return count;
}

NSUInteger SQDatabasePool::countOfOpenDatabases() {
  NSUInteger count = 0;
  dispatch_sync(lockQueue_, [&] { count = databaseInPool_.size() + databaseOutPool_.size(); });
  return count;
}

void SQDatabasePool::releaseAllDatabases() {
  std::vector<std::shared_ptr<SQDatabase>> released;
  dispatch_sync(lockQueue_, [&] {
    released = std::move(databaseInPool_);
    released.insert(released.end(), databaseOutPool_.begin(), databaseOutPool_.end());
    databaseInPool_.clear();
    databaseOutPool_.clear();
  });
  // The idle connections close here, outside the lock queue; lent ones when their users finish.
}

std::shared_ptr<SQDatabase> SQDatabasePool::db() {
  std::shared_ptr<SQDatabase> lent;
  dispatch_sync(lockQueue_, [&] {
    std::shared_ptr<SQDatabase> db;
    bool isNew = false;
    if (!databaseInPool_.empty()) {
      db = databaseInPool_.back();
      databaseInPool_.pop_back();
      databaseOutPool_.push_back(db);
    } else {
      NSUInteger open = databaseInPool_.size() + databaseOutPool_.size();
      if (maximumNumberOfDatabasesToCreate_ != 0 && open >= maximumNumberOfDatabasesToCreate_) {
        SQLogFormat("Maximum number of databases (%ld) has already been reached!", static_cast<long>(open));
        return;
      }
      db = SQDatabase::databaseWithPath(path_);
      isNew = true;
    }

    bool usable = db->openWithFlags(openFlags_);
    std::shared_ptr<SQDatabasePoolDelegate> delegate = delegate_.lock();
    if (!usable) {
      SQLogFormat("Could not open up the database at path %@", path_);
    } else if (delegate && !delegate->databasePoolShouldAddDatabaseToPool(*this, db)) {
      db->close();
      usable = false;
    }
    if (!usable) {
      // Neither lent nor idle: a refused or unopenable connection must not count against the
      // maximum or be handed back later.
      std::erase(databaseOutPool_, db);
      return;
    }
    if (!contains(databaseOutPool_, db)) {
      databaseOutPool_.push_back(db);
      if (isNew && delegate) delegate->databasePoolDidAddDatabase(*this, db);
    }
    lent = db;
  });
  return lent;
}

void SQDatabasePool::pushDatabaseBackInPool(const std::shared_ptr<SQDatabase>& db) {
  if (!db) return;
  bool alreadyInPool = false;
  dispatch_sync(lockQueue_, [&] {
    if (contains(databaseInPool_, db)) {
      alreadyInPool = true;
      return;
    }
    databaseInPool_.push_back(db);
    std::erase(databaseOutPool_, db);
  });
  if (alreadyInPool) {
    throw NSException("Database already in pool"_ns,
                      "The SQDatabase being put back into the pool is already present in the pool"_ns);
  }
}

void SQDatabasePool::inDatabase(const DatabaseBlock& block) {
  Loan loan(*this, db());
  block(loan.db());
}

bool SQDatabasePool::runTransaction(bool deferred, const TransactionBlock& block) {
  Loan loan(*this, db());
  const std::shared_ptr<SQDatabase>& db = loan.db();
  if (!db) return false;
  return zvt::runInTransaction(db, deferred, block);
}

bool SQDatabasePool::inTransaction(const TransactionBlock& block) { return runTransaction(false, block); }

bool SQDatabasePool::inDeferredTransaction(const TransactionBlock& block) { return runTransaction(true, block); }

std::shared_ptr<NSError> SQDatabasePool::inSavePoint(const TransactionBlock& block) {
  std::shared_ptr<NSString> name = NSString::stringWithFormat("savePoint%ld", gPoolSavePointCounter.fetch_add(1));
  Loan loan(*this, db());
  const std::shared_ptr<SQDatabase>& db = loan.db();
  if (!db) {
    return NSError::errorWithDomain(
        "SQDatabase"_ns, SQLITE_CANTOPEN,
        NSDictionary::dictionaryWithObject("no database could be lent from the pool"_ns,
                                           NSLocalizedDescriptionKey.get()));
  }
  return zvt::runInSavePoint(db, name, block);
}
