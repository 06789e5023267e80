#include "service/Store.h"

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "service/Crypto.h"
#include "service/DemoData.h"
#include "service/Ledger.h"
#include "service/Operations.h"

namespace zvt::service {

namespace {

// One prepared statement, finalized on every path.
class Stmt {
public:
    Stmt(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
        }
    }
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    Stmt& bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind(int i, int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    bool step() {
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw std::runtime_error(std::string("sqlite step: ") +
                                 sqlite3_errmsg(sqlite3_db_handle(stmt_)));
    }
    std::string text(int col) {
        auto p = sqlite3_column_text(stmt_, col);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
                 : std::string();
    }
    int64_t integer(int col) { return sqlite3_column_int64(stmt_, col); }
    bool isNull(int col) { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

namespace {

// The lists a user pages through, newest first: filed oldest first, read backwards.
constexpr const char* kRecordLists[] = {"asset", "withdraw", "refund", "exchange", "message"};

// The order lists, newest paid (a mall order: placed) first, of one moment the larger id first:
// read by the moment each record holds, so that an order filed late (a test's, one paid earlier
// than the last) takes its place.
struct OrderList {
    const char* kind;
    const char* moment;
};
constexpr OrderList kOrderLists[] = {{"taobao_order", "pay_time"}, {"store_order", "order_time"}};

// The data directory's version: 1, the record lists filed oldest first; 2, each record and
// message of an order's or a withdrawal's news filed about it.
constexpr int kVersion = 2;

sqlite3* openConnection(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path + ": " + msg);
    }
    sqlite3_busy_timeout(db, 2000);
    return db;
}

void execOn(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string msg = err ? err : "unknown";
        sqlite3_free(err);
        throw std::runtime_error("sqlite: " + msg);
    }
}

}  // namespace

Store::Store(const std::string& path, std::optional<std::string> demoDay) : path_(path), demoDay_(std::move(demoDay)) {
    db_ = openConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX);
    exec("PRAGMA journal_mode=WAL");
    createSchema();
    bool empty = true;
    {
        Stmt s(db_, "SELECT COUNT(*) FROM users");
        if (s.step()) empty = s.integer(0) == 0;
    }
    if (empty) {
        transaction([&] {
            seed();
            exec("PRAGMA user_version = " + std::to_string(kVersion));
        });
    } else {
        orderRecordLists();
        linkHappenings();
    }
}

Store::~Store() {
    for (sqlite3* reader : idleReaders_) sqlite3_close(reader);
    sqlite3_close(db_);
}

Store::Reader::Reader(Store& store) : store_(store), db_(store.db_), pooled_(!store.inOwnTransaction()) {
    if (!pooled_) return;
    {
        std::lock_guard lock(store_.readersMutex_);
        if (!store_.idleReaders_.empty()) {
            db_ = store_.idleReaders_.back();
            store_.idleReaders_.pop_back();
            return;
        }
    }
    db_ = openConnection(store_.path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    execOn(db_, "PRAGMA query_only = ON");
}

Store::Reader::~Reader() {
    if (!pooled_) return;
    std::lock_guard lock(store_.readersMutex_);
    store_.idleReaders_.push_back(db_);
}

void Store::exec(const std::string& sql) {
    execOn(db_, sql);
}

void Store::transaction(const std::function<void()>& work) {
    std::lock_guard lock(writeMutex_);
    if (depth_ > 0) {
        ++depth_;
        try {
            work();
        } catch (...) {
            --depth_;
            throw;
        }
        --depth_;
        return;
    }
    exec("BEGIN IMMEDIATE");
    depth_ = 1;
    writer_ = std::this_thread::get_id();
    try {
        work();
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        depth_ = 0;
        writer_ = std::thread::id();
        throw;
    }
    depth_ = 0;
    writer_ = std::thread::id();
}

void Store::write(const std::function<void()>& work) {
    transaction(work);
    if (afterWrite_) afterWrite_();
}

std::string Store::listOrder(const std::string& kind) const {
    if (std::find(std::begin(kRecordLists), std::end(kRecordLists), kind) != std::end(kRecordLists)) return "seq DESC";
    for (const OrderList& list : kOrderLists) {
        if (kind == list.kind) {
            return std::string("json_extract(record, '$.") + list.moment +
                   "') DESC, CAST(json_extract(record, '$.id') AS INTEGER) DESC, seq DESC";
        }
    }
    return "seq";
}

void Store::createSchema() {
    exec(
        "CREATE TABLE IF NOT EXISTS users(id INTEGER PRIMARY KEY, username TEXT UNIQUE,"
        " password TEXT, phone TEXT, email TEXT, web TEXT, web_id TEXT, record TEXT NOT NULL);"
        "CREATE TABLE IF NOT EXISTS items(seq INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT,"
        " owner INTEGER, record TEXT NOT NULL);"
        "CREATE INDEX IF NOT EXISTS items_kind ON items(kind, owner, seq);"
        "CREATE TABLE IF NOT EXISTS outbox(seq INTEGER PRIMARY KEY AUTOINCREMENT, channel TEXT,"
        " address TEXT, purpose TEXT, code TEXT, text TEXT, created INTEGER, used INTEGER DEFAULT "
        "0);"
        "CREATE TABLE IF NOT EXISTS sessions(token TEXT PRIMARY KEY, uid INTEGER, created "
        "INTEGER);");
    // Data directories made before codes counted their wrong guesses.
    bool hasTries = false;
    {
        Stmt s(db_, "SELECT name FROM pragma_table_info('outbox')");
        while (s.step()) hasTries = hasTries || s.text(0) == "tries";
    }
    if (!hasTries) exec("ALTER TABLE outbox ADD COLUMN tries INTEGER DEFAULT 0");
    // Data directories made before records were filed about what they tell of.
    bool hasAbout = false;
    {
        Stmt s(db_, "SELECT name FROM pragma_table_info('items')");
        while (s.step()) hasAbout = hasAbout || s.text(0) == "about";
    }
    if (!hasAbout) exec("ALTER TABLE items ADD COLUMN about TEXT NOT NULL DEFAULT ''");
}

// Data directories made before the record lists were read newest first kept the demo's lists
// newest first and appended new records after them. Each list is filed again by its records'
// time, oldest first, so that it reads as before and new records come on top.
void Store::orderRecordLists() {
    {
        Stmt s(db_, "PRAGMA user_version");
        if (s.step() && s.integer(0) >= 1) return;
    }
    transaction([&] {
        for (const char* kind : kRecordLists) {
            std::vector<int64_t> owners;
            {
                Stmt s(db_, "SELECT DISTINCT owner FROM items WHERE kind = ?1");
                s.bind(1, std::string(kind));
                while (s.step()) owners.push_back(s.integer(0));
            }
            for (int64_t owner : owners) {
                std::vector<int64_t> seqs;
                std::vector<std::pair<std::string, std::string>> rows;  // (addtime, record)
                {
                    Stmt s(db_, "SELECT seq, record FROM items WHERE kind = ?1 AND owner = ?2 ORDER BY seq");
                    s.bind(1, std::string(kind)).bind(2, owner);
                    while (s.step()) {
                        seqs.push_back(s.integer(0));
                        json record = json::parse(s.text(1), nullptr, false);
                        std::string when = record.is_object() && record.contains("addtime") &&
                                                   record["addtime"].is_string()
                                               ? record["addtime"].get<std::string>()
                                               : std::string();
                        rows.emplace_back(when, s.text(1));
                    }
                }
                std::stable_sort(rows.begin(), rows.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                for (size_t i = 0; i < rows.size(); ++i) {
                    Stmt s(db_, "UPDATE items SET record = ?1 WHERE seq = ?2");
                    s.bind(1, rows[i].second).bind(2, seqs[i]);
                    s.step();
                }
            }
        }
        exec("PRAGMA user_version = 1");
    });
}

// Data directories made before records were filed about what they tell of: each withdrawal is
// named by its place among the account's, and the records and messages that tell an order's or a
// withdrawal's news are filed about it, found as the earlier versions wrote them: a record citing
// the order's number, the message telling the withdrawal's last news. So a refund, a payout or a
// return replaces the message of its own happening in these too. (Their order lists need nothing:
// they are read by their moments.)
void Store::linkHappenings() {
    {
        Stmt s(db_, "PRAGMA user_version");
        if (s.step() && s.integer(0) >= kVersion) return;
    }
    transaction([&] {
        std::vector<int64_t> owners;
        {
            Stmt s(db_, "SELECT DISTINCT owner FROM items WHERE kind IN ('taobao_order', 'store_order', 'withdraw')");
            while (s.step()) owners.push_back(s.integer(0));
        }
        for (int64_t owner : owners) {
            // Who tells of what: "订单 <number> " of an order, a withdrawal's news whole.
            std::vector<std::pair<std::string, std::string>> cited;  // (number, about)
            for (const Entry& o : entries("taobao_order", owner)) cited.emplace_back(text(o.record, "trade_id"), taobaoOrderAbout(o.record));
            for (const Entry& o : entries("store_order", owner)) cited.emplace_back(text(o.record, "order_code"), mallOrderAbout(o.record));
            std::vector<std::pair<std::string, std::string>> news;  // (message content, about)
            std::vector<Entry> withdrawals = entries("withdraw", owner);
            std::reverse(withdrawals.begin(), withdrawals.end());  // oldest first
            int64_t place = 0;
            for (Entry& w : withdrawals) {
                w.about = withdrawalAbout(++place);
                rewrite(w);
                if (w.record.is_object()) news.emplace_back(withdrawalNews(w.record, "").record(0)["content"], w.about);
            }
            for (const char* kind : {"asset", "refund", "message"}) {
                for (Entry& e : entries(kind, owner)) {
                    if (!e.about.empty() || !e.record.is_object()) continue;
                    for (const auto& [number, about] : cited) {
                        if (citesOrder(e.record, number)) {
                            e.about = about;
                            break;
                        }
                    }
                    if (e.about.empty() && std::string(kind) == "message") {
                        // One message a withdrawal: the one that tells its news.
                        const std::string content = text(e.record, "content");
                        auto told = std::find_if(news.begin(), news.end(), [&](const auto& n) { return n.first == content; });
                        if (told != news.end()) {
                            e.about = told->second;
                            news.erase(told);
                        }
                    }
                    if (!e.about.empty()) rewrite(e);
                }
            }
        }
        exec("PRAGMA user_version = " + std::to_string(kVersion));
    });
}

std::string Store::passwordHash(const std::string& password) {
    return md5Hex("zavelto-service:" + password);
}

std::optional<json> Store::userWhere(const std::string& column, const std::string& value) {
    Reader reader(*this);
    Stmt s(reader.db(), "SELECT record FROM users WHERE " + column + " = ?1 ORDER BY id LIMIT 1");
    s.bind(1, value);
    if (!s.step()) return std::nullopt;
    return json::parse(s.text(0));
}

std::optional<json> Store::userById(int64_t id) {
    return userWhere("id", std::to_string(id));
}

std::optional<json> Store::userByLogin(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (auto u = userWhere("username", name)) return u;
    if (auto u = userWhere("phone", name)) return u;
    return userWhere("email", name);
}

std::optional<json> Store::userByPhone(const std::string& phone) {
    if (phone.empty()) return std::nullopt;
    return userWhere("phone", phone);
}

std::optional<json> Store::userByEmail(const std::string& email) {
    if (email.empty()) return std::nullopt;
    return userWhere("email", email);
}

std::optional<json> Store::userByPartner(const std::string& web, const std::string& webId) {
    Reader reader(*this);
    Stmt s(reader.db(), "SELECT record FROM users WHERE web = ?1 AND web_id = ?2 LIMIT 1");
    s.bind(1, web).bind(2, webId);
    if (!s.step()) return std::nullopt;
    return json::parse(s.text(0));
}

std::optional<int64_t> Store::loginKeyHolder(const std::string& key, int64_t except) {
    if (!inOwnTransaction()) throw std::logic_error("a login key is checked inside the write that sets it");
    if (key.empty()) return std::nullopt;
    Reader reader(*this);
    Stmt s(reader.db(),
           "SELECT id FROM users WHERE id != ?2 AND (username = ?1 OR phone = ?1 OR email = ?1)"
           " ORDER BY id LIMIT 1");
    s.bind(1, key).bind(2, except);
    if (!s.step()) return std::nullopt;
    return s.integer(0);
}

bool Store::checkPassword(int64_t id, const std::string& password) {
    Reader reader(*this);
    Stmt s(reader.db(), "SELECT password FROM users WHERE id = ?1");
    s.bind(1, id);
    return s.step() && s.text(0) == passwordHash(password);
}

void Store::setPassword(int64_t id, const std::string& password) {
    write([&] {
        Stmt s(db_, "UPDATE users SET password = ?1 WHERE id = ?2");
        s.bind(1, passwordHash(password)).bind(2, id);
        s.step();
    });
}

json Store::createUser(const std::string& userName, const std::string& password,
                       const json& extra) {
    json record;
    write([&] {
        int64_t id = kTestUserId;
        {
            Stmt s(db_, "SELECT MAX(id) FROM users");
            if (s.step() && s.integer(0) >= id) id = s.integer(0) + 1;
        }
        record = demoUserRecord(id, userName);
        for (auto& [k, v] : extra.items()) record[k] = v;
        {
            Stmt s(db_, "INSERT INTO users(id, username, password, record) VALUES(?1, ?2, ?3, '{}')");
            s.bind(1, id).bind(2, userName).bind(3, passwordHash(password));
            s.step();
        }
        saveUser(record);
    });
    return record;
}

void Store::bindPartner(int64_t id, const std::string& web, const std::string& webId) {
    write([&] {
        Stmt s(db_, "UPDATE users SET web = ?1, web_id = ?2 WHERE id = ?3");
        s.bind(1, web).bind(2, webId).bind(3, id);
        s.step();
    });
}

void Store::saveUser(const json& record) {
    auto field = [&](const char* key) {
        auto it = record.find(key);
        return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    const std::string text = record.dump();
    write([&] {
        Stmt s(db_, "UPDATE users SET record = ?1, phone = ?2, email = ?3 WHERE id = ?4");
        s.bind(1, text).bind(2, field("phoneNumber")).bind(3, field("email"));
        s.bind(4, std::stoll(field("id")));
        s.step();
    });
}

int64_t Store::addItem(const std::string& kind, int64_t owner, json record, const std::string& about) {
    const std::string text = record.dump();
    int64_t seq = 0;
    write([&] {
        Stmt s(db_, "INSERT INTO items(kind, owner, record, about) VALUES(?1, ?2, ?3, ?4)");
        s.bind(1, kind).bind(2, owner).bind(3, text).bind(4, about);
        s.step();
        seq = sqlite3_last_insert_rowid(db_);
    });
    return seq;
}

std::vector<json> Store::items(const std::string& kind, int64_t owner) {
    std::vector<json> out;
    for (Entry& e : entries(kind, owner)) out.push_back(std::move(e.record));
    return out;
}

std::vector<Entry> Store::entries(const std::string& kind, int64_t owner) { return entriesWhere(kind, owner, nullptr); }

std::vector<Entry> Store::entriesAbout(const std::string& kind, int64_t owner, const std::string& about) {
    if (about.empty()) return {};
    return entriesWhere(kind, owner, &about);
}

std::vector<Entry> Store::entriesWhere(const std::string& kind, int64_t owner, const std::string* about) {
    Reader reader(*this);
    Stmt s(reader.db(), std::string("SELECT seq, about, record FROM items WHERE kind = ?1 AND owner = ?2") +
                            (about ? " AND about = ?3" : "") + " ORDER BY " + listOrder(kind));
    s.bind(1, kind).bind(2, owner);
    if (about) s.bind(3, *about);
    std::vector<Entry> out;
    while (s.step()) out.push_back({s.integer(0), s.text(1), json::parse(s.text(2))});
    return out;
}

void Store::rewrite(const Entry& entry) {
    const std::string text = entry.record.dump();
    write([&] {
        Stmt s(db_, "UPDATE items SET record = ?1, about = ?2 WHERE seq = ?3");
        s.bind(1, text).bind(2, entry.about).bind(3, entry.seq);
        s.step();
    });
}

int Store::removeAbout(const std::string& kind, int64_t owner, const std::string& about) {
    if (about.empty()) return 0;
    int removed = 0;
    write([&] {
        Stmt s(db_, "DELETE FROM items WHERE kind = ?1 AND owner = ?2 AND about = ?3");
        s.bind(1, kind).bind(2, owner).bind(3, about);
        s.step();
        removed = sqlite3_changes(db_);
    });
    return removed;
}

int Store::updateItems(const std::string& kind, int64_t owner,
                       const std::function<bool(json& record)>& edit) {
    int written = 0;
    write([&] {
        std::vector<std::pair<int64_t, json>> changed;
        {
            Stmt s(db_, "SELECT seq, record FROM items WHERE kind = ?1 AND owner = ?2 ORDER BY seq");
            s.bind(1, kind).bind(2, owner);
            while (s.step()) {
                json record = json::parse(s.text(1));
                if (edit(record)) changed.emplace_back(s.integer(0), std::move(record));
            }
        }
        for (const auto& [seq, record] : changed) {
            Stmt s(db_, "UPDATE items SET record = ?1 WHERE seq = ?2");
            s.bind(1, record.dump()).bind(2, seq);
            s.step();
        }
        written = static_cast<int>(changed.size());
    });
    return written;
}

int64_t Store::count(const std::string& kind, int64_t owner) {
    Reader reader(*this);
    Stmt s(reader.db(), "SELECT COUNT(*) FROM items WHERE kind = ?1 AND owner = ?2");
    s.bind(1, kind).bind(2, owner);
    return s.step() ? s.integer(0) : 0;
}

int64_t Store::nextNumber(const std::string& kind, const std::string& key, int64_t least) {
    // Counted in the database from the records' texts: none is parsed here.
    Reader reader(*this);
    Stmt s(reader.db(),
           "SELECT MAX(CAST(v AS INTEGER)) FROM (SELECT json_extract(record, ?2) AS v, json_type(record, ?2) AS t "
           "FROM items WHERE kind = ?1 AND json_valid(record)) "
           "WHERE t = 'integer' OR (t = 'text' AND v <> '' AND v NOT GLOB '*[^0-9]*' AND length(v) <= 18)");
    s.bind(1, kind).bind(2, "$.\"" + key + "\"");
    if (!s.step() || s.isNull(0)) return least;
    return std::max(least, s.integer(0) + 1);
}

Page Store::page(const std::vector<json>& rows, int64_t number, int64_t size) {
    Page p;
    // Page numbers and sizes come from the client: keep them in a range that cannot overflow.
    number = std::clamp<int64_t>(number, 1, 1000000);
    size = size < 1 ? 10 : std::min<int64_t>(size, 1000);
    auto first = static_cast<size_t>((number - 1) * size);
    for (size_t i = first; i < rows.size() && i < first + static_cast<size_t>(size); ++i) {
        p.rows.push_back(rows[i]);
    }
    p.end = first + static_cast<size_t>(size) >= rows.size();
    return p;
}

void Store::addOutbox(const std::string& channel, const std::string& address,
                      const std::string& purpose, const std::string& code,
                      const std::string& text) {
    write([&] {
        Stmt s(db_,
               "INSERT INTO outbox(channel, address, purpose, code, text, created)"
               " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        s.bind(1, channel).bind(2, address).bind(3, purpose).bind(4, code).bind(5, text);
        s.bind(6, static_cast<int64_t>(std::time(nullptr)));
        s.step();
    });
}

CodeCheck Store::takeCode(const std::string& channel, const std::string& address,
                          const std::string& purpose, const std::string& code) {
    CodeCheck check = CodeCheck::wrong;
    write([&] {
        int64_t seq = 0;
        int64_t tries = 0;
        bool right = false;
        {
            Stmt s(db_,
                   "SELECT seq, code, tries FROM outbox WHERE channel = ?1 AND address = ?2"
                   " AND purpose = ?3 AND used = 0 ORDER BY seq DESC LIMIT 1");
            s.bind(1, channel).bind(2, address).bind(3, purpose);
            if (!s.step()) return;
            seq = s.integer(0);
            right = !code.empty() && s.text(1) == code;
            tries = s.integer(2) + (right ? 0 : 1);
        }
        bool spent = right || tries >= kMaxCodeGuesses;
        Stmt s(db_, "UPDATE outbox SET used = ?1, tries = ?2 WHERE seq = ?3");
        s.bind(1, int64_t{spent}).bind(2, tries).bind(3, seq);
        s.step();
        check = right ? CodeCheck::accepted : spent ? CodeCheck::spent : CodeCheck::wrong;
    });
    return check;
}

json Store::outbox(const std::string& channel) {
    Reader reader(*this);
    Stmt s(reader.db(),
           "SELECT address, purpose, code, text, created, used FROM outbox WHERE channel = ?1"
           " ORDER BY seq");
    s.bind(1, channel);
    json out = json::array();
    while (s.step()) {
        out.push_back({{"address", s.text(0)},
                       {"purpose", s.text(1)},
                       {"code", s.text(2)},
                       {"text", s.text(3)},
                       {"created", s.integer(4)},
                       {"used", s.integer(5) != 0}});
    }
    return out;
}

void Store::clearOutboxes() {
    write([&] {
        exec("DELETE FROM outbox");
    });
}

std::string Store::newSession(int64_t userId) {
    std::string token = randomHex(16);
    write([&] {
        Stmt s(db_, "INSERT INTO sessions(token, uid, created) VALUES(?1, ?2, ?3)");
        s.bind(1, token).bind(2, userId).bind(3, static_cast<int64_t>(std::time(nullptr)));
        s.step();
    });
    return token;
}

std::optional<int64_t> Store::sessionUser(const std::string& token) {
    Reader reader(*this);
    Stmt s(reader.db(), "SELECT uid FROM sessions WHERE token = ?1");
    s.bind(1, token);
    if (!s.step()) return std::nullopt;
    return s.integer(0);
}

void Store::reseed() {
    transaction([&] {
        exec("DELETE FROM users; DELETE FROM items; DELETE FROM outbox; DELETE FROM sessions;");
        seed();
    });
}

void Store::seed() {
    const DemoSeed demo = demoSeed(demoDayOf(demoDay_));
    transaction([&] {
        for (const auto& u : demo.users) {
            json record = demoUserRecord(u.id, u.userName);
            for (auto& [k, v] : u.extra.items()) {
                if (v.is_null()) {
                    record.erase(k);
                } else {
                    record[k] = v;
                }
            }
            Stmt s(db_,
                   "INSERT INTO users(id, username, password, web, web_id, record)"
                   " VALUES(?1, ?2, ?3, ?4, ?5, '{}')");
            s.bind(1, u.id).bind(2, u.userName).bind(3, passwordHash(u.password));
            s.bind(4, u.web).bind(5, u.webId);
            s.step();
            saveUser(record);
        }
        for (const auto& item : demo.items) addItem(item.kind, item.owner, item.record, item.about);
    });
}

}  // namespace zvt::service
