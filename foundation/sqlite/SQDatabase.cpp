#include "foundation/sqlite/SQDatabase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <random>

#include "foundation/sqlite/SQLog.h"
#include "foundation/sqlite/SQResultSet.h"
#include "foundation/sqlite/SQText.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSTimeZone.h"

using zvt::SQArgument;
using zvt::SQLog;
using zvt::SQLogFormat;

namespace {

// Names of inSavePoint's save points; connections on any thread draw from it.
std::atomic<long> gSavePointCounter{0};

const std::string kEmptySQL;

// SQLite sleeps for real inside the busy handler, so the retry deadline is measured on the
// real monotonic clock, not on the application's (possibly virtual) clock.
double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int randomBusySleepMilliseconds() {
  thread_local std::minstd_rand generator(std::random_device{}());
  return 50 + static_cast<int>(generator() % 50);
}

void bindText(sqlite3_stmt* statement, int index, std::string_view text) {
  // Always a copy: the bytes of a temporary argument are gone by the time a query steps.
  sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The binding of a number of the given objCType kind (bool as 'B').
bool bindScalar(sqlite3_stmt* statement, int index, char type, int64_t i, uint64_t u, double d) {
  switch (type) {
    case 'c': sqlite3_bind_int(statement, index, static_cast<signed char>(i)); return true;
    case 'C': sqlite3_bind_int(statement, index, static_cast<unsigned char>(u)); return true;
    case 's': sqlite3_bind_int(statement, index, static_cast<short>(i)); return true;
    case 'S': sqlite3_bind_int(statement, index, static_cast<unsigned short>(u)); return true;
    case 'i': sqlite3_bind_int(statement, index, static_cast<int>(i)); return true;
    case 'I': sqlite3_bind_int64(statement, index, static_cast<unsigned int>(u)); return true;
    case 'l':
    case 'q': sqlite3_bind_int64(statement, index, i); return true;
    case 'L':
    case 'Q': sqlite3_bind_int64(statement, index, static_cast<int64_t>(u)); return true;
    case 'f': sqlite3_bind_double(statement, index, static_cast<float>(d)); return true;
    case 'd': sqlite3_bind_double(statement, index, d); return true;
    case 'B': sqlite3_bind_int(statement, index, i != 0 ? 1 : 0); return true;
    default: return false;
  }
}

bool isUnsignedType(char type) { return type == 'C' || type == 'S' || type == 'I' || type == 'L' || type == 'Q'; }
bool isFloatType(char type) { return type == 'f' || type == 'd'; }

struct ExecContext {
  const SQDatabase::ExecuteStatementsCallbackBlock* block;
};

int execCallback(void* context, int columns, char** values, char** names) noexcept {
  auto* exec = static_cast<ExecContext*>(context);
  try {
    auto row = NSMutableDictionary::dictionaryWithCapacity(static_cast<NSUInteger>(columns));
    for (int i = 0; i < columns; ++i) {
      std::shared_ptr<NSString> key = zvt::SQString(names[i]);
      if (!key) key = NSString::string();
      std::shared_ptr<NSString> value = zvt::SQString(values[i]);
      row->setObject(value ? id(value) : id(NSNull::null()), key);
    }
    return (*exec->block)(row);
  } catch (const std::exception& e) {
    SQLogFormat("Error in the result block of executeStatements: %s", e.what());
  } catch (...) {
    SQLog("Error in the result block of executeStatements");
  }
  return 1;  // stops sqlite3_exec, which then answers SQLITE_ABORT
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// SQStatement

SQStatement::~SQStatement() { close(); }

void SQStatement::close() {
  if (statementIsLive()) sqlite3_finalize(statement_);
  statement_ = nullptr;
  parameterCount_ = -1;
  inUse_ = false;
}

std::shared_ptr<NSString> SQStatement::description() const {
  return NSString::stringWithFormat("%@ %ld hit(s) for query %@", NSObject::description(), useCount_, query_);
}

// ---------------------------------------------------------------------------------------------
// Creation and connection

struct SQDatabase::FunctionSlot {
  FunctionBlock block;
};

namespace {

void functionTrampoline(sqlite3_context* context, int argc, sqlite3_value** argv) noexcept {
  auto* block = static_cast<SQDatabase::FunctionBlock*>(sqlite3_user_data(context));
  try {
    (*block)(context, argc, argv);
  } catch (const NSException& e) {
    std::string message = e.reason() ? e.reason()->utf8() : std::string(e.what());
    sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
  } catch (const std::exception& e) {
    sqlite3_result_error(context, e.what(), -1);
  } catch (...) {
    sqlite3_result_error(context, "the SQL function failed", -1);
  }
}

}  // namespace

SQDatabase::SQDatabase(const std::shared_ptr<NSString>& path) {
  if (!sqlite3_threadsafe()) {
    // The queue and the pool hand connections between threads; that needs a thread-safe build.
    std::fprintf(stderr, "SQDatabase needs a thread-safe SQLite library\n");
    std::abort();
  }
  databasePath_ = path ? path->copy() : nullptr;
  sqlitePath_ = path ? path->utf8() : std::string(":memory:");
}

SQDatabase::~SQDatabase() {
  close();
  if (db_) {
    // SQLite refused to close (an unfinished backup holds it). Nobody can reach the handle any
    // more, so let SQLite close it as soon as it is free instead of leaking it.
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

std::shared_ptr<SQDatabase> SQDatabase::databaseWithPath(const std::shared_ptr<NSString>& path) {
  return std::make_shared<SQDatabase>(path);
}

std::shared_ptr<SQDatabase> SQDatabase::initWithPath(const std::shared_ptr<NSString>& path) {
  return std::make_shared<SQDatabase>(path);
}

std::shared_ptr<NSString> SQDatabase::SQDBUserVersion() { return "2.6"_ns; }

uint32_t SQDatabase::SQDBVersion() {
  static std::once_flag once;
  static uint32_t version = 0;
  std::call_once(once, [] {
    std::string text = SQDBUserVersion()->utf8();
    int dots = static_cast<int>(std::count(text.begin(), text.end(), '.'));
    for (; dots < 2; ++dots) text += ".0";
    std::string digits;
    for (char c : text) {
      if (c != '.') digits.push_back(c);
    }
    version = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
  });
  return version;
}

std::shared_ptr<NSString> SQDatabase::sqliteLibVersion() { return zvt::SQString(sqlite3_libversion()); }

bool SQDatabase::isSQLiteThreadSafe() { return sqlite3_threadsafe() != 0; }

inline std::shared_ptr<SQDatabase> SQDatabase::selfDatabase() {
  return std::static_pointer_cast<SQDatabase>(shared_from_this());
}

bool SQDatabase::open() {
  if (db_) return true;
  int result = sqlite3_open(sqlitePath_.c_str(), &db_);
  return openPrepared(result);
}

bool SQDatabase::openWithFlags(int flags) { return openWithFlags(flags, nullptr); }

bool SQDatabase::openWithFlags(int flags, const std::shared_ptr<NSString>& vfsName) {
  if (db_) return true;
  int result = sqlite3_open_v2(sqlitePath_.c_str(), &db_, flags, vfsName ? vfsName->UTF8String() : nullptr);
  return openPrepared(result);
}

bool SQDatabase::openPrepared(int result) {
  if (result != SQLITE_OK) {
    SQLogFormat("error opening!: %d", result);
    // SQLite hands back a handle even when opening failed. It must be closed, and keeping it
    // would make this connection look open and the next open answer YES without trying again.
    if (db_) {
      sqlite3_close(db_);
      db_ = nullptr;
    }
    return false;
  }
  if (maxBusyRetryTimeInterval_ > 0.0) installBusyHandler();
  return true;
}

bool SQDatabase::close() {
  // A result set may hold the last reference to this connection; stay alive until done.
  std::shared_ptr<const NSObject> keepAlive = weak_from_this().lock();
  // From inside a SQL function of a running update: the statement must outlive the call.
  if (refuseWhileExecuting()) return false;
  clearCachedStatements();
  closeOpenResultSets();
  if (!db_) return true;

  int result = sqlite3_close(db_);
  bool finalizedLeaked = false;
  if (result == SQLITE_BUSY || result == SQLITE_LOCKED) {
    while (sqlite3_stmt* statement = sqlite3_next_stmt(db_, nullptr)) {
      SQLog("Closing leaked statement");
      sqlite3_finalize(statement);
      finalizedLeaked = true;
    }
    if (finalizedLeaked) result = sqlite3_close(db_);
  } else if (result != SQLITE_OK) {
    SQLogFormat("error closing!: %d", result);
  }
  if (finalizedLeaked && statementsToken_) {
    // Statement objects still held somewhere point at finalised statements now.
    statementsToken_->store(false);
    statementsToken_.reset();
  }
  if (result != SQLITE_OK) {
    if (result == SQLITE_BUSY || result == SQLITE_LOCKED) SQLogFormat("error closing!: %d", result);
    // SQLite still holds the connection (an unfinished backup, for one). Forgetting the handle
    // would leak it and report a close that did not happen; keep it so a later close can finish.
    return false;
  }
  statementsToken_.reset();
  db_ = nullptr;
  inTransaction_ = false;
  return true;
}

bool SQDatabase::goodConnection() {
  if (!db_) return false;
  std::shared_ptr<SQResultSet> resultSet = executeQuery("select name from sqlite_master where type='table'"_ns);
  if (resultSet) {
    resultSet->close();
    return true;
  }
  return false;
}

bool SQDatabase::databaseExists() {
  if (!db_) {
    SQLogFormat("The SQDatabase %@ is not open.", description());
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Busy handling

void SQDatabase::installBusyHandler() { sqlite3_busy_handler(db_, &SQDatabase::busyHandler, this); }

int SQDatabase::busyHandler(void* database, int count) noexcept {
  auto* self = static_cast<SQDatabase*>(database);
  if (count == 0) {
    self->startBusyRetryTime_ = monotonicSeconds();
    return 1;
  }
  double waited = monotonicSeconds() - self->startBusyRetryTime_;
  if (waited < self->maxBusyRetryTimeInterval_) {
    int requested = randomBusySleepMilliseconds();
    int actual = sqlite3_sleep(requested);
    if (actual != requested) {
      try {
        SQLogFormat("WARNING: Requested sleep of %i milliseconds, but SQLite returned %i. Maybe SQLite wasn't "
                    "built with HAVE_USLEEP=1?",
                    requested, actual);
      } catch (...) {
      }
    }
    return 1;
  }
  return 0;
}

void SQDatabase::setMaxBusyRetryTimeInterval(double seconds) {
  maxBusyRetryTimeInterval_ = seconds;
  if (!db_) return;
  if (seconds > 0.0) {
    installBusyHandler();
  } else {
    sqlite3_busy_handler(db_, nullptr, nullptr);
  }
}

int SQDatabase::busyRetryTimeout() {
  SQLogFormat("%s:%d", "-[SQDatabase busyRetryTimeout]", __LINE__);
  SQLog("SQDB: busyRetryTimeout no longer works, please use maxBusyRetryTimeInterval");
  return -1;
}

void SQDatabase::setBusyRetryTimeout(int) {
  SQLogFormat("%s:%d", "-[SQDatabase setBusyRetryTimeout:]", __LINE__);
  SQLog("SQDB: setBusyRetryTimeout does nothing, please use setMaxBusyRetryTimeInterval:");
}

// ---------------------------------------------------------------------------------------------
// State and errors

std::shared_ptr<NSString> SQDatabase::lastErrorMessage() const {
  std::shared_ptr<NSString> message = zvt::SQString(sqlite3_errmsg(db_));
  return message ? message : NSString::string();
}

int32_t SQDatabase::lastErrorCode() const { return sqlite3_errcode(db_); }

bool SQDatabase::hadError() const {
  int code = lastErrorCode();
  return code > SQLITE_OK && code < SQLITE_ROW;
}

std::shared_ptr<NSError> SQDatabase::lastError() const { return errorWithMessage(lastErrorMessage()); }

std::shared_ptr<NSError> SQDatabase::errorWithMessage(const std::shared_ptr<NSString>& message) const {
  std::shared_ptr<NSDictionary> userInfo;
  if (message) userInfo = NSDictionary::dictionaryWithObject(message, NSLocalizedDescriptionKey.get());
  return NSError::errorWithDomain("SQDatabase"_ns, lastErrorCode(), userInfo);
}

int64_t SQDatabase::lastInsertRowId() {
  if (isExecutingStatement_) {
    warnInUse();
    return 0;
  }
  isExecutingStatement_ = true;
  int64_t rowId = sqlite3_last_insert_rowid(db_);
  isExecutingStatement_ = false;
  return rowId;
}

int32_t SQDatabase::changes() {
  if (isExecutingStatement_) {
    warnInUse();
    return 0;
  }
  isExecutingStatement_ = true;
  int32_t count = sqlite3_changes(db_);
  isExecutingStatement_ = false;
  return count;
}

void SQDatabase::warnInUse() { SQLogFormat("The SQDatabase %@ is currently in use.", description()); }

void SQDatabase::closeOpenResultSets() {
  std::shared_ptr<const NSObject> keepAlive = weak_from_this().lock();
  std::vector<SQResultSet*> open = openResultSets_;
  for (SQResultSet* resultSet : open) {
    // Detach first, so that closing does not call back into this connection.
    resultSet->setParentDB(nullptr);
    resultSet->close();
    std::erase(openResultSets_, resultSet);
  }
}

void SQDatabase::forgetResultSet(SQResultSet* resultSet) {
  auto found = std::find(openResultSets_.rbegin(), openResultSets_.rend(), resultSet);
  if (found != openResultSets_.rend()) openResultSets_.erase(std::next(found).base());
}

// ---------------------------------------------------------------------------------------------
// Statement cache

void SQDatabase::setShouldCacheStatements(bool value) {
  if (!value && refuseWhileExecuting()) return;
  shouldCacheStatements_ = value;
  // Switching off drops the cache; statements still read by a result set live on until it closes.
  if (!value) {
    forgetCachedLookup();
    cachedStatements_.clear();
  }
}

std::vector<std::shared_ptr<SQStatement>>* SQDatabase::lookUpCachedStatements(const std::shared_ptr<NSString>& sql) {
  auto found = cachedStatements_.find(sql ? sql->utf8() : kEmptySQL);
  if (found == cachedStatements_.end()) return nullptr;
  // A mutable text may say something else by the next call, so only its content counts.
  if (sql && !dynamic_cast<const NSMutableString*>(sql.get())) {
    // Map nodes never move, so the pointer stays good until the entry is erased.
    lastCachedQuery_ = sql;
    lastCachedStatements_ = &found->second;
  }
  return &found->second;
}

void SQDatabase::forgetCachedLookup() {
  lastCachedQuery_.reset();
  lastCachedStatements_ = nullptr;
}

inline const std::shared_ptr<SQStatement>* SQDatabase::freeCachedStatement(const std::shared_ptr<NSString>& sql) {
  if (!shouldCacheStatements_) return nullptr;
  std::vector<std::shared_ptr<SQStatement>>* statements = cachedStatementsFor(sql);
  if (!statements) return nullptr;
  for (const std::shared_ptr<SQStatement>& statement : *statements) {
    if (!statement->inUse()) return &statement;
  }
  return nullptr;
}

std::shared_ptr<SQStatement> SQDatabase::cachedStatementForQuery(const std::shared_ptr<NSString>& query) {
  const std::shared_ptr<SQStatement>* statement = freeCachedStatement(query);
  return statement ? *statement : nullptr;
}

bool SQDatabase::refuseWhileExecuting() {
  if (!isExecutingStatement_) return false;
  warnInUse();
  return true;
}

void SQDatabase::setCachedStatement(const std::shared_ptr<SQStatement>& statement,
                                    const std::shared_ptr<NSString>& query) {
  if (!statement || !shouldCacheStatements_) return;
  std::shared_ptr<NSString> text = query ? query->copy() : NSString::string();
  statement->setQuery(text);
  std::vector<std::shared_ptr<SQStatement>>& statements = cachedStatements_[text->utf8()];
  if (std::find(statements.begin(), statements.end(), statement) == statements.end()) statements.push_back(statement);
}

void SQDatabase::clearCachedStatements() {
  if (refuseWhileExecuting()) return;
  for (auto& [query, statements] : cachedStatements_) {
    for (const std::shared_ptr<SQStatement>& statement : statements) statement->close();
  }
  forgetCachedLookup();
  cachedStatements_.clear();
}

std::shared_ptr<NSMutableDictionary> SQDatabase::cachedStatements() const {
  if (!shouldCacheStatements_) return nullptr;
  auto dictionary = NSMutableDictionary::dictionary();
  for (const auto& [query, statements] : cachedStatements_) {
    std::vector<id> objects(statements.begin(), statements.end());
    dictionary->setObject(NSArray::arrayWithObjects(std::move(objects)), NSString::stringWithUTF8String(query));
  }
  return dictionary;
}

void SQDatabase::setCachedStatements(const std::shared_ptr<NSDictionary>& statements) {
  if (refuseWhileExecuting()) return;
  forgetCachedLookup();
  cachedStatements_.clear();
  if (!statements) return;
  for (const auto& [key, value] : statements->allPairs()) {
    auto query = zvt::as<NSString>(key);
    if (!query) continue;
    std::vector<std::shared_ptr<SQStatement>>& slot = cachedStatements_[query->utf8()];
    if (auto single = zvt::as<SQStatement>(value)) {
      slot.push_back(single);
    } else if (auto array = zvt::as<NSArray>(value)) {
      for (NSUInteger i = 0; i < array->count(); ++i) {
        if (auto statement = zvt::as<SQStatement>(array->objectAtIndex(i))) slot.push_back(statement);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Binding

void SQDatabase::traceBinding(const id& object) const {
  if (!traceExecution_) return;
  if (auto data = zvt::as<NSData>(object)) {
    SQLogFormat("data: %ld bytes", static_cast<long>(data->length()));
  } else {
    SQLogFormat("obj: %@", object);
  }
}

void SQDatabase::bindObject(const id& object, int index, sqlite3_stmt* statement) {
  if (zvt::isNullOrNil(object)) {
    sqlite3_bind_null(statement, index);
    return;
  }
  NSObject* raw = object.get();
  if (auto* number = dynamic_cast<NSNumber*>(raw)) {
    char type = number->isBoolean() ? 'B' : number->type();
    bool bound;
    if (isFloatType(type)) {
      bound = bindScalar(statement, index, type, 0, 0, number->doubleValue());
    } else if (isUnsignedType(type)) {
      bound = bindScalar(statement, index, type, 0, number->unsignedLongLongValue(), 0.0);
    } else {
      bound = bindScalar(statement, index, type, number->longLongValue(), 0, 0.0);
    }
    if (!bound) bindText(statement, index, number->description()->view());
    return;
  }
  if (auto* data = dynamic_cast<NSData*>(raw)) {
    // A pointer that is never null: an empty data object is an empty blob, not NULL.
    sqlite3_bind_blob64(statement, index, data->bytes(), data->length(), SQLITE_TRANSIENT);
    return;
  }
  if (dynamic_cast<NSDate*>(raw)) {
    auto date = std::static_pointer_cast<NSDate>(object);
    if (dateFormat_) {
      std::shared_ptr<NSString> text = dateFormat_->stringFromDate(date);
      if (text) {
        bindText(statement, index, text->view());
      } else {
        sqlite3_bind_null(statement, index);
      }
    } else {
      sqlite3_bind_double(statement, index, date->timeIntervalSince1970());
    }
    return;
  }
  std::shared_ptr<NSString> text = raw->description();
  if (text) {
    bindText(statement, index, text->view());
  } else {
    sqlite3_bind_null(statement, index);
  }
}

[[gnu::always_inline]] inline void SQDatabase::bindArgument(const SQArgument& argument, int index,
                                                             sqlite3_stmt* statement) {
  switch (argument.binding()) {
    case SQArgument::Binding::Integer:
      sqlite3_bind_int64(statement, index, argument.intValue());
      return;
    case SQArgument::Binding::Real:
      sqlite3_bind_double(statement, index, argument.doubleValue());
      return;
    case SQArgument::Binding::Text:
      bindText(statement, index, argument.text());
      return;
    case SQArgument::Binding::Object:
      bindObject(argument.object(), index, statement);
      return;
  }
}

// Inline: the binding of every variadic call, down to a switch per argument.
[[gnu::always_inline]] inline int SQDatabase::bindList(sqlite3_stmt* statement, std::span<const SQArgument> list,
                                                       int parameterCount) {
  // An argument list must match the parameters one to one; a longer list is reported by its
  // length and binds nothing.
  if (list.size() > static_cast<size_t>(parameterCount)) return static_cast<int>(list.size());
  if (traceExecution_) return bindListTraced(statement, list);
  int index = 0;
  for (const SQArgument& argument : list) bindArgument(argument, ++index, statement);
  return index;
}

int SQDatabase::bindListTraced(sqlite3_stmt* statement, std::span<const SQArgument> list) {
  int index = 0;
  for (const SQArgument& argument : list) {
    traceBinding(argument.boxed());
    bindArgument(argument, ++index, statement);
  }
  return index;
}

int SQDatabase::bindArguments(sqlite3_stmt* statement, const Bindings& bindings, int parameterCount) {
  int bound = 0;
  if (bindings.dictionary) {
    for (const auto& [key, value] : bindings.dictionary->allPairs()) {
      std::string name = ":" + NSStringFromObject(key);
      int index = sqlite3_bind_parameter_index(statement, name.c_str());
      if (traceExecution_) SQLogFormat("%@ = %@", key, value);
      if (index > 0) {
        bindObject(value, index, statement);
        ++bound;
      } else {
        SQLogFormat("Could not find index for %@", key);
      }
    }
    return bound;
  }
  if (bindings.array) {
    NSUInteger available = bindings.array->count();
    while (bound < parameterCount && static_cast<NSUInteger>(bound) < available) {
      id object = bindings.array->objectAtIndex(static_cast<NSUInteger>(bound));
      traceBinding(object);
      ++bound;
      bindObject(object, bound, statement);
    }
    return bound;
  }
  return bindList(statement, bindings.list, parameterCount);
}

// ---------------------------------------------------------------------------------------------
// Running statements

inline sqlite3_stmt* SQDatabase::prepare(const std::shared_ptr<NSString>& sql, const std::shared_ptr<SQStatement>** cached,
                                  std::shared_ptr<NSError>* error) {
  if (shouldCacheStatements_) {
    if (const std::shared_ptr<SQStatement>* statement = freeCachedStatement(sql)) {
      *cached = statement;
      sqlite3_stmt* compiled = (*statement)->statement();
      // Closed result sets and finished updates leave their statements reset already.
      if (sqlite3_stmt_busy(compiled)) (*statement)->reset();
      return compiled;
    }
  }
  return compile(sql, error);
}

sqlite3_stmt* SQDatabase::compile(const std::shared_ptr<NSString>& sql, std::shared_ptr<NSError>* error) {
  const std::string& text = sql ? sql->utf8() : kEmptySQL;
  sqlite3_stmt* statement = nullptr;
  int result = sqlite3_prepare_v2(db_, text.c_str(), static_cast<int>(text.size() + 1), &statement, nullptr);
  if (result == SQLITE_OK && statement) return statement;

  if (result == SQLITE_OK) {
    // Only blanks or comments: nothing SQLite could run.
    if (logsErrors_) {
      SQLogFormat("DB Error: %d \"%s\"", SQLITE_MISUSE, "the SQL text holds no statement");
      SQLogFormat("DB Query: %@", sql);
      SQLogFormat("DB Path: %@", databasePath_);
    }
    if (error) {
      *error = NSError::errorWithDomain(
          "SQDatabase"_ns, SQLITE_MISUSE,
          NSDictionary::dictionaryWithObject("the SQL text holds no statement"_ns, NSLocalizedDescriptionKey.get()));
    }
    return nullptr;
  }
  if (logsErrors_) {
    SQLogFormat("DB Error: %d \"%@\"", lastErrorCode(), lastErrorMessage());
    SQLogFormat("DB Query: %@", sql);
    SQLogFormat("DB Path: %@", databasePath_);
  }
  if (error) *error = errorWithMessage(lastErrorMessage());
  if (crashOnErrors_) {
    std::fprintf(stderr, "SQDatabase: a statement failed to compile while crashOnErrors is set: %s\n", text.c_str());
    std::abort();
  }
  sqlite3_finalize(statement);
  return nullptr;
}

std::shared_ptr<SQStatement> SQDatabase::adoptStatement(sqlite3_stmt* statement, const std::shared_ptr<NSString>& sql) {
  std::shared_ptr<SQStatement> made = SQStatement::make();
  made->setStatement(statement);
  if (!statementsToken_) statementsToken_ = std::make_shared<std::atomic<bool>>(true);
  made->setConnectionToken(statementsToken_);
  if (shouldCacheStatements_) setCachedStatement(made, sql);
  return made;
}

std::shared_ptr<SQResultSet> SQDatabase::executeQueryImpl(const std::shared_ptr<NSString>& sql,
                                                          const Bindings& bindings) {
  if (!databaseExists()) return nullptr;
  if (isExecutingStatement_) {
    warnInUse();
    return nullptr;
  }
  isExecutingStatement_ = true;
  if (traceExecution_ && sql) SQLogFormat("%@ executeQuery: %@", description(), sql);

  const std::shared_ptr<SQStatement>* fromCache = nullptr;
  sqlite3_stmt* statement = prepare(sql, &fromCache, nullptr);
  if (!statement) {
    isExecutingStatement_ = false;
    return nullptr;
  }
  // Held from here on: binding may run an object's description, which must not be able to
  // take the statement away.
  std::shared_ptr<SQStatement> cached = fromCache ? *fromCache : nullptr;
  int parameterCount = cached ? cached->parameterCount() : sqlite3_bind_parameter_count(statement);
  int bound = bindings.array || bindings.dictionary ? bindArguments(statement, bindings, parameterCount)
                                                    : bindList(statement, bindings.list, parameterCount);
  if (bound != parameterCount) {
    SQLog("Error: the bind count is not correct for the # of variables (executeQuery)");
    if (!cached) sqlite3_finalize(statement);
    isExecutingStatement_ = false;
    return nullptr;
  }
  if (!cached) cached = adoptStatement(statement, sql);
  cached->setUseCount(cached->useCount() + 1);
  std::shared_ptr<SQResultSet> resultSet = SQResultSet::make(std::move(cached), selfDatabase(), sql);
  openResultSets_.push_back(resultSet.get());
  isExecutingStatement_ = false;
  return resultSet;
}

bool SQDatabase::executeUpdateBound(const std::shared_ptr<NSString>& sql, const Bindings& bindings,
                                    std::shared_ptr<NSError>* error) {
  if (!databaseExists()) return false;
  if (isExecutingStatement_) {
    warnInUse();
    return false;
  }
  isExecutingStatement_ = true;
  if (traceExecution_ && sql) SQLogFormat("%@ executeUpdate: %@", description(), sql);

  const std::shared_ptr<SQStatement>* fromCache = nullptr;
  sqlite3_stmt* statement = prepare(sql, &fromCache, error);
  if (!statement) {
    isExecutingStatement_ = false;
    return false;
  }
  SQStatement* cached = fromCache ? fromCache->get() : nullptr;
  int parameterCount = cached ? cached->parameterCount() : sqlite3_bind_parameter_count(statement);
  int bound = bindings.array || bindings.dictionary ? bindArguments(statement, bindings, parameterCount)
                                                    : bindList(statement, bindings.list, parameterCount);
  if (bound != parameterCount) {
    SQLogFormat("Error: the bind count (%d) is not correct for the # of variables in the query (%d) (%@) "
                "(executeUpdate)",
                bound, parameterCount, sql);
    if (!cached) sqlite3_finalize(statement);
    isExecutingStatement_ = false;
    return false;
  }

  int result = sqlite3_step(statement);
  if (result != SQLITE_DONE) {
    if (logsErrors_) {
      const char* message = sqlite3_errmsg(db_);
      if (result == SQLITE_ERROR) {
        SQLogFormat("Error calling sqlite3_step (%d: %s) SQLITE_ERROR", result, message);
      } else if (result == SQLITE_MISUSE) {
        SQLogFormat("Error calling sqlite3_step (%d: %s) SQLITE_MISUSE", result, message);
      } else {
        SQLogFormat("Unknown error calling sqlite3_step (%d: %s) eu", result, message);
      }
      SQLogFormat("DB Query: %@", sql);
    }
    // The caller that asked for an error learns why the step failed, not only that it did.
    if (error) *error = lastError();
  }

  if (!cached && shouldCacheStatements_) cached = adoptStatement(statement, sql).get();
  int closeResult;
  if (cached) {
    cached->setUseCount(cached->useCount() + 1);
    closeResult = sqlite3_reset(statement);
  } else {
    closeResult = sqlite3_finalize(statement);
  }
  if (closeResult != SQLITE_OK && logsErrors_) {
    SQLogFormat("Unknown error finalizing or resetting statement (%d: %s)", closeResult, sqlite3_errmsg(db_));
    SQLogFormat("DB Query: %@", sql);
  }
  isExecutingStatement_ = false;
  return result == SQLITE_DONE || result == SQLITE_OK;
}

std::shared_ptr<SQResultSet> SQDatabase::executeQueryWithArgumentsInArray(const std::shared_ptr<NSString>& sql,
                                                                          const std::shared_ptr<NSArray>& arguments) {
  Bindings bindings;
  bindings.array = arguments ? arguments.get() : nullptr;
  if (!arguments) bindings.hasList = true;  // no arguments at all: an empty list
  return executeQueryImpl(sql, bindings);
}

std::shared_ptr<SQResultSet> SQDatabase::executeQueryValuesError(const std::shared_ptr<NSString>& sql,
                                                                 const std::shared_ptr<NSArray>& values,
                                                                 std::shared_ptr<NSError>* error) {
  std::shared_ptr<SQResultSet> resultSet = executeQueryWithArgumentsInArray(sql, values);
  if (!resultSet && error) *error = lastError();
  return resultSet;
}

std::shared_ptr<SQResultSet> SQDatabase::executeQueryWithParameterDictionary(
    const std::shared_ptr<NSString>& sql, const std::shared_ptr<NSDictionary>& arguments) {
  Bindings bindings;
  bindings.dictionary = arguments ? arguments.get() : nullptr;
  if (!arguments) bindings.hasList = true;
  return executeQueryImpl(sql, bindings);
}

std::shared_ptr<SQResultSet> SQDatabase::executeQueryWithVAList(const std::shared_ptr<NSString>& sql,
                                                                std::span<const SQArgument> arguments) {
  Bindings bindings;
  bindings.list = arguments;
  bindings.hasList = true;
  return executeQueryImpl(sql, bindings);
}

bool SQDatabase::executeUpdateWithArgumentsInArray(const std::shared_ptr<NSString>& sql,
                                                   const std::shared_ptr<NSArray>& arguments) {
  Bindings bindings;
  bindings.array = arguments ? arguments.get() : nullptr;
  if (!arguments) bindings.hasList = true;
  return executeUpdateBound(sql, bindings, nullptr);
}

bool SQDatabase::executeUpdateValuesError(const std::shared_ptr<NSString>& sql,
                                          const std::shared_ptr<NSArray>& values, std::shared_ptr<NSError>* error) {
  Bindings bindings;
  bindings.array = values ? values.get() : nullptr;
  if (!values) bindings.hasList = true;
  return executeUpdateBound(sql, bindings, error);
}

bool SQDatabase::executeUpdateWithParameterDictionary(const std::shared_ptr<NSString>& sql,
                                                      const std::shared_ptr<NSDictionary>& arguments) {
  Bindings bindings;
  bindings.dictionary = arguments ? arguments.get() : nullptr;
  if (!arguments) bindings.hasList = true;
  return executeUpdateBound(sql, bindings, nullptr);
}

bool SQDatabase::executeUpdateWithVAList(const std::shared_ptr<NSString>& sql,
                                         std::span<const SQArgument> arguments) {
  Bindings bindings;
  bindings.list = arguments;
  bindings.hasList = true;
  return executeUpdateBound(sql, bindings, nullptr);
}

bool SQDatabase::executeStatements(const std::shared_ptr<NSString>& sql) { return executeStatements(sql, nullptr); }

bool SQDatabase::executeStatements(const std::shared_ptr<NSString>& sql, const ExecuteStatementsCallbackBlock& block) {
  if (!databaseExists()) return false;
  ExecContext context{&block};
  char* errorMessage = nullptr;
  int result = sqlite3_exec(db_, sql ? sql->UTF8String() : "", block ? &execCallback : nullptr,
                            block ? &context : nullptr, &errorMessage);
  if (errorMessage && logsErrors_) SQLogFormat("Error inserting batch: %s", errorMessage);
  sqlite3_free(errorMessage);
  return result == SQLITE_OK;
}

// ---------------------------------------------------------------------------------------------
// Format queries

namespace {

// The numeric value of a format argument; NO when it is not a number.
bool numericArgument(const SQArgument& argument, int64_t* integer, uint64_t* unsignedInteger, double* real) {
  if (argument.kind() == SQArgument::Kind::Scalar) {
    char type = argument.type();
    if (isFloatType(type)) {
      *real = argument.doubleValue();
      *integer = static_cast<int64_t>(*real);
      *unsignedInteger = static_cast<uint64_t>(*integer);
    } else if (isUnsignedType(type)) {
      *unsignedInteger = argument.unsignedValue();
      *integer = static_cast<int64_t>(*unsignedInteger);
      *real = static_cast<double>(*unsignedInteger);
    } else {
      *integer = argument.intValue();
      *unsignedInteger = static_cast<uint64_t>(*integer);
      *real = static_cast<double>(*integer);
    }
    return true;
  }
  if (auto number = zvt::as<NSNumber>(argument.object())) {
    *integer = number->longLongValue();
    *unsignedInteger = number->unsignedLongLongValue();
    *real = number->doubleValue();
    return true;
  }
  return false;
}

std::shared_ptr<NSString> textArgument(const SQArgument& argument) {
  if (argument.kind() == SQArgument::Kind::Text) return NSString::stringWithUTF8String(argument.text());
  if (auto string = zvt::as<NSString>(argument.object())) return string;
  return nullptr;
}

}  // namespace

bool SQDatabase::convertFormat(std::string_view format, std::span<const SQArgument> arguments, std::string* sql,
                               std::shared_ptr<NSMutableArray>* values, const char* caller) {
  *values = NSMutableArray::array();
  size_t next = 0;
  bool wellFormed = true;
  auto take = [&]() -> const SQArgument* {
    if (next >= arguments.size()) {
      wellFormed = false;
      return nullptr;
    }
    return &arguments[next++];
  };
  auto takeNumber = [&](int64_t* i, uint64_t* u, double* d) {
    const SQArgument* argument = take();
    if (!argument) return false;
    if (!numericArgument(*argument, i, u, d)) {
      wellFormed = false;
      return false;
    }
    return true;
  };

  for (size_t position = 0; position < format.size() && wellFormed; ++position) {
    char current = format[position];
    if (current != '%') {
      sql->push_back(current);
      continue;
    }
    if (position + 1 >= format.size()) break;  // a final "%" is dropped
    char kind = format[++position];
    char following = position + 1 < format.size() ? format[position + 1] : '\0';
    char third = position + 2 < format.size() ? format[position + 2] : '\0';
    id value;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0.0;
    switch (kind) {
      case '@': {
        const SQArgument* argument = take();
        if (!argument) break;
        if (argument->isNil()) {
          sql->append("NULL");
          continue;
        }
        value = argument->boxed();
        break;
      }
      case 'c': {
        if (!takeNumber(&i, &u, &d)) break;
        unsigned char byte = static_cast<unsigned char>(i);
        const unichar character = byte;
        value = NSString::stringWithCharacters(&character, 1);
        break;
      }
      case 's': {
        const SQArgument* argument = take();
        if (!argument) break;
        if (argument->isNil()) {
          value = NSNull::null();
          break;
        }
        value = textArgument(*argument);
        if (!value) wellFormed = false;
        break;
      }
      case 'd':
      case 'D':
      case 'i':
        if (takeNumber(&i, &u, &d)) value = NSNumber::numberWithInt(static_cast<int>(i));
        break;
      case 'u':
      case 'U':
        if (takeNumber(&i, &u, &d)) value = NSNumber::numberWithUnsignedInt(static_cast<unsigned int>(u));
        break;
      case 'h':
        if (following == 'i' && takeNumber(&i, &u, &d)) {
          value = NSNumber::numberWithShort(static_cast<short>(i));
        } else if (following == 'u' && takeNumber(&i, &u, &d)) {
          value = NSNumber::numberWithUnsignedShort(static_cast<unsigned short>(u));
        } else if (following != 'i' && following != 'u') {
          sql->push_back(kind);
          continue;
        }
        ++position;
        break;
      case 'q':
        if (following == 'i' && takeNumber(&i, &u, &d)) {
          value = NSNumber::numberWithLongLong(i);
        } else if (following == 'u' && takeNumber(&i, &u, &d)) {
          value = NSNumber::numberWithUnsignedLongLong(u);
        } else if (following != 'i' && following != 'u') {
          sql->push_back(kind);
          continue;
        }
        ++position;
        break;
      case 'f':
        if (takeNumber(&i, &u, &d)) value = NSNumber::numberWithDouble(d);
        break;
      case 'g':
        if (takeNumber(&i, &u, &d)) value = NSNumber::numberWithFloat(static_cast<float>(d));
        break;
      case 'l':
        if (following == 'd' || following == 'u') {
          if (takeNumber(&i, &u, &d)) {
            value = following == 'd' ? NSNumber::numberWithLong(static_cast<long>(i))
                                     : NSNumber::numberWithUnsignedLong(static_cast<unsigned long>(u));
          }
          ++position;
        } else if (following == 'l' && (third == 'd' || third == 'u')) {
          if (takeNumber(&i, &u, &d)) {
            value = third == 'd' ? NSNumber::numberWithLongLong(i) : NSNumber::numberWithUnsignedLongLong(u);
          }
          position += 2;
        } else {
          sql->push_back(kind);
          continue;
        }
        break;
      default:
        // Not a conversion: the character stands for itself ("%%" gives "%").
        sql->push_back(kind);
        continue;
    }
    if (!wellFormed) break;
    sql->push_back('?');
    (*values)->addObject(value);
  }
  if (next != arguments.size()) wellFormed = false;
  if (!wellFormed) {
    SQLogFormat("Error: the arguments do not match the format \"%s\" (%s)", std::string(format), caller);
    return false;
  }
  return true;
}

std::shared_ptr<SQResultSet> SQDatabase::executeQueryWithFormatList(std::string_view format,
                                                                    std::span<const SQArgument> arguments) {
  std::string sql;
  std::shared_ptr<NSMutableArray> values;
  if (!convertFormat(format, arguments, &sql, &values, "executeQueryWithFormat")) return nullptr;
  return executeQueryWithArgumentsInArray(NSString::stringWithUTF8String(sql), values);
}

bool SQDatabase::executeUpdateWithFormatList(std::string_view format, std::span<const SQArgument> arguments) {
  std::string sql;
  std::shared_ptr<NSMutableArray> values;
  if (!convertFormat(format, arguments, &sql, &values, "executeUpdateWithFormat")) return false;
  return executeUpdateWithArgumentsInArray(NSString::stringWithUTF8String(sql), values);
}

// ---------------------------------------------------------------------------------------------
// Transactions and save points

bool SQDatabase::beginTransaction() {
  bool begun = executeUpdate("begin exclusive transaction"_ns);
  if (begun) inTransaction_ = true;
  return begun;
}

bool SQDatabase::beginDeferredTransaction() {
  bool begun = executeUpdate("begin deferred transaction"_ns);
  if (begun) inTransaction_ = true;
  return begun;
}

bool SQDatabase::commit() {
  bool committed = executeUpdate("commit transaction"_ns);
  if (committed) inTransaction_ = false;
  return committed;
}

bool SQDatabase::rollback() {
  bool rolledBack = executeUpdate("rollback transaction"_ns);
  if (rolledBack) inTransaction_ = false;
  return rolledBack;
}

namespace {

std::shared_ptr<NSString> savePointStatement(std::string_view pattern, const std::shared_ptr<NSString>& name) {
  return NSString::stringWithFormat(pattern, zvt::SQQuoted(name ? name->view() : std::string_view("(null)")));
}

}  // namespace

bool SQDatabase::startSavePointWithName(const std::shared_ptr<NSString>& name, std::shared_ptr<NSError>* error) {
  if (!executeUpdate(savePointStatement("savepoint '%s';", name))) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SQDatabase::releaseSavePointWithName(const std::shared_ptr<NSString>& name, std::shared_ptr<NSError>* error) {
  if (!executeUpdate(savePointStatement("release savepoint '%s';", name))) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SQDatabase::rollbackToSavePointWithName(const std::shared_ptr<NSString>& name,
                                             std::shared_ptr<NSError>* error) {
  if (!executeUpdate(savePointStatement("rollback transaction to savepoint '%s';", name))) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

std::shared_ptr<NSError> SQDatabase::inSavePoint(const std::function<void(bool* rollback)>& block) {
  long number = gSavePointCounter.fetch_add(1);
  std::shared_ptr<NSString> name = NSString::stringWithFormat("dbSavePoint%ld", number);
  std::shared_ptr<NSError> error;
  if (!startSavePointWithName(name, &error)) return error;
  bool shouldRollback = false;
  try {
    if (block) block(&shouldRollback);
  } catch (...) {
    // Work interrupted halfway is undone and the save point ended, so the connection is not
    // left inside a transaction that a later close would roll back with everything after it.
    rollbackToSavePointWithName(name, nullptr);
    releaseSavePointWithName(name, nullptr);
    throw;
  }
  if (shouldRollback) rollbackToSavePointWithName(name, &error);
  releaseSavePointWithName(name, &error);
  return error;
}

// ---------------------------------------------------------------------------------------------
// Dates

std::shared_ptr<NSDateFormatter> SQDatabase::storeableDateFormat(const std::shared_ptr<NSString>& format) {
  std::shared_ptr<NSDateFormatter> formatter = NSDateFormatter::make();
  formatter->setDateFormat(format);
  formatter->setTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(0));
  formatter->setLocale(NSLocale::localeWithLocaleIdentifier("en_US"_ns));
  return formatter;
}

void SQDatabase::setDateFormat(const std::shared_ptr<NSDateFormatter>& format) { dateFormat_ = format; }

std::shared_ptr<NSDate> SQDatabase::dateFromString(const std::shared_ptr<NSString>& string) const {
  return dateFormat_ ? dateFormat_->dateFromString(string) : nullptr;
}

std::shared_ptr<NSString> SQDatabase::stringFromDate(const std::shared_ptr<NSDate>& date) const {
  return dateFormat_ ? dateFormat_->stringFromDate(date) : nullptr;
}

// ---------------------------------------------------------------------------------------------
// SQL functions and keys

void SQDatabase::makeFunctionNamed(const std::shared_ptr<NSString>& name, int maximumArguments,
                                   const FunctionBlock& block) {
  if (!databaseExists() || !name || !block) return;
  openFunctions_.push_back(std::make_unique<FunctionSlot>(FunctionSlot{block}));
  sqlite3_create_function(db_, name->UTF8String(), maximumArguments, SQLITE_UTF8, &openFunctions_.back()->block,
                          &functionTrampoline, nullptr, nullptr);
}

bool SQDatabase::setKey(const std::shared_ptr<NSString>& key) {
  return setKeyWithData(key ? NSData::dataWithString(key->view()) : nullptr);
}

bool SQDatabase::rekey(const std::shared_ptr<NSString>& key) {
  return rekeyWithData(key ? NSData::dataWithString(key->view()) : nullptr);
}

bool SQDatabase::setKeyWithData(const std::shared_ptr<NSData>&) { return false; }

bool SQDatabase::rekeyWithData(const std::shared_ptr<NSData>&) { return false; }
