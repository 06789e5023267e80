#pragma once
// How a block runs inside a transaction or a save point, shared by the database queue and the
// pool so both end an interrupted or refused transaction the same way.

#include <functional>
#include <memory>

#include "foundation/sqlite/SQDatabase.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSString.h"

namespace zvt {

using SQTransactionBlock = std::function<void(const std::shared_ptr<SQDatabase>& db, bool* rollback)>;

// Runs `block` on an open `db` in a transaction; true when it was committed.
inline bool runInTransaction(const std::shared_ptr<SQDatabase>& db, bool deferred, const SQTransactionBlock& block) {
  // Work that runs outside the transaction it asked for could not be undone; skip it.
  if (!(deferred ? db->beginDeferredTransaction() : db->beginTransaction())) return false;
  bool shouldRollback = false;
  try {
    block(db, &shouldRollback);
  } catch (...) {
    db->rollback();
    throw;
  }
  if (shouldRollback) {
    db->rollback();
    return false;
  }
  if (db->commit()) return true;
  // A refused commit leaves the transaction open; end it so the connection stays usable.
  db->rollback();
  return false;
}

// Runs `block` on an open `db` inside the save point `name`; the first error met, if any.
inline std::shared_ptr<NSError> runInSavePoint(const std::shared_ptr<SQDatabase>& db,
                                               const std::shared_ptr<NSString>& name,
                                               const SQTransactionBlock& block) {
  std::shared_ptr<NSError> error;
  if (!db->startSavePointWithName(name, &error)) return error;
  bool shouldRollback = false;
  try {
    block(db, &shouldRollback);
  } catch (...) {
    db->rollbackToSavePointWithName(name, nullptr);
    db->releaseSavePointWithName(name, nullptr);
    throw;
  }
  if (shouldRollback) db->rollbackToSavePointWithName(name, &error);
  db->releaseSavePointWithName(name, &error);
  return error;
}

}  // namespace zvt
