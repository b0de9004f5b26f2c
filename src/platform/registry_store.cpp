#include "platform/registry_store.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
#include <chrono>
#include <sqlite3.h>
#include <thread>

namespace {

constexpr int kBusyTimeoutMs = 10000;

const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys (
  id INTEGER PRIMARY KEY,
  hive INTEGER NOT NULL,
  parent INTEGER,
  name TEXT NOT NULL,
  lname TEXT NOT NULL,
  UNIQUE (hive, parent, lname)
);
CREATE TABLE IF NOT EXISTS vals (
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  lname TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB,
  UNIQUE (key, lname)
);
)sql";

QStringList splitKey(const QString& key)
{
    return key.split('\\', Qt::SkipEmptyParts);
}

// Prepared statement with automatic finalisation.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK; }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return ok_; }
    Stmt& bind(int i, std::int64_t v)
    {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Stmt& bindNull(int i)
    {
        sqlite3_bind_null(s_, i);
        return *this;
    }
    Stmt& bind(int i, const QString& v)
    {
        const QByteArray u = v.toUtf8();
        sqlite3_bind_text(s_, i, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bind(int i, const QByteArray& v)
    {
        sqlite3_bind_blob(s_, i, v.constData(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return ok_ ? sqlite3_step(s_) : SQLITE_ERROR; }
    std::int64_t i64(int c) const { return sqlite3_column_int64(s_, c); }
    QString text(int c) const
    {
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(s_, c)), sqlite3_column_bytes(s_, c));
    }
    QByteArray blob(int c) const
    {
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(s_, c)), sqlite3_column_bytes(s_, c));
    }

private:
    sqlite3_stmt* s_ = nullptr;
    bool ok_ = false;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back unless committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db)
        : db_(db)
    {
        ok_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction()
    {
        if (ok_ && !done_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool ok() const { return ok_; }
    bool commit()
    {
        done_ = true;
        return sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }

private:
    sqlite3* db_;
    bool ok_ = false;
    bool done_ = false;
};

} // namespace

QString RegistryStore::defaultPath()
{
    const QByteArray env = qgetenv("ORVANTA_REGISTRY");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (config.isEmpty())
        config = QDir::homePath() + "/.config";
    return config + "/orvanta/registry.db";
}

RegistryStore& RegistryStore::instance()
{
    static std::mutex m;
    static std::unique_ptr<RegistryStore> store;
    std::lock_guard lock(m);
    const QString path = defaultPath();
    if (!store || store->path() != path)
        store = std::make_unique<RegistryStore>(path);
    return *store;
}

RegistryStore::RegistryStore(const QString& path)
    : path_(path)
{ }

RegistryStore::~RegistryStore()
{
    if (db_)
        sqlite3_close(db_);
}

bool RegistryStore::ensureOpen()
{
    if (db_)
        return true;
    if (broken_)
        return false;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    // Never create over or replace an existing file: only open it.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path_.toUtf8().constData(), &db_, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        broken_ = true;
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // Setting up can meet another process doing the same (switching to WAL,
    // creating the tables): such a busy answer is waited out, not taken for
    // a broken file.
    int rc = SQLITE_OK;
    for (const char* step : { "PRAGMA journal_mode=WAL", "PRAGMA foreign_keys=ON", kSchema }) {
        for (int attempt = 0; attempt < kBusyTimeoutMs / 10; ++attempt) {
            rc = sqlite3_exec(db_, step, nullptr, nullptr, nullptr);
            if ((rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (rc != SQLITE_OK)
            break;
    }
    if (rc != SQLITE_OK) {
        // Corrupt or not a database: leave the file alone; every call fails.
        sqlite3_close(db_);
        db_ = nullptr;
        broken_ = (rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_LOCKED;
        return false;
    }
    return true;
}

bool RegistryStore::isUsable()
{
    std::lock_guard lock(mutex_);
    return ensureOpen();
}

namespace {
// The id of the child key named part (any case) under parent (none: the
// hive's root); empty optional when missing, -1 on a database error.
std::optional<std::int64_t> childKey(sqlite3* db, RegHive hive, std::optional<std::int64_t> parent, const QString& part)
{
    Stmt q(db,
        parent ? "SELECT id FROM keys WHERE hive=? AND parent=? AND lname=?"
               : "SELECT id FROM keys WHERE hive=? AND parent IS NULL AND lname=?");
    q.bind(1, static_cast<std::int64_t>(hive));
    int i = 2;
    if (parent)
        q.bind(i++, *parent);
    q.bind(i, part.toLower());
    const int rc = q.step();
    if (rc == SQLITE_ROW)
        return q.i64(0);
    return rc == SQLITE_DONE ? std::nullopt : std::optional<std::int64_t>(-1);
}
} // namespace

std::optional<std::int64_t> RegistryStore::findKey(RegHive hive, const QString& key)
{
    std::optional<std::int64_t> parent;
    for (const QString& part : splitKey(key)) {
        parent = childKey(db_, hive, parent, part);
        if (!parent || *parent < 0)
            return std::nullopt;
    }
    return parent.value_or(0); // id 0 stands for the hive's root
}

std::optional<std::int64_t> RegistryStore::makeKey(RegHive hive, const QString& key)
{
    std::optional<std::int64_t> parent;
    for (const QString& part : splitKey(key)) {
        const auto found = childKey(db_, hive, parent, part);
        if (found && *found < 0)
            return std::nullopt;
        if (found) {
            parent = found;
            continue;
        }
        Stmt ins(db_, "INSERT INTO keys (hive, parent, name, lname) VALUES (?, ?, ?, ?)");
        ins.bind(1, static_cast<std::int64_t>(hive));
        if (parent)
            ins.bind(2, *parent);
        else
            ins.bindNull(2);
        ins.bind(3, part).bind(4, part.toLower());
        if (ins.step() != SQLITE_DONE)
            return std::nullopt;
        parent = sqlite3_last_insert_rowid(db_);
    }
    return parent.value_or(0);
}

bool RegistryStore::keyExists(RegHive hive, const QString& key)
{
    std::lock_guard lock(mutex_);
    return ensureOpen() && findKey(hive, key).has_value();
}

bool RegistryStore::createKey(RegHive hive, const QString& key)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen())
        return false;
    if (findKey(hive, key))
        return true;
    Transaction t(db_);
    return t.ok() && makeKey(hive, key) && t.commit();
}

bool RegistryStore::deleteKey(RegHive hive, const QString& key)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen() || splitKey(key).isEmpty())
        return false;
    Transaction t(db_);
    if (!t.ok())
        return false;
    const auto id = findKey(hive, key);
    if (!id)
        return false;
    // Collect the key and every key below it, then delete them with their values.
    std::vector<std::int64_t> ids { *id };
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Stmt q(db_, "SELECT id FROM keys WHERE parent=?");
        q.bind(1, ids[i]);
        while (q.step() == SQLITE_ROW)
            ids.push_back(q.i64(0));
    }
    for (auto k : ids) {
        Stmt dv(db_, "DELETE FROM vals WHERE key=?");
        Stmt dk(db_, "DELETE FROM keys WHERE id=?");
        dv.bind(1, k);
        dk.bind(1, k);
        if (dv.step() != SQLITE_DONE || dk.step() != SQLITE_DONE)
            return false;
    }
    return t.commit();
}

std::optional<RegValue> RegistryStore::readValue(RegHive hive, const QString& key, const QString& name)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen())
        return std::nullopt;
    const auto id = findKey(hive, key);
    if (!id)
        return std::nullopt;
    Stmt q(db_, "SELECT type, data FROM vals WHERE key=? AND lname=?");
    q.bind(1, *id).bind(2, name.toLower());
    if (q.step() != SQLITE_ROW)
        return std::nullopt;
    return RegValue { static_cast<std::uint32_t>(q.i64(0)), q.blob(1) };
}

bool RegistryStore::writeValue(RegHive hive, const QString& key, const QString& name, const RegValue& value)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen())
        return false;
    Transaction t(db_);
    if (!t.ok())
        return false;
    const auto id = makeKey(hive, key);
    if (!id)
        return false;
    Stmt q(db_,
        "INSERT INTO vals (key, name, lname, type, data) VALUES (?, ?, ?, ?, ?) "
        "ON CONFLICT (key, lname) DO UPDATE SET type=excluded.type, data=excluded.data");
    q.bind(1, *id).bind(2, name).bind(3, name.toLower()).bind(4, static_cast<std::int64_t>(value.type));
    q.bind(5, value.data);
    return q.step() == SQLITE_DONE && t.commit();
}

bool RegistryStore::deleteValue(RegHive hive, const QString& key, const QString& name)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen())
        return false;
    Transaction t(db_);
    if (!t.ok())
        return false;
    const auto id = findKey(hive, key);
    if (!id)
        return false;
    Stmt q(db_, "DELETE FROM vals WHERE key=? AND lname=?");
    q.bind(1, *id).bind(2, name.toLower());
    return q.step() == SQLITE_DONE && sqlite3_changes(db_) > 0 && t.commit();
}

std::optional<QStringList> RegistryStore::valueNames(RegHive hive, const QString& key)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen())
        return std::nullopt;
    const auto id = findKey(hive, key);
    if (!id)
        return std::nullopt;
    Stmt q(db_, "SELECT name FROM vals WHERE key=? ORDER BY id");
    q.bind(1, *id);
    QStringList names;
    while (q.step() == SQLITE_ROW)
        names << q.text(0);
    return names;
}

std::optional<QStringList> RegistryStore::subKeyNames(RegHive hive, const QString& key)
{
    std::lock_guard lock(mutex_);
    if (!ensureOpen())
        return std::nullopt;
    const auto id = findKey(hive, key);
    if (!id)
        return std::nullopt;
    Stmt q(db_,
        *id == 0 ? "SELECT name FROM keys WHERE hive=? AND parent IS NULL ORDER BY id"
                 : "SELECT name FROM keys WHERE hive=? AND parent=? ORDER BY id");
    q.bind(1, static_cast<std::int64_t>(hive));
    if (*id != 0)
        q.bind(2, *id);
    QStringList names;
    while (q.step() == SQLITE_ROW)
        names << q.text(0);
    return names;
}

RegValue RegistryStore::stringValue(const QString& text)
{
    QByteArray data(static_cast<qsizetype>((text.size() + 1) * 2), '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<quint16>(text.at(i).unicode(), data.data() + i * 2);
    return RegValue { REG_SZ, data };
}

RegValue RegistryStore::dwordValue(std::uint32_t v)
{
    QByteArray data(4, '\0');
    qToLittleEndian<quint32>(v, data.data());
    return RegValue { REG_DWORD, data };
}

QString RegistryStore::toText(const RegValue& v)
{
    QString s;
    for (qsizetype i = 0; i + 1 < v.data.size(); i += 2) {
        const auto c = qFromLittleEndian<quint16>(v.data.constData() + i);
        if (c == 0)
            break;
        s.append(QChar(c));
    }
    return s;
}

std::optional<std::pair<RegHive, QString>> ParseRegistryPath(const QString& path)
{
    const int sep = path.indexOf('\\');
    const QString root = (sep < 0 ? path : path.left(sep)).toUpper();
    const QString rest = sep < 0 ? QString() : path.mid(sep + 1);
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE")
        return std::make_pair(RegHive::LocalMachine, rest);
    if (root == "HKCU" || root == "HKEY_CURRENT_USER")
        return std::make_pair(RegHive::CurrentUser, rest);
    return std::nullopt;
}
