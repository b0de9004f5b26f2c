#include "export/save_formats.h"

#include "config/resources.h"
#include "config/suite_settings.h"
#include "platform/ini_file.h"

#include <array>
#include <initializer_list>

namespace {

const SaveFileType k3g2 { "Tessaly Movie file type (*.3g2)|*.3g2||", "*.3g2" };
const SaveFileType k3gp { "Tessaly Movie file type (*.3gp)|*.3gp||", "*.3gp" };
const SaveFileType kK3g { "Tessaly Movie file type (*.k3g)|*.k3g||", "*.k3g" };
const SaveFileType kSkm { "Movie file type (*.skm)|*.skm||", "*.skm" };
const SaveFileType kMp4 { "Tessaly Movie file type (*.mp4)|*.mp4||", "*.mp4" };

bool matchesAny(const QString& upperModel, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (upperModel.contains(QLatin1String(n)))
            return true;
    return false;
}

} // namespace

SaveFileType SaveFileTypeForModel(const QString& model, const QString& modelIniPath)
{
    const QString m = model.toUpper();
    if (matchesAny(m, { "TX-02" }))
        return k3g2;
    if (matchesAny(m,
            { "TX-03", "TX-04", "TX-05", "TX-06", "TX-07", "TX-08", "TX-09", "TX-10", "TX-11", "TX-12", "TX-13",
                "TX-14", "TX-15", "TX-16", "TX-17", "TX-18", "TX-19", "TX-20", "TX-21", "TX-22", "TX-23", "TX-24",
                "TX-25", "TX-26", "TX-27", "TX-28" }))
        return k3gp;
    if (matchesAny(m, { "TX-29", "TX-30", "TX-31", "TX-32", "TX-33" }))
        return kK3g;
    if (matchesAny(m, { "TX-01", "TX-34", "TX-35" }))
        return kSkm;

    QString format;
    ini::GetPrivateProfileString("CW_SUPPORT_INFO", "VIDEO_SAVE_FORMAT", QString(), format, 8192, modelIniPath);
    if (format.compare("skm", Qt::CaseInsensitive) == 0)
        return kSkm;
    if (format.compare("3gp", Qt::CaseInsensitive) == 0)
        return k3gp;
    if (format.compare("k3g", Qt::CaseInsensitive) == 0)
        return kK3g;
    if (format.compare("mp4", Qt::CaseInsensitive) == 0)
        return kMp4;
    return k3g2;
}

SaveFileType CurrentSaveFileType()
{
    return SaveFileTypeForModel(GetDefaultModelName(), GetModelIniPath());
}

EncoderParams EncoderParamsForModel(const QString& model)
{
    const QString m = model.toUpper();
    if (matchesAny(m, { "TX-02" }))
        return { 1, 6, 2, 5 };
    if (matchesAny(m,
            { "TX-03", "TX-10", "TX-19", "TX-04", "TX-05", "TX-06", "TX-07", "TX-08", "TX-09", "TX-20", "TX-17",
                "TX-26" }))
        return { 1, 2, 2, 1 };
    if (matchesAny(m,
            { "TX-11", "TX-12", "TX-13", "TX-14", "TX-15", "TX-16", "TX-17", "TX-18", "TX-21", "TX-22", "TX-23",
                "TX-24", "TX-25", "TX-27", "TX-28" }))
        return { 1, 2, 2, 0 };
    if (matchesAny(m, { "TX-29", "TX-30", "TX-31", "TX-33", "TX-32" }))
        return { 0, 1, 2, 2 };
    if (matchesAny(m, { "TX-01", "TX-34", "TX-35" }))
        return { 1, 2, 2, 5 };
    return { 1, 2, 2, 0 };
}

QString InitialFolderFromSetting(const QString& value)
{
    const int comma = value.indexOf(',');
    return comma > 0 ? value.mid(comma + 1) : value;
}

QString InitialSaveFolder()
{
    IniFile suite(GetSuiteIniPath());
    return InitialFolderFromSetting(suite.GetString("DESKTOP PATH", "CAMCORDER0"));
}
