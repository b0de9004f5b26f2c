#include "import/import_rule.h"

#include "config/media_classify.h"
#include "config/suite_settings.h"
#include "platform/dialog_service.h"

#include <QDir>
#include <QFileInfo>

std::atomic<bool> CPhoneMovieConverter::runFlag { false };
std::atomic<QObject*> CPhoneMovieConverter::progressReceiver { nullptr };

namespace {

// The file name after the last separator.
QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// The extension of the file name with its dot, or empty.
QString ExtensionOf(const QString& path)
{
    const QString name = FileNameOf(path);
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : name.mid(dot);
}

// The handset whose SKM files only the suite's backup can carry.
const QString kBackupOnlyModel = QStringLiteral("TX-35");
const QString kBackupOnlyText = QString::fromUtf8("해당 파일은 Orvanta와 TX-35 단말 간에\n백업 및 복구만 가능합니다.");

} // namespace

QString MakeImportFolderIn(const QString& workFolder, const QDateTime& when)
{
    if (workFolder.isEmpty())
        return QString();
    const QString folder = workFolder + "/" + when.toString("yyyyMMddHHmmss");
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder); // a failure is not reported: the refusal follows anyway
    return folder;
}

QString ConversionTarget(const QString& importFolder, const QString& path)
{
    const QString name = FileNameOf(path);
    const int dot = name.lastIndexOf('.');
    const QString title = dot < 0 ? name : name.left(dot);
    return importFolder + "/" + title + ".avi";
}

QString ImportRefusalText(const QString& path, const ResourceLookup& resources)
{
    const QString handset = GetDefaultModelName().toUpper();
    QString text = resources.GetResourceText("COMMON", "CANNOT_BE_SUPPORT_FORMAT");
    const bool skm = ExtensionOf(path).compare(".skm", Qt::CaseInsensitive) == 0;
    if (skm && handset.startsWith(kBackupOnlyModel))
        text = kBackupOnlyText;
    if (skm) {
        // An entry that is there but empty keeps the text chosen so far.
        const QString model = GetModelString("STRING_COMMON", "CANNOT_BE_SUPPORT_FORMAT", text);
        if (!model.isEmpty())
            text = model;
        text.replace("{MODEL_NAME}", GetDisplayModelName());
    }
    return text;
}

ImportResult RunImportRule(
    const QString& path, ImportVariant variant, const ImportSetup& setup, CPhoneMovieConverter& converter)
{
    if (!IsPhoneFormatFile(path))
        return ImportResult::Passed;

    const QString folder = MakeImportFolderIn(setup.workFolder, setup.clock());
    converter.SetSource(path);
    converter.SetTarget(ConversionTarget(folder, path));
    if (variant != ImportVariant::MediaList) {
        CPhoneMovieConverter::runFlag = false;
        CPhoneMovieConverter::progressReceiver = setup.progressWindow;
    }
    if (converter.IsAvailable() && converter.Convert())
        return ImportResult::Passed;

    SkinnedMessage message;
    message.text = ImportRefusalText(path, setup.resources);
    message.type = 2;
    message.selfClosing = true;
    message.textCallback = setup.resources.textCallback();
    message.imageCallback = setup.resources.imageCallback();
    Dialogs().skinnedMessage(setup.owner, message);
    return ImportResult::Refused;
}
