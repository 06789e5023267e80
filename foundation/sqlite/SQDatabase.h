#pragma once
// One SQLite connection: opens a file (or an in-memory or temporary database), compiles SQL into
// statements, binds objects to their parameters, runs updates, hands out row cursors
// (SQResultSet) for queries, caches compiled statements, retries while the file is busy and
// reports failures by logging and through lastError. It never throws: failures answer NO or nil.
//
// A connection is used from one thread at a time; share one between threads through
// SQDatabaseQueue, or keep several through SQDatabasePool.

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/sqlite/SQArgument.h"
#include "foundation/sqlite/SQStatement.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSDate;
class NSDateFormatter;
class SQResultSet;

class SQDatabase : public NSObject {
 public:
  // What a SQL function registered with makeFunctionNamed receives: SQLite's context, the
  // argument count and the argument values. An exception it throws becomes the SQL error of
  // the statement that called it.
  using FunctionBlock = std::function<void(sqlite3_context* context, int argc, sqlite3_value** argv)>;
  // Rows of executeStatements: column name to text (or NSNull); a non-zero answer stops.
  using ExecuteStatementsCallbackBlock = std::function<int(const std::shared_ptr<NSDictionary>& resultsDictionary)>;

  // Use the factories; public for std::make_shared.
  explicit SQDatabase(const std::shared_ptr<NSString>& path);
  ~SQDatabase() override;

  // --- creation and connection
  static std::shared_ptr<SQDatabase> databaseWithPath(const std::shared_ptr<NSString>& path);
  static std::shared_ptr<SQDatabase> initWithPath(const std::shared_ptr<NSString>& path);
  // -init: an in-memory database.
  static std::shared_ptr<SQDatabase> make() { return initWithPath(nullptr); }

  // "2.6" and the number derived from it (0x260).
  static std::shared_ptr<NSString> SQDBUserVersion();
  static uint32_t SQDBVersion();
  static std::shared_ptr<NSString> sqliteLibVersion();
  static bool isSQLiteThreadSafe();

  // Read-write, created when missing.
  bool open();
  bool openWithFlags(int flags);
  bool openWithFlags(int flags, const std::shared_ptr<NSString>& vfsName);
  // Finalises the cached statements, closes the open result sets, then the connection. NO when
  // SQLite refuses to close it; the connection then stays open and usable.
  bool close();
  bool goodConnection();
  bool databaseExists();

  const std::shared_ptr<NSString>& databasePath() const { return databasePath_; }
  sqlite3* sqliteHandle() const { return db_; }
  // The file name given to SQLite: ":memory:" for a nil path, "" for a temporary database.
  const char* sqlitePath() const { return sqlitePath_.c_str(); }

  // --- queries (nil on failure)
  template <class... Args>
  std::shared_ptr<SQResultSet> executeQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
    return withArgumentList(
        [&](std::span<const zvt::SQArgument> list) {
          Bindings bindings;
          bindings.list = list;
          bindings.hasList = true;
          return executeQueryImpl(sql, bindings);
        },
        args...);
  }
  std::shared_ptr<SQResultSet> executeQueryWithArgumentsInArray(const std::shared_ptr<NSString>& sql,
                                                                const std::shared_ptr<NSArray>& arguments);
  // As above; on failure also hands out lastError.
  std::shared_ptr<SQResultSet> executeQueryValuesError(const std::shared_ptr<NSString>& sql,
                                                       const std::shared_ptr<NSArray>& values,
                                                       std::shared_ptr<NSError>* error);
  std::shared_ptr<SQResultSet> executeQueryWithParameterDictionary(const std::shared_ptr<NSString>& sql,
                                                                   const std::shared_ptr<NSDictionary>& arguments);
  // The argument list of the variadic form: exactly one argument per parameter.
  std::shared_ptr<SQResultSet> executeQueryWithVAList(const std::shared_ptr<NSString>& sql,
                                                      std::span<const zvt::SQArgument> arguments);
  template <class... Args>
  std::shared_ptr<SQResultSet> executeQueryWithFormat(std::string_view format, const Args&... args) {
    return withArgumentList(
        [&](std::span<const zvt::SQArgument> list) { return executeQueryWithFormatList(format, list); }, args...);
  }
  template <class... Args>
  std::shared_ptr<SQResultSet> executeQueryWithFormat(const std::shared_ptr<NSString>& format, const Args&... args) {
    return executeQueryWithFormat(format ? std::string_view(format->utf8()) : std::string_view(), args...);
  }

  // --- updates (NO on failure)
  template <class... Args>
  bool executeUpdate(const std::shared_ptr<NSString>& sql, const Args&... args) {
    return withArgumentList(
        [&](std::span<const zvt::SQArgument> list) {
          Bindings bindings;
          bindings.list = list;
          bindings.hasList = true;
          return executeUpdateBound(sql, bindings, nullptr);
        },
        args...);
  }
  bool executeUpdateWithArgumentsInArray(const std::shared_ptr<NSString>& sql, const std::shared_ptr<NSArray>& arguments);
  bool executeUpdateValuesError(const std::shared_ptr<NSString>& sql, const std::shared_ptr<NSArray>& values,
                                std::shared_ptr<NSError>* error);
  bool executeUpdateWithParameterDictionary(const std::shared_ptr<NSString>& sql,
                                            const std::shared_ptr<NSDictionary>& arguments);
  bool executeUpdateWithVAList(const std::shared_ptr<NSString>& sql, std::span<const zvt::SQArgument> arguments);
  template <class... Args>
  bool executeUpdateWithErrorAndBindings(const std::shared_ptr<NSString>& sql, std::shared_ptr<NSError>* error,
                                         const Args&... args) {
    return withArgumentList(
        [&](std::span<const zvt::SQArgument> list) {
          Bindings bindings;
          bindings.list = list;
          bindings.hasList = true;
          return executeUpdateBound(sql, bindings, error);
        },
        args...);
  }
  template <class... Args>
  bool update(const std::shared_ptr<NSString>& sql, std::shared_ptr<NSError>* error, const Args&... args) {
    return executeUpdateWithErrorAndBindings(sql, error, args...);
  }
  template <class... Args>
  bool executeUpdateWithFormat(std::string_view format, const Args&... args) {
    return withArgumentList(
        [&](std::span<const zvt::SQArgument> list) { return executeUpdateWithFormatList(format, list); }, args...);
  }
  template <class... Args>
  bool executeUpdateWithFormat(const std::shared_ptr<NSString>& format, const Args&... args) {
    return executeUpdateWithFormat(format ? std::string_view(format->utf8()) : std::string_view(), args...);
  }
  // Several statements at once through sqlite3_exec.
  bool executeStatements(const std::shared_ptr<NSString>& sql);
  bool executeStatements(const std::shared_ptr<NSString>& sql, const ExecuteStatementsCallbackBlock& block);

  // --- state and errors
  std::shared_ptr<NSString> lastErrorMessage() const;
  int32_t lastErrorCode() const;
  bool hadError() const;
  std::shared_ptr<NSError> lastError() const;
  std::shared_ptr<NSError> errorWithMessage(const std::shared_ptr<NSString>& message) const;
  int64_t lastInsertRowId();
  int32_t changes();
  void warnInUse();
  bool hasOpenResultSets() const { return !openResultSets_.empty(); }
  void closeOpenResultSets();
  void resultSetDidClose(SQResultSet* resultSet) {
    // Each result set is listed once, and the newest usually closes first.
    if (!openResultSets_.empty() && openResultSets_.back() == resultSet) {
      openResultSets_.pop_back();
    } else {
      forgetResultSet(resultSet);
    }
  }

  // --- transactions and save points
  bool beginTransaction();
  bool beginDeferredTransaction();
  bool commit();
  bool rollback();
  bool inTransaction() const { return inTransaction_; }
  bool startSavePointWithName(const std::shared_ptr<NSString>& name, std::shared_ptr<NSError>* error);
  bool releaseSavePointWithName(const std::shared_ptr<NSString>& name, std::shared_ptr<NSError>* error);
  bool rollbackToSavePointWithName(const std::shared_ptr<NSString>& name, std::shared_ptr<NSError>* error);
  // Runs the block inside a save point named "dbSavePoint<n>"; the block sets *rollback to
  // undo its work. The last error of the save-point steps, or nil.
  std::shared_ptr<NSError> inSavePoint(const std::function<void(bool* rollback)>& block);

  // --- statement cache
  bool shouldCacheStatements() const { return shouldCacheStatements_; }
  void setShouldCacheStatements(bool value);
  std::shared_ptr<SQStatement> cachedStatementForQuery(const std::shared_ptr<NSString>& query);
  void setCachedStatement(const std::shared_ptr<SQStatement>& statement, const std::shared_ptr<NSString>& query);
  void clearCachedStatements();
  // SQL text to an array of the statements cached for it (a snapshot); nil while caching is off.
  std::shared_ptr<NSMutableDictionary> cachedStatements() const;
  void setCachedStatements(const std::shared_ptr<NSDictionary>& statements);

  // --- busy handling
  double maxBusyRetryTimeInterval() const { return maxBusyRetryTimeInterval_; }
  void setMaxBusyRetryTimeInterval(double seconds);
  int busyRetryTimeout();
  void setBusyRetryTimeout(int timeout);

  // --- dates
  static std::shared_ptr<NSDateFormatter> storeableDateFormat(const std::shared_ptr<NSString>& format);
  void setDateFormat(const std::shared_ptr<NSDateFormatter>& format);
  bool hasDateFormatter() const { return dateFormat_ != nullptr; }
  std::shared_ptr<NSDate> dateFromString(const std::shared_ptr<NSString>& string) const;
  std::shared_ptr<NSString> stringFromDate(const std::shared_ptr<NSDate>& date) const;
  const std::shared_ptr<NSDateFormatter>& dateFormat() const { return dateFormat_; }

  // --- SQL functions
  void makeFunctionNamed(const std::shared_ptr<NSString>& name, int maximumArguments, const FunctionBlock& block);

  // --- keys: this connection does no encryption, so these answer NO
  bool setKey(const std::shared_ptr<NSString>& key);
  bool rekey(const std::shared_ptr<NSString>& key);
  bool setKeyWithData(const std::shared_ptr<NSData>& keyData);
  bool rekeyWithData(const std::shared_ptr<NSData>& keyData);

  // --- flags
  bool logsErrors() const { return logsErrors_; }
  void setLogsErrors(bool value) { logsErrors_ = value; }
  bool crashOnErrors() const { return crashOnErrors_; }
  void setCrashOnErrors(bool value) { crashOnErrors_ = value; }
  bool traceExecution() const { return traceExecution_; }
  void setTraceExecution(bool value) { traceExecution_ = value; }
  bool checkedOut() const { return checkedOut_; }
  void setCheckedOut(bool value) { checkedOut_ = value; }

  // --- additions: one-value queries (nil, 0, NO or 0.0 when there is no row)
  bool tableExists(const std::shared_ptr<NSString>& tableName);
  template <class... Args>
  std::shared_ptr<NSString> stringForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);
  template <class... Args>
  int intForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);
  template <class... Args>
  long longForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);
  template <class... Args>
  bool boolForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);
  template <class... Args>
  double doubleForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);
  template <class... Args>
  std::shared_ptr<NSData> dataForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);
  template <class... Args>
  std::shared_ptr<NSDate> dateForQuery(const std::shared_ptr<NSString>& sql, const Args&... args);

  // --- additions: schema and pragmas
  std::shared_ptr<SQResultSet> getSchema();
  std::shared_ptr<SQResultSet> getTableSchema(const std::shared_ptr<NSString>& tableName);
  // -columnExists:inTableWithName: and -columnExists:columnName: (table first).
  bool columnExistsInTableWithName(const std::shared_ptr<NSString>& columnName,
                                   const std::shared_ptr<NSString>& tableName);
  bool columnExistsColumnName(const std::shared_ptr<NSString>& tableName, const std::shared_ptr<NSString>& columnName);
  uint32_t applicationID();
  void setApplicationID(uint32_t appID);
  uint32_t userVersion();
  void setUserVersion(uint32_t version);
  // Compiles without running; on failure an NSCocoaErrorDomain error with SQLite's code.
  bool validateSQL(const std::shared_ptr<NSString>& sql, std::shared_ptr<NSError>* error);

 private:
  friend class SQResultSet;
  struct FunctionSlot;

  std::shared_ptr<SQDatabase> selfDatabase();
  void forgetResultSet(SQResultSet* resultSet);
  bool openPrepared(int result);
  void installBusyHandler();
  static int busyHandler(void* database, int count) noexcept;

  // Where the values of one statement come from: an array (extra elements ignored, binding
  // stops when it runs out), an argument list (exactly one per parameter), or named values.
  struct Bindings {
    const NSArray* array = nullptr;
    std::span<const zvt::SQArgument> list;
    bool hasList = false;
    const NSDictionary* dictionary = nullptr;
  };
  // The variadic forms' objects as an argument list, held on the caller's stack for the call.
  template <class Run, class... Args>
  static decltype(auto) withArgumentList(const Run& run, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
      return run(std::span<const zvt::SQArgument>());
    } else {
      const zvt::SQArgument list[] = {zvt::SQArgument(args)...};
      return run(std::span<const zvt::SQArgument>(list));
    }
  }

  // Binds and answers the number bound (the list's length when it is longer than parameterCount).
  int bindArguments(sqlite3_stmt* statement, const Bindings& bindings, int parameterCount);
  int bindList(sqlite3_stmt* statement, std::span<const zvt::SQArgument> list, int parameterCount);
  int bindListTraced(sqlite3_stmt* statement, std::span<const zvt::SQArgument> list);
  // A freshly compiled statement as this connection's SQStatement, cached when caching is on.
  std::shared_ptr<SQStatement> adoptStatement(sqlite3_stmt* statement, const std::shared_ptr<NSString>& sql);
  void bindObject(const id& object, int index, sqlite3_stmt* statement);
  void bindArgument(const zvt::SQArgument& argument, int index, sqlite3_stmt* statement);
  void traceBinding(const id& object) const;

  std::shared_ptr<SQResultSet> executeQueryImpl(const std::shared_ptr<NSString>& sql, const Bindings& bindings);
  bool executeUpdateBound(const std::shared_ptr<NSString>& sql, const Bindings& bindings,
                          std::shared_ptr<NSError>* error);
  // Prepares or takes from the cache; nullptr when compiling failed (already logged).
  // `cached` points into the cache, which no one may change while a statement runs.
  sqlite3_stmt* prepare(const std::shared_ptr<NSString>& sql, const std::shared_ptr<SQStatement>** cached,
                        std::shared_ptr<NSError>* error);
  sqlite3_stmt* compile(const std::shared_ptr<NSString>& sql, std::shared_ptr<NSError>* error);
  const std::shared_ptr<SQStatement>* freeCachedStatement(const std::shared_ptr<NSString>& sql);
  // NO, with the in-use warning, while a statement of this connection runs (from a SQL function).
  bool refuseWhileExecuting();
  // The statements cached for the SQL text, or nullptr. The last text object looked up is
  // remembered (unless it is mutable), since a caller usually runs the same statement many
  // times in a row: the next lookup of that object compares one pointer instead of hashing.
  std::vector<std::shared_ptr<SQStatement>>* cachedStatementsFor(const std::shared_ptr<NSString>& sql) {
    return sql && sql == lastCachedQuery_ ? lastCachedStatements_ : lookUpCachedStatements(sql);
  }
  std::vector<std::shared_ptr<SQStatement>>* lookUpCachedStatements(const std::shared_ptr<NSString>& sql);
  void forgetCachedLookup();

  // Format queries: the SQL with "?" in place of each argument, and the arguments.
  bool convertFormat(std::string_view format, std::span<const zvt::SQArgument> arguments, std::string* sql,
                     std::shared_ptr<NSMutableArray>* values, const char* caller);
  std::shared_ptr<SQResultSet> executeQueryWithFormatList(std::string_view format, std::span<const zvt::SQArgument> args);
  bool executeUpdateWithFormatList(std::string_view format, std::span<const zvt::SQArgument> args);

  // The first row's first column of a query, read by `read`; the result set is closed.
  template <class T, class Read, class... Args>
  T valueForQuery(T none, Read read, const std::shared_ptr<NSString>& sql, const Args&... args);
  bool runPragmaUpdate(const std::shared_ptr<NSString>& sql);

  sqlite3* db_ = nullptr;
  std::shared_ptr<NSString> databasePath_;
  std::string sqlitePath_;
  bool logsErrors_ = true;
  bool crashOnErrors_ = false;
  bool traceExecution_ = false;
  bool checkedOut_ = false;
  bool shouldCacheStatements_ = false;
  bool isExecutingStatement_ = false;
  bool inTransaction_ = false;
  double maxBusyRetryTimeInterval_ = 2.0;
  double startBusyRetryTime_ = 0.0;
  std::unordered_map<std::string, std::vector<std::shared_ptr<SQStatement>>> cachedStatements_;
  std::shared_ptr<NSString> lastCachedQuery_;  // held, so that its address cannot be reused
  std::vector<std::shared_ptr<SQStatement>>* lastCachedStatements_ = nullptr;
  std::vector<SQResultSet*> openResultSets_;  // not owned: each result set removes itself on close
  std::vector<std::unique_ptr<FunctionSlot>> openFunctions_;
  std::shared_ptr<NSDateFormatter> dateFormat_;
  // Shared with the statements compiled on the current handle (see SQStatement).
  std::shared_ptr<std::atomic<bool>> statementsToken_;
};

#include "foundation/sqlite/SQResultSet.h"

template <class T, class Read, class... Args>
T SQDatabase::valueForQuery(T none, Read read, const std::shared_ptr<NSString>& sql, const Args&... args) {
  std::shared_ptr<SQResultSet> resultSet = executeQuery(sql, args...);
  if (!resultSet) return none;
  T value = none;
  if (resultSet->next()) value = read(*resultSet);
  resultSet->close();
  resultSet->setParentDB(nullptr);
  return value;
}

template <class... Args>
std::shared_ptr<NSString> SQDatabase::stringForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<std::shared_ptr<NSString>>(
      nullptr, [](SQResultSet& rs) { return rs.stringForColumnIndex(0); }, sql, args...);
}
template <class... Args>
int SQDatabase::intForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<int>(0, [](SQResultSet& rs) { return rs.intForColumnIndex(0); }, sql, args...);
}
template <class... Args>
long SQDatabase::longForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<long>(0, [](SQResultSet& rs) { return rs.longForColumnIndex(0); }, sql, args...);
}
template <class... Args>
bool SQDatabase::boolForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<bool>(false, [](SQResultSet& rs) { return rs.boolForColumnIndex(0); }, sql, args...);
}
template <class... Args>
double SQDatabase::doubleForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<double>(0.0, [](SQResultSet& rs) { return rs.doubleForColumnIndex(0); }, sql, args...);
}
template <class... Args>
std::shared_ptr<NSData> SQDatabase::dataForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<std::shared_ptr<NSData>>(
      nullptr, [](SQResultSet& rs) { return rs.dataForColumnIndex(0); }, sql, args...);
}
template <class... Args>
std::shared_ptr<NSDate> SQDatabase::dateForQuery(const std::shared_ptr<NSString>& sql, const Args&... args) {
  return valueForQuery<std::shared_ptr<NSDate>>(
      nullptr, [](SQResultSet& rs) { return rs.dateForColumnIndex(0); }, sql, args...);
}
