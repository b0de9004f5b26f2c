// Short-lived handles on one registry key under SOFTWARE\ of the local
// machine hive (CRegistry) or of the current user hive (CRegistryHCU).
// Construct, OpenKey, read or write a few values, CloseKey.
#pragma once

#include "platform/registry_store.h"

#include <QString>
#include <cstdint>
#include <optional>

class CRegistry {
public:
    CRegistry() = default;
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Opens (creating when missing) "SOFTWARE\<name>"; resets the enumeration index.
    bool OpenKey(const QString& name);
    bool CloseKey();
    bool IsOpen() const { return key_.has_value(); }

    // Reads the value's data (any type) into buffer. Fails when the value is
    // missing or its data is larger than capacityBytes.
    bool ReadValue(const QString& name, void* buffer, std::uint32_t capacityBytes);
    // Text of a REG_SZ value read with a buffer of capacityChars UTF-16 units
    // (the terminating null included). Fails as ReadValue does.
    bool ReadString(const QString& name, QString& text, std::uint32_t capacityChars);
    bool ReadDword(const QString& name, std::uint32_t& value);
    bool WriteString(const QString& name, const QString& text);
    bool WriteDword(const QString& name, std::uint32_t value);

    // The value at the enumeration index: its name, and its data as ReadValue
    // reads it. Advances the index; false when no value is left.
    bool EnumValue(QString& name, void* data, std::uint32_t capacityBytes);
    // The subkey name at the enumeration index; advances the index.
    bool EnumSubKey(QString& name);
    bool DeleteSubKey(const QString& subKey);

    // Full key path below the hive while open ("SOFTWARE\Orvanta3.0").
    QString keyPath() const { return key_.value_or(QString()); }

protected:
    virtual RegHive hive() const { return RegHive::LocalMachine; }

private:
    std::optional<QString> key_;
    std::uint32_t enumIndex_ = 0;
};

class CRegistryHCU : public CRegistry {
public:
    ~CRegistryHCU() override;

protected:
    RegHive hive() const override { return RegHive::CurrentUser; }
};
