// A registry on SQLite: two hives, keys named by backslash-separated paths
// (matched without regard to case, stored as first written), typed values.
// Every write is one transaction; the database runs in WAL mode so several
// processes can read and write at once.
//
// The database file is $ORVANTA_REGISTRY, else
// $XDG_CONFIG_HOME/orvanta/registry.db (~/.config when unset). A database that
// cannot be opened or is corrupt makes every read fail and every write report
// failure; the file is never truncated or replaced.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

struct sqlite3;

enum class RegHive { LocalMachine, CurrentUser };

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;

struct RegValue {
    std::uint32_t type = REG_NONE;
    QByteArray data; // REG_SZ: UTF-16LE text with its terminating null
};

class RegistryStore {
public:
    // The store for the current database path (opened on first use, and
    // again when ORVANTA_REGISTRY changes).
    static RegistryStore& instance();
    // The path instance() uses now.
    static QString defaultPath();

    explicit RegistryStore(const QString& path);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    QString path() const { return path_; }
    // False when the database could not be opened or prepared.
    bool isUsable();

    bool keyExists(RegHive hive, const QString& key);
    // Creates the key and its missing parents.
    bool createKey(RegHive hive, const QString& key);
    // Deletes the key with its values and subkeys.
    bool deleteKey(RegHive hive, const QString& key);

    std::optional<RegValue> readValue(RegHive hive, const QString& key, const QString& name);
    bool writeValue(RegHive hive, const QString& key, const QString& name, const RegValue& value);
    bool deleteValue(RegHive hive, const QString& key, const QString& name);

    // Names in the order they were first written; empty when the key is missing.
    std::optional<QStringList> valueNames(RegHive hive, const QString& key);
    std::optional<QStringList> subKeyNames(RegHive hive, const QString& key);

    // Helpers for the two common types.
    static RegValue stringValue(const QString& text);
    static RegValue dwordValue(std::uint32_t v);
    // Text of a REG_SZ value (up to its first null).
    static QString toText(const RegValue& v);

private:
    bool ensureOpen();
    std::optional<std::int64_t> findKey(RegHive hive, const QString& key);
    std::optional<std::int64_t> makeKey(RegHive hive, const QString& key);

    QString path_;
    sqlite3* db_ = nullptr;
    bool broken_ = false;
    std::recursive_mutex mutex_;
};

// Splits "HKLM\SOFTWARE\X" (or HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER)
// into a hive and the key below it.
std::optional<std::pair<RegHive, QString>> ParseRegistryPath(const QString& path);
