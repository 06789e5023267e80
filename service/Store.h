// The service's data: users, list records of every kind, the SMS and mail outboxes and the
// login sessions, in one SQLite file (write-ahead log) under the data directory. Records are
// kept as the JSON objects the interfaces hand out, so a reply is a record read back, not a
// re-mapping.
//
// Writes go through one connection, one transaction at a time (transaction()); reads take a
// connection of their own from a pool, so they run beside each other and beside a write and
// see the last committed state, never half of an operation. A read made inside the calling
// thread's transaction goes through the write connection and sees that transaction's writes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

namespace zvt::service {

using json = nlohmann::json;

// The seeded test account that tests and the demo log in with.
inline constexpr const char* kTestUserName = "zvttest";
inline constexpr const char* kTestUserPassword = "zvt123456";
inline constexpr int64_t kTestUserId = 10001;
inline constexpr const char* kTestUserPhone = "13800138000";
inline constexpr const char* kTestUserEmail = "zvttest@example.com";
// A second account that exists only through a QQ partner login.
inline constexpr const char* kPartnerWeb = "qq";
inline constexpr const char* kPartnerWebId = "QQ-OPENID-0001";

inline constexpr int kMaxCodeGuesses = 5;

enum class CodeCheck {
    accepted,
    wrong,  // or none was sent
    spent,  // this wrong guess was the last one the code allowed
};

struct Page {
    std::vector<json> rows;
    bool end = true;
};

// A record as filed: its place, and the thing it tells of, by which the records and messages of
// that thing's later news find it, never by what it says: "taobao_order 3000" (an order by its
// record id), "store_order 6000", "withdraw 3" (the account's third withdrawal); empty for none.
struct Entry {
    int64_t seq = 0;
    std::string about;
    json record;
};

class Store {
public:
    // Opens (creating when missing) the database file and seeds the demo data on first use: its
    // story ends on `demoDay` ("YYYY-MM-DD") when one is pinned, else on the day it is seeded.
    explicit Store(const std::string& path, std::optional<std::string> demoDay = std::nullopt);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Users. Records carry "id" as text, like every other field the clients display.
    std::optional<json> userById(int64_t id);
    std::optional<json> userByLogin(const std::string& name);  // user name, phone or e-mail
    std::optional<json> userByPhone(const std::string& phone);
    std::optional<json> userByEmail(const std::string& email);
    std::optional<json> userByPartner(const std::string& web, const std::string& webId);
    // The account other than `except` that holds `key` as its user name, phone number or
    // e-mail (the lowest id when a data directory of an earlier version has several); none for
    // an empty key, which stands for "none". A login key names one account at most, so an
    // operation about to set one asks here inside the transaction that sets it: no other write
    // can take the key in between. Throws std::logic_error outside a transaction.
    std::optional<int64_t> loginKeyHolder(const std::string& key, int64_t except);
    bool checkPassword(int64_t id, const std::string& password);
    void setPassword(int64_t id, const std::string& password);
    json createUser(const std::string& userName, const std::string& password, const json& extra);
    void bindPartner(int64_t id, const std::string& web, const std::string& webId);
    void saveUser(const json& record);

    // List records of one kind ("product", "taobao_order", ...), owned by a user or by 0, in
    // the order they were filed; the record lists a user pages through (asset records,
    // withdrawals, refunds, exchange orders, site messages) newest first; the order lists newest
    // paid (placed) first, of one moment the larger id first, whatever filed them when.
    int64_t addItem(const std::string& kind, int64_t owner, json record, const std::string& about = "");
    std::vector<json> items(const std::string& kind, int64_t owner);
    // The same, with their places and what they tell of.
    std::vector<Entry> entries(const std::string& kind, int64_t owner);
    // The records of the kind and owner that tell of `about` (none for an empty one).
    std::vector<Entry> entriesAbout(const std::string& kind, int64_t owner, const std::string& about);
    // Writes an entry's record back at its place.
    void rewrite(const Entry& entry);
    // Takes out the records of the kind and owner that tell of `about`; answers how many went.
    int removeAbout(const std::string& kind, int64_t owner, const std::string& about);
    // Hands each record of the kind and owner to `edit` in order; the records it answers true
    // for are written back as edited, in one transaction. Answers how many were written.
    int updateItems(const std::string& kind, int64_t owner,
                    const std::function<bool(json& record)>& edit);
    // How many records of the kind the owner has.
    int64_t count(const std::string& kind, int64_t owner);
    // One more than the largest whole number any record of the kind (of every owner) holds
    // under `key` (as a number or as digits), at least `least`: a new record's id that no other
    // has, however the earlier ones were filed.
    int64_t nextNumber(const std::string& kind, const std::string& key, int64_t least);
    static Page page(const std::vector<json>& rows, int64_t number, int64_t size);

    // Outboxes ("sms" or "mail"): every code the service sends is kept for the tests to read.
    void addOutbox(const std::string& channel, const std::string& address,
                   const std::string& purpose, const std::string& code, const std::string& text);
    // Accepts the newest unused code sent to `address` for `purpose` and marks it used. Each
    // wrong guess counts against that code; the kMaxCodeGuesses-th spends it, so that guessing
    // goes no further without a new code.
    CodeCheck takeCode(const std::string& channel, const std::string& address,
                       const std::string& purpose, const std::string& code);
    json outbox(const std::string& channel);
    void clearOutboxes();

    // Site sessions behind the login cookie.
    std::string newSession(int64_t userId);
    std::optional<int64_t> sessionUser(const std::string& token);

    // Drops every table and seeds again (on the pinned demo day, or today).
    void reseed();

    // Runs `work` as one transaction: whatever it writes is committed together when it
    // returns, or not at all when it throws or the process dies before. Other threads' writes
    // wait for the end; their reads go on and see the state before it. A call made inside
    // `work` joins the transaction. Every write of the store runs in one.
    void transaction(const std::function<void()>& work);

    // Called on the writing thread after each write of the store (a user saved, a record added,
    // records updated...): tests stop the process there. Set before the store is shared.
    void setAfterWrite(std::function<void()> hook) { afterWrite_ = std::move(hook); }

private:
    // A connection for one read: the write connection inside the caller's own transaction,
    // else one of the pool's, handed back when the lease ends.
    class Reader {
    public:
        explicit Reader(Store& store);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        sqlite3* db() const { return db_; }

    private:
        Store& store_;
        sqlite3* db_;
        bool pooled_;
    };

    void exec(const std::string& sql);
    void createSchema();
    void orderRecordLists();
    void linkHappenings();
    // The entries of the kind and owner in their list's order, of those about `about` when given.
    std::vector<Entry> entriesWhere(const std::string& kind, int64_t owner, const std::string* about);
    std::string listOrder(const std::string& kind) const;
    void seed();
    // One write of the store: its own transaction, or a part of the caller's; the write hook
    // runs after it (committed by then unless the caller's transaction goes on).
    void write(const std::function<void()>& work);
    bool inOwnTransaction() const { return writer_.load() == std::this_thread::get_id(); }
    std::optional<json> userWhere(const std::string& column, const std::string& value);
    std::string passwordHash(const std::string& password);

    std::string path_;
    std::optional<std::string> demoDay_;
    sqlite3* db_ = nullptr;  // the write connection
    std::recursive_mutex writeMutex_;
    int depth_ = 0;  // transactions open on the write connection, nested ones included
    std::atomic<std::thread::id> writer_{};  // the thread whose transaction is open
    std::function<void()> afterWrite_;

    std::mutex readersMutex_;
    std::vector<sqlite3*> idleReaders_;
};

}  // namespace zvt::service
