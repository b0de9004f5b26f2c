#include "suite_setup.h"

#include "config/registry.h"
#include "config/suite_settings.h"
#include "platform/registry_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <cstdio>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

QStringList DataDirCandidates(const QString& appDir, const QString& override)
{
    if (!override.isEmpty())
        return { QDir(override).absolutePath() };
    QStringList out;
    const QString env = qEnvironmentVariable("ORVANTA_SUITE_DATA");
    if (!env.isEmpty())
        out << QDir(env).absolutePath();
    const QDir dir(appDir);
    out << QDir::cleanPath(dir.filePath("../suite")) << QDir::cleanPath(dir.filePath("../share/orvanta/suite"));
    return out;
}

QString FindDataDir(const QString& appDir, const QString& override)
{
    for (const QString& d : DataDirCandidates(appDir, override)) {
        if (QFileInfo::exists(d + "/tables/text_EN.ini"))
            return d;
    }
    return QString();
}

QString UserSuiteDir()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.local/share";
    return QDir::cleanPath(base + "/orvanta");
}

bool InstallIniFiles(const QString& templateDir, const QString& iniDir, const QString& moviesDir, QString* error)
{
    if (!QDir().mkpath(iniDir)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(iniDir);
        return false;
    }
    const QStringList names = QDir(templateDir).entryList({ "*.ini" }, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile in(templateDir + '/' + name);
        if (!in.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("cannot read %1").arg(in.fileName());
            return false;
        }
        QByteArray content = in.readAll();
        content.replace("{MOVIES}", QFile::encodeName(moviesDir));
        // Written whole under a temporary name and renamed, so an editor
        // reading the file while another host starts never sees it half written.
        const QString target = iniDir + '/' + name;
        if (readAll(target) == content)
            continue;
        QSaveFile out(target);
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit()) {
            if (error)
                *error = QStringLiteral("cannot write %1: %2").arg(target, out.errorString());
            return false;
        }
    }
    return true;
}

void LinkDataIntoSuiteFolder(const QString& dataDir, const QString& userDir)
{
    QDir().mkpath(userDir);
    for (const QString& name : kLinkedDataNames) {
        const QString target = QFileInfo(dataDir + '/' + name).absoluteFilePath();
        if (!QFileInfo::exists(target))
            continue;
        const QString link = userDir + '/' + name;
        const QFileInfo info(link);
        if (info.isSymLink()) {
            if (info.symLinkTarget() == target)
                continue;
        } else if (info.exists()) {
            continue;
        }
        // A new link renamed over the old one: the name never goes missing for
        // an editor running meanwhile.
        const QString fresh = QStringLiteral("%1.%2.new").arg(link).arg(QCoreApplication::applicationPid());
        QFile::remove(fresh);
        if (!QFile::link(target, fresh) || std::rename(QFile::encodeName(fresh), QFile::encodeName(link)) != 0)
            QFile::remove(fresh);
    }
}

QList<RegistryDefault> SuiteDefaults(const SuiteLayout& layout, const QString& language)
{
    return {
        { "FOLDER", layout.userDir },
        { "IMAGEDIR", layout.imageDir() },
        { "INIDIR", layout.iniDir() },
        { "CURRENT_PATH", layout.userDir },
        { "APP_TITLE", QString::fromLatin1(kDefaultAppTitle) },
        { "ORVT_DEFAULT_MODELNAME", "TX-07" },
        { "ORVT_DISPLAY_MODELNAME", "TX-07" },
        { "ORVT_LANG", language },
    };
}

bool WriteMissingValues(const QList<RegistryDefault>& defaults, QStringList* written, QString* error)
{
    CRegistry reg;
    if (!reg.OpenKey(kSuiteKey)) {
        if (error)
            *error = QStringLiteral("cannot open the suite key in %1").arg(RegistryStore::defaultPath());
        return false;
    }
    auto& store = RegistryStore::instance();
    bool ok = true;
    for (const auto& d : defaults) {
        if (store.readValue(RegHive::LocalMachine, reg.keyPath(), d.name))
            continue;
        if (!reg.WriteString(d.name, d.value)) {
            ok = false;
            if (error)
                *error = QStringLiteral("cannot write %1 in %2").arg(d.name, RegistryStore::defaultPath());
            continue;
        }
        if (written)
            written->append(d.name);
    }
    reg.CloseKey();
    return ok;
}

bool WriteValues(const QList<RegistryDefault>& values, QString* error)
{
    CRegistry reg;
    if (!reg.OpenKey(kSuiteKey)) {
        if (error)
            *error = QStringLiteral("cannot open the suite key in %1").arg(RegistryStore::defaultPath());
        return false;
    }
    bool ok = true;
    for (const auto& v : values) {
        if (!reg.WriteString(v.name, v.value)) {
            ok = false;
            if (error)
                *error = QStringLiteral("cannot write %1 in %2").arg(v.name, RegistryStore::defaultPath());
        }
    }
    reg.CloseKey();
    return ok;
}

QString SystemLanguage()
{
    return QLocale::system().language() == QLocale::Korean ? "KR" : "EN";
}
