#include "foundation/sqlite/SQDatabaseQueue.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "foundation/sqlite/SQLog.h"
#include "foundation/sqlite/SQTransaction.h"

using zvt::SQLog;
using zvt::SQLogFormat;

namespace {

// The queue-specific key under which each work queue carries its SQDatabaseQueue.
const char kDispatchQueueSpecificKey = 0;

// Save-point names of all queues of the process.
std::atomic<long> gQueueSavePointCounter{0};

[[noreturn]] void reentrantCall() {
  std::fprintf(stderr,
               "Assertion failed: (currentSyncQueue != self && \"inDatabase: was called reentrantly on the same "
               "queue, which would lead to a deadlock\"), function -[SQDatabaseQueue inDatabase:], file "
               "SQDatabaseQueue.\n");
  std::fflush(stderr);
  std::abort();
}

// Runs `work` synchronously on `queue`; an exception thrown by the caller's block is carried
// out of the queue and rethrown on the calling side, so the queue itself never unwinds.
void syncOnQueue(const dispatch_queue_t& queue, const std::function<void()>& work) {
  std::exception_ptr failure;
  dispatch_sync(queue, [&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

SQDatabaseQueue::~SQDatabaseQueue() {
  if (queue_) dispatch_queue_set_specific(queue_, &kDispatchQueueSpecificKey, nullptr, nullptr);
}

std::shared_ptr<SQDatabaseQueue> SQDatabaseQueue::databaseQueueWithPath(const std::shared_ptr<NSString>& path) {
  return initWithPath(path);
}

std::shared_ptr<SQDatabaseQueue> SQDatabaseQueue::databaseQueueWithPath(const std::shared_ptr<NSString>& path,
                                                                        int openFlags) {
  return initWithPath(path, openFlags);
}

std::shared_ptr<SQDatabaseQueue> SQDatabaseQueue::initWithPath(const std::shared_ptr<NSString>& path) {
  return initWithPath(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
}

std::shared_ptr<SQDatabaseQueue> SQDatabaseQueue::initWithPath(const std::shared_ptr<NSString>& path, int openFlags) {
  return initWithPath(path, openFlags, nullptr);
}

std::shared_ptr<SQDatabaseQueue> SQDatabaseQueue::initWithPath(const std::shared_ptr<NSString>& path, int openFlags,
                                                               const std::shared_ptr<NSString>& vfsName) {
  auto queue = std::make_shared<SQDatabaseQueue>(Private{});
  if (!queue->setUp(path, openFlags, vfsName)) return nullptr;
  return queue;
}

bool SQDatabaseQueue::setUp(const std::shared_ptr<NSString>& path, int openFlags,
                            const std::shared_ptr<NSString>& vfsName) {
  db_ = databaseClass(path);
  if (!db_ || !db_->openWithFlags(openFlags, vfsName)) {
    SQLogFormat("Could not create database queue for path %@", path);
    db_.reset();
    return false;
  }
  path_ = path;
  vfsName_ = vfsName;
  std::shared_ptr<NSString> label = NSString::stringWithFormat("sqdb.%@", description());
  queue_ = dispatch_queue_create(label->UTF8String(), DISPATCH_QUEUE_SERIAL);
  dispatch_queue_set_specific(queue_, &kDispatchQueueSpecificKey, this, nullptr);
  openFlags_ = openFlags;
  return true;
}

std::shared_ptr<SQDatabase> SQDatabaseQueue::database() {
  if (!db_) {
    // Reopened as it was first opened: same connection class, flags and VFS.
    db_ = databaseClass(path_);
    if (!db_ || !db_->openWithFlags(openFlags_, vfsName_)) {
      SQLogFormat("SQDatabaseQueue could not reopen database for path %@", path_);
      db_.reset();
    }
  }
  return db_;
}

void SQDatabaseQueue::close() {
  syncOnQueue(queue_, [&] {
    if (db_) db_->close();
    db_.reset();
  });
}

void SQDatabaseQueue::inDatabase(const DatabaseBlock& block) {
  auto* currentSyncQueue = static_cast<SQDatabaseQueue*>(dispatch_get_specific(&kDispatchQueueSpecificKey));
  if (currentSyncQueue == this) reentrantCall();
  syncOnQueue(queue_, [&] {
    std::shared_ptr<SQDatabase> db = database();
    block(db);
    if (db && db->hasOpenResultSets()) {
      SQLog("Warning: there is at least one open result set around after performing [SQDatabaseQueue inDatabase:]");
    }
  });
}

bool SQDatabaseQueue::runTransaction(bool deferred, const TransactionBlock& block) {
  bool committed = false;
  syncOnQueue(queue_, [&] {
    std::shared_ptr<SQDatabase> db = database();
    if (db) committed = zvt::runInTransaction(db, deferred, block);
  });
  return committed;
}

bool SQDatabaseQueue::inTransaction(const TransactionBlock& block) { return runTransaction(false, block); }

bool SQDatabaseQueue::inDeferredTransaction(const TransactionBlock& block) { return runTransaction(true, block); }

std::shared_ptr<NSError> SQDatabaseQueue::inSavePoint(const TransactionBlock& block) {
  std::shared_ptr<NSError> error;
  syncOnQueue(queue_, [&] {
    std::shared_ptr<NSString> name = NSString::stringWithFormat("savePoint%ld", gQueueSavePointCounter.fetch_add(1));
    std::shared_ptr<SQDatabase> db = database();
    if (!db) {
      error = NSError::errorWithDomain(
          "SQDatabase"_ns, SQLITE_CANTOPEN,
          NSDictionary::dictionaryWithObject("the database could not be opened"_ns, NSLocalizedDescriptionKey.get()));
      return;
    }
    error = zvt::runInSavePoint(db, name, block);
  });
  return error;
}
