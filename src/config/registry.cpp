#include "config/registry.h"

#include <cstring>
#include <vector>

CRegistry::~CRegistry()
{
    CloseKey();
}

CRegistryHCU::~CRegistryHCU()
{
    CloseKey();
}

bool CRegistry::OpenKey(const QString& name)
{
    enumIndex_ = 0;
    const QString path = QStringLiteral("SOFTWARE\\%1").arg(name);
    if (!RegistryStore::instance().createKey(hive(), path)) {
        key_.reset();
        return false;
    }
    key_ = path;
    return true;
}

bool CRegistry::CloseKey()
{
    if (!key_)
        return false;
    key_.reset();
    return true;
}

bool CRegistry::ReadValue(const QString& name, void* buffer, std::uint32_t capacityBytes)
{
    if (!key_ || !buffer)
        return false;
    const auto v = RegistryStore::instance().readValue(hive(), *key_, name);
    if (!v || static_cast<std::uint32_t>(v->data.size()) > capacityBytes)
        return false;
    std::memcpy(buffer, v->data.constData(), static_cast<std::size_t>(v->data.size()));
    return true;
}

bool CRegistry::ReadString(const QString& name, QString& text, std::uint32_t capacityChars)
{
    std::vector<char16_t> buffer(capacityChars, 0);
    if (!ReadValue(name, buffer.data(), capacityChars * 2))
        return false;
    std::size_t n = 0;
    while (n < buffer.size() && buffer[n] != 0)
        ++n;
    text = QString::fromUtf16(buffer.data(), static_cast<qsizetype>(n));
    return true;
}

bool CRegistry::ReadDword(const QString& name, std::uint32_t& value)
{
    if (!key_)
        return false;
    const auto v = RegistryStore::instance().readValue(hive(), *key_, name);
    if (!v || v->data.size() != 4)
        return false;
    std::memcpy(&value, v->data.constData(), 4);
    return true;
}

bool CRegistry::WriteString(const QString& name, const QString& text)
{
    return key_ && RegistryStore::instance().writeValue(hive(), *key_, name, RegistryStore::stringValue(text));
}

bool CRegistry::WriteDword(const QString& name, std::uint32_t value)
{
    return key_ && RegistryStore::instance().writeValue(hive(), *key_, name, RegistryStore::dwordValue(value));
}

bool CRegistry::EnumValue(QString& name, void* data, std::uint32_t capacityBytes)
{
    if (!key_)
        return false;
    const auto names = RegistryStore::instance().valueNames(hive(), *key_);
    if (!names || enumIndex_ >= static_cast<std::uint32_t>(names->size()))
        return false;
    name = names->at(static_cast<qsizetype>(enumIndex_++));
    return ReadValue(name, data, capacityBytes);
}

bool CRegistry::EnumSubKey(QString& name)
{
    if (!key_)
        return false;
    const auto names = RegistryStore::instance().subKeyNames(hive(), *key_);
    if (!names || enumIndex_ >= static_cast<std::uint32_t>(names->size()))
        return false;
    name = names->at(static_cast<qsizetype>(enumIndex_++));
    return name.size() <= 255;
}

bool CRegistry::DeleteSubKey(const QString& subKey)
{
    return key_ && !subKey.isEmpty() && RegistryStore::instance().deleteKey(hive(), *key_ + "\\" + subKey);
}
