#pragma once
// A compiled statement as a connection keeps it, cached or not, and as its result sets read it.

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class SQStatement : public NSObject {
 public:
  SQStatement() = default;
  ~SQStatement() override;
  static std::shared_ptr<SQStatement> make() { return std::make_shared<SQStatement>(); }

  // Finalises the statement (if any), forgets it and clears inUse.
  void close();
  // Resets the statement (if any) so that it can run again, and clears inUse. Inline: every
  // closing result set comes through here.
  void reset() {
    if (statementIsLive()) sqlite3_reset(statement_);
    inUse_ = false;
  }

  sqlite3_stmt* statement() const { return statement_; }
  void setStatement(sqlite3_stmt* statement) {
    statement_ = statement;
    parameterCount_ = -1;
  }
  // sqlite3_bind_parameter_count, asked once per compiled statement.
  int parameterCount() {
    if (parameterCount_ < 0) parameterCount_ = sqlite3_bind_parameter_count(statement_);
    return parameterCount_;
  }
  // Set by the connection: goes false when the connection had to finalise the statement itself
  // (it was still alive when the connection closed), so that this object never touches it again.
  void setConnectionToken(std::shared_ptr<std::atomic<bool>> token) { connectionToken_ = std::move(token); }
  const std::shared_ptr<NSString>& query() const { return query_; }
  void setQuery(const std::shared_ptr<NSString>& query) { query_ = query; }
  int64_t useCount() const { return useCount_; }
  void setUseCount(int64_t useCount) { useCount_ = useCount; }
  bool inUse() const { return inUse_; }
  void setInUse(bool inUse) { inUse_ = inUse; }

  // "<SQStatement: 0x...> 3 hit(s) for query select ..."
  std::shared_ptr<NSString> description() const override;

 private:
  bool statementIsLive() const { return statement_ && (!connectionToken_ || connectionToken_->load()); }

  sqlite3_stmt* statement_ = nullptr;
  std::shared_ptr<std::atomic<bool>> connectionToken_;
  std::shared_ptr<NSString> query_;
  int64_t useCount_ = 0;
  int parameterCount_ = -1;
  bool inUse_ = false;
};
