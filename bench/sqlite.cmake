# The SQLite access layer against the raw C API and SQLiteCpp, doing the same work.
find_package(SQLiteCpp QUIET)
if(TARGET zvt_foundation_sqlite AND SQLiteCpp_FOUND)
  add_executable(sqlite_bench ${CMAKE_CURRENT_SOURCE_DIR}/sqlite_bench.cpp)
  target_compile_options(sqlite_bench PRIVATE ${ZVT_WARNINGS})
  target_link_libraries(sqlite_bench PRIVATE zvt_foundation_sqlite SQLiteCpp benchmark::benchmark)
endif()
