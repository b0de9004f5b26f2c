#include "export/phone_link.h"

#include "config/resources.h"
#include "config/suite_settings.h"
#include "platform/c_handles.h"
#include "platform/registry_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <dlfcn.h>

#include <algorithm>
#include <memory>

namespace {

constexpr const char* kFolderSection = "ORVT_DEVICE_FOLDER_INFO";
constexpr const char* kFolderKey = "CAMCORDER0";

const char* const kCeServicesKey = "SOFTWARE\\Microsoft\\Windows CE Services";
const char* const kPartnersKey = "SOFTWARE\\Microsoft\\Windows CE Services\\Partners";
const char* const kPortableDevicesKey = "SOFTWARE\\Microsoft\\Windows Portable Devices\\Devices";

// A text value read as the registry reads it into a buffer of capacityBytes:
// missing, not text, or too large for the buffer gives nothing.
std::optional<QString> ReadText(RegHive hive, const QString& key, const QString& name, int capacityBytes)
{
    const auto value = RegistryStore::instance().readValue(hive, key, name);
    if (!value || value->type != REG_SZ || value->data.size() > capacityBytes)
        return std::nullopt;
    return RegistryStore::toText(*value);
}

} // namespace

QString PhoneMovieFolder()
{
    const QString model = GetDefaultModelName().toUpper();
    QString folder;
    const QString stringIni = GetStringIniPath();
    if (QFileInfo::exists(stringIni)) {
        const QString modelIni = GetModelIniPath();
        if (QFileInfo::exists(modelIni))
            folder = IniFile(modelIni).GetString(kFolderSection, kFolderKey);
        else
            folder = IniFile(stringIni).GetString(QString("%1_%2").arg(kFolderSection, model), kFolderKey);
    }
    if (folder.isEmpty())
        return folder;
    // "2,\Storage Card\Movies": the folder is what follows a comma that is not
    // the first character.
    const int comma = folder.indexOf(QLatin1Char(','));
    if (comma > 0)
        folder = folder.mid(comma + 1);
    if (folder.isEmpty())
        return folder;
    // The phone's own separator: a folder written with backslashes keeps them.
    const bool backslashes = folder.contains(QLatin1Char('\\')) && !folder.contains(QLatin1Char('/'));
    const QChar sep = backslashes ? QLatin1Char('\\') : QLatin1Char('/');
    if (!folder.endsWith(sep))
        folder += sep;
    return folder;
}

QString PhoneFileName(const QString& name)
{
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    QString clean;
    for (const QChar c : name.mid(cut + 1)) {
        if (c.category() != QChar::Other_Control)
            clean += c;
    }
    return clean == QLatin1String(".") || clean == QLatin1String("..") ? QString() : clean;
}

namespace {

// A phone-link method taking two paths; false unless it reports > 0.
bool CallLink(QObject* phoneLink, const char* method, const QString& a, const QString& b)
{
    int result = 0;
    const bool called = QMetaObject::invokeMethod(
        phoneLink, method, Qt::DirectConnection, Q_RETURN_ARG(int, result), Q_ARG(QString, a), Q_ARG(QString, b));
    return called && result > 0;
}

} // namespace

bool SendToPhone(QObject* phoneLink, const QString& localPath, const QString& fileName)
{
    const QString folder = PhoneMovieFolder();
    const QString name = PhoneFileName(fileName);
    if (folder.isEmpty() || name.isEmpty() || !phoneLink)
        return false;
    const QString target = folder + name;
    if (phoneLink->metaObject()->indexOfMethod("RenameFile(QString,QString)") < 0)
        return CallLink(phoneLink, "SendFile", localPath, target);
    const QString partial = folder + QStringLiteral(".%1.part%2").arg(name).arg(QCoreApplication::applicationPid());
    return CallLink(phoneLink, "SendFile", localPath, partial) && CallLink(phoneLink, "RenameFile", partial, target);
}

std::optional<int> CallCommLibrary(const QString& libraryPath, qulonglong handle, HostTextCallback text,
    HostImageCallback image, const QString& aviPath)
{
    if (libraryPath.isEmpty())
        return std::nullopt;
    const DlHandle library(dlopen(QFile::encodeName(libraryPath).constData(), RTLD_NOW));
    if (!library)
        return std::nullopt;
    auto fn = reinterpret_cast<PCEditMovieToVexloFn>(dlsym(library.get(), kCommLibraryExport));
    if (!fn)
        return std::nullopt;
    return fn(handle, text, image, aviPath);
}

QString CollectDeviceNames(const ResourceLookup& lookup)
{
    RegistryStore& reg = RegistryStore::instance();
    QString list = lookup.GetResourceText("MEDIAEXPLORER", "MOBILE_DEVICE") + ";Windows Mobile Device;"
        + GetDefaultModelName().toUpper();

    // The first partnership that names its device.
    const QStringList partners = reg.subKeyNames(RegHive::CurrentUser, kPartnersKey).value_or(QStringList());
    for (const QString& partner : partners) {
        const QString key = QString("%1\\%2").arg(kPartnersKey, partner);
        if (!reg.keyExists(RegHive::CurrentUser, key))
            continue;
        const auto maker = ReadText(RegHive::CurrentUser, key, "DeviceManufacturer", 256);
        if (maker && !maker->isEmpty()) {
            list += ";" + *maker;
            const auto model = ReadText(RegHive::CurrentUser, key, "DeviceModel", 256);
            if (model && !model->isEmpty())
                list += " " + *model;
            break;
        }
        if (const auto display = ReadText(RegHive::CurrentUser, key, "DisplayName", 256)) {
            list += ";" + *display;
            break;
        }
    }

    // The portable device whose name carries the connected hardware id.
    if (auto id = ReadText(RegHive::CurrentUser, kCeServicesKey, "DeviceHardwareId", 1024)) {
        QString hardwareId = id->toUpper();
        if (hardwareId.startsWith('{'))
            hardwareId.remove(0, 1);
        if (hardwareId.endsWith('}'))
            hardwareId.chop(1);
        const QStringList devices = reg.subKeyNames(RegHive::LocalMachine, kPortableDevicesKey).value_or(QStringList());
        // An empty id would match every device; it names none.
        for (const QString& device : hardwareId.isEmpty() ? QStringList() : devices) {
            QThread::msleep(1);
            if (device.size() > 1024 || !device.toUpper().contains(hardwareId))
                continue;
            const QString key = QString("%1\\%2").arg(kPortableDevicesKey, device);
            if (const auto name = ReadText(RegHive::LocalMachine, key, "FriendlyName", 260)) {
                list += ";" + *name;
                break;
            }
        }
    }
    return list.toUpper();
}

bool IsConnectedDeviceName(const QString& deviceNames, const QString& name)
{
    const QString wanted = name.toUpper();
    const QStringList items = deviceNames.split(QLatin1Char(';'));
    for (const QString& item : items) {
        if (item.toUpper() == wanted)
            return true;
    }
    return false;
}
