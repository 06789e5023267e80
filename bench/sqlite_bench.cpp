// The SQLite access layer (SQDatabase) against the raw SQLite C API and SQLiteCpp, in one run.
// What each benchmark measures, the same work on every side:
//
// sqlite/insert/<lib>  a new in-memory database, its table, and 100,000 rows inserted in one
//                      transaction through one prepared statement (text bound as a copy
//                      everywhere, as SQDatabase always does), then closed.
// sqlite/select/<lib>  100,000 point SELECTs by primary key through one cached statement on a
//                      table of 100,000 rows filled before the timed loop, reading one column.
//
// Times are wall clock per 100,000 rows; cpu_us_per_item is the whole process's CPU time per
// row. The work of one iteration is a function of its own (measured...) for callgrind.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdint>
#include <memory>
#include <string>

#include "bench/support/ProcessCPU.h"

#include "foundation/sqlite/SQDatabase.h"
#include "foundation/sqlite/SQResultSet.h"

namespace {

constexpr int kRows = 100000;
constexpr const char* kCreate = "create table t(id integer primary key, name text, value real)";
constexpr const char* kInsert = "insert into t (id, name, value) values (?, ?, ?)";
constexpr const char* kSelect = "select name, value from t where id = ?";
const std::string kName = "zavelto product name";

// Point lookups visit the keys in a scrambled but fixed order.
int64_t keyAt(int64_t i) { return (i * 7919) % kRows + 1; }

void checkRaw(int result, int expected) {
  if (result != expected) throw std::runtime_error("sqlite call failed");
}

void fillRaw(sqlite3* db) {
  checkRaw(sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr), SQLITE_OK);
  checkRaw(sqlite3_exec(db, "begin", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_stmt* insert = nullptr;
  checkRaw(sqlite3_prepare_v2(db, kInsert, -1, &insert, nullptr), SQLITE_OK);
  for (int64_t i = 1; i <= kRows; ++i) {
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_text(insert, 2, kName.data(), static_cast<int>(kName.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 3, static_cast<double>(i) * 0.5);
    checkRaw(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  checkRaw(sqlite3_exec(db, "commit", nullptr, nullptr, nullptr), SQLITE_OK);
}

// --- 100,000 inserts in one transaction

[[gnu::noinline]] void measuredInsertRaw() {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  fillRaw(db);
  sqlite3_close(db);
}

[[gnu::noinline]] bool measuredInsertSQDatabase(const std::shared_ptr<NSString>& create,
                                                const std::shared_ptr<NSString>& insert) {
  auto db = SQDatabase::databaseWithPath(nullptr);
  db->open();
  db->setShouldCacheStatements(true);
  db->executeUpdate(create);
  db->beginTransaction();
  bool ok = true;
  for (int64_t i = 1; i <= kRows; ++i) ok = db->executeUpdate(insert, i, kName, static_cast<double>(i) * 0.5) && ok;
  db->commit();
  db->close();
  return ok;
}

[[gnu::noinline]] void measuredInsertSQLiteCpp() {
  SQLite::Database db(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  db.exec(kCreate);
  SQLite::Transaction transaction(db);
  SQLite::Statement insert(db, kInsert);
  for (int64_t i = 1; i <= kRows; ++i) {
    insert.bind(1, static_cast<int64_t>(i));
    insert.bind(2, kName);
    insert.bind(3, static_cast<double>(i) * 0.5);
    insert.exec();
    insert.reset();
  }
  transaction.commit();
}

void BM_Insert_RawC(benchmark::State& state) {
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) measuredInsertRaw();
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Insert_SQDatabase(benchmark::State& state) {
  auto create = NSString::stringWithUTF8String(kCreate);
  auto insert = NSString::stringWithUTF8String(kInsert);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    if (!measuredInsertSQDatabase(create, insert)) state.SkipWithError("insert failed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Insert_SQLiteCpp(benchmark::State& state) {
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) measuredInsertSQLiteCpp();
  state.SetItemsProcessed(state.iterations() * kRows);
}

// --- 100,000 point SELECTs by primary key

[[gnu::noinline]] double measuredSelectRaw(sqlite3_stmt* select) {
  double sum = 0;
  for (int64_t i = 0; i < kRows; ++i) {
    sqlite3_bind_int64(select, 1, keyAt(i));
    if (sqlite3_step(select) == SQLITE_ROW) sum += sqlite3_column_double(select, 1);
    sqlite3_reset(select);
  }
  return sum;
}

[[gnu::noinline]] double measuredSelectSQDatabase(SQDatabase& db, const std::shared_ptr<NSString>& select) {
  double sum = 0;
  for (int64_t i = 0; i < kRows; ++i) {
    std::shared_ptr<SQResultSet> rs = db.executeQuery(select, keyAt(i));
    if (rs->next()) sum += rs->doubleForColumnIndex(1);
    rs->close();
  }
  return sum;
}

[[gnu::noinline]] double measuredSelectSQLiteCpp(SQLite::Statement& select) {
  double sum = 0;
  for (int64_t i = 0; i < kRows; ++i) {
    select.bind(1, static_cast<int64_t>(keyAt(i)));
    if (select.executeStep()) sum += select.getColumn(1).getDouble();
    select.reset();
  }
  return sum;
}

void BM_PointSelect_RawC(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  fillRaw(db);
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, kSelect, -1, &select, nullptr);
  double sum = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) sum += measuredSelectRaw(select);
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(select);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_PointSelect_SQDatabase(benchmark::State& state) {
  auto db = SQDatabase::databaseWithPath(nullptr);
  db->open();
  fillRaw(db->sqliteHandle());
  db->setShouldCacheStatements(true);
  auto select = NSString::stringWithUTF8String(kSelect);
  double sum = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) sum += measuredSelectSQDatabase(*db, select);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_PointSelect_SQLiteCpp(benchmark::State& state) {
  SQLite::Database db(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  fillRaw(db.getHandle());
  SQLite::Statement select(db, kSelect);
  double sum = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) sum += measuredSelectSQLiteCpp(select);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kRows);
}

}  // namespace

BENCHMARK(BM_Insert_SQDatabase)->Name("sqlite/insert/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Insert_RawC)->Name("sqlite/insert/sqlite3")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Insert_SQLiteCpp)->Name("sqlite/insert/sqlitecpp")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointSelect_SQDatabase)->Name("sqlite/select/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointSelect_RawC)->Name("sqlite/select/sqlite3")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointSelect_SQLiteCpp)->Name("sqlite/select/sqlitecpp")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
