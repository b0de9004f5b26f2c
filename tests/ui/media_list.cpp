// test-links: cw_shell
// The media list: thumbnails, the add paths and the phone-format refusal.
#include "import/import_rule.h"
#include "panes/media_list/thumbnail_wnd.h"
#include "shell_fixture.h"

#include <QDir>
#include <QMimeData>
#include <QUrl>

#include <tuple>

namespace {

QHash<QString, QString>& Texts()
{
    static QHash<QString, QString> texts;
    return texts;
}
QString Text(QString section, QString key)
{
    return Texts().value(section + "/" + key);
}
QString Image(QString section, QString key)
{
    return section == "ME_RIGHT_LISTIMAGE" && key == "MP3" ? QStringLiteral("type_mp3.png") : QString();
}

bool Near(QRgb a, QRgb b, int tolerance = 16)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

class MediaList : public ::testing::Test {
protected:
    void SetUp() override
    {
        Texts().clear();
        SetSuiteValue("IMAGEDIR", dir.path());
        SetSuiteValue("INIDIR", dir.path());
        SetSuiteValue("ORVT_LANG", "EN");
        SetSuiteValue("ORVT_DEFAULT_MODELNAME", "tx-07");
        context.resources = ResourceLookup(&Text, &Image);
        context.workFolder = dir.filePath("work");
        QDir().mkpath(context.workFolder);
        pane = new CCW_ThumbnailWnd(context, &owner, dir.filePath("cache"));
    }
    QString Picture(const char* name, QSize size, QColor colour)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }
    QString Bytes(const char* name, const QByteArray& bytes)
    {
        EXPECT_TRUE(WriteFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    }
    std::vector<DialogRecord> Refusals()
    {
        std::vector<DialogRecord> found;
        for (const DialogRecord& r : dialogs->records())
            if (r.kind == DialogKind::SkinnedMessage)
                found.push_back(r);
        return found;
    }

    TempRegistry registry;
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    PaneContext context;
    Recorder owner { "container" };
    CCW_ThumbnailWnd* pane = nullptr;
};

TEST_F(MediaList, ThumbnailsFollowThePictureAndFrameRulesAndAreCached)
{
    const QColor red(200, 40, 40), green(40, 200, 40), blue(40, 40, 200);
    QImage type(20, 20, QImage::Format_RGB32);
    type.fill(blue);
    ASSERT_TRUE(type.save(dir.filePath("type_mp3.png")));
    const QString avi = dir.filePath("clip.avi");
    ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "color=c=0xC82828:s=320x240:d=2:r=10", "-c:v", "mpeg4", "-q:v", "2",
        "-pix_fmt", "yuv420p", avi }));
    const QStringList files = { Picture("wide.bmp", { 200, 100 }, red), Picture("tall.bmp", { 100, 200 }, green),
        Picture("small.bmp", { 40, 30 }, blue), avi, Bytes("list.avi", "#EXTM3U\nclip.avi\n"),
        Bytes("sound.aac", QByteArray(512, '\xff')), Bytes("voice.amr", "#!AMR\n"), Bytes("song.mp3", "ID3") };
    for (const QString& f : files)
        EXPECT_EQ(pane->AddHostFile(f, QString()), 1);
    CMS_ListCtrl* list = pane->list();
    ASSERT_EQ(list->count(), files.size());
    // Rows appear at once, each with an empty framed cell.
    EXPECT_EQ(list->cell(0), CThumbnailMaker::EmptyCell());
    ASSERT_TRUE(WaitFor([&] { return list->readyCount() == list->count(); }, 30000));

    // Inside the 1-pixel frame each cell is white but for the picture, fitted
    // into 96 x 96 and centred, or the type image at the top left.
    const QRgb white = CThumbnailMaker::kFill, frame = CThumbnailMaker::kFrame;
    const std::tuple<int, QRect, QColor> pictures[] = { { 0, { 0, 24, 96, 48 }, red }, { 1, { 24, 0, 48, 96 }, green },
        { 2, { 28, 33, 40, 30 }, blue }, { 3, { 0, 12, 96, 72 }, red }, { 7, { 0, 0, 20, 20 }, blue } };
    for (const auto& [row, picture, colour] : pictures) {
        const QImage cell = list->cell(row);
        EXPECT_TRUE(Near(cell.pixel(0, 0), frame) && Near(cell.pixel(95, 95), frame)) << row;
        int wrong = 0;
        for (int y = 1; y < 95; ++y) {
            for (int x = 1; x < 95; ++x)
                wrong += !Near(cell.pixel(x, y), picture.contains(x, y) ? colour.rgb() : white);
        }
        EXPECT_EQ(wrong, 0) << "row " << row;
    }
    // A playlist named .avi, AAC and AMR: empty cells, rows kept.
    for (int row : { 4, 5, 6 })
        EXPECT_EQ(list->cell(row), CThumbnailMaker::EmptyCell()) << row;

    // Another list with the same cache opens no decoder for the same files.
    CCW_ThumbnailWnd again(context, &owner, dir.filePath("cache"));
    again.AddHostFile(files[0], QString());
    again.AddHostFile(avi, QString());
    ASSERT_TRUE(WaitFor([&] { return again.list()->readyCount() == 2; }, 10000));
    EXPECT_EQ(again.thumbnails().decodes(), 0);
    EXPECT_EQ(again.list()->cell(1), list->cell(3));

    // Removed rows drop their jobs; the drag carries the files as URLs.
    for (int i = 0; i < 50; ++i)
        pane->AddHostFile(dir.filePath(QString("missing%1.avi").arg(i)), QString());
    list->selectAll();
    SendMessage(pane, msg::ListDeleteSelected, 0, 0);
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(QFileInfo::exists(avi)); // files on disk untouched
    again.list()->selectAll();
    std::unique_ptr<QMimeData> drag(
        again.list()->listModel().mimeData(again.list()->selectionModel()->selectedIndexes()));
    EXPECT_EQ(drag->urls().size(), 2);
}

TEST_F(MediaList, AddsSkipHeldPathsAndThePhoneRuleRefuses)
{
    // Host adds skip a held path in any letter case; AddFile only in the same.
    QString a = "/m/Clip.avi", b = "/m/clip.AVI", display = "/phone/Clip.avi";
    SendMessage(pane, msg::AddMovieList, 0, ToLParam(&a));
    SendMessage(pane, msg::ListAddHostFile, ToWParam(&b), ToLParam(&display));
    EXPECT_EQ(pane->list()->count(), 1);
    EXPECT_EQ(SendMessage(pane, msg::ListAddFile, ToWParam(&a), 1), 1);
    EXPECT_EQ(SendMessage(pane, msg::ListAddFile, ToWParam(&b), 1), 0);
    EXPECT_EQ(pane->list()->count(), 2);
    std::uint32_t count = 0;
    EXPECT_EQ(SendMessage(pane, msg::ListCount, 0, ToLParam(&count)), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(SendMessage(pane, msg::ListCount, 1, 0), 5);

    // 0x3064 adds its paths, then opens the first in the source preview.
    const QStringList host = { "/m/x.wav", "/m/y.avi" };
    SendMessage(pane, msg::HostAddFiles, 1, ToLParam(&host));
    EXPECT_EQ(pane->list()->count(), 4);
    EXPECT_EQ(owner.sent.back().message, msg::OpenSource);
    EXPECT_EQ(owner.sent.back().wParam, 0u);
    EXPECT_EQ(owner.texts.back(), "/m/x.wav");
    // A file that has gone leaves the list.
    QString gone = "/m/y.avi";
    SendMessage(pane, msg::FileGone, 0, ToLParam(&gone));
    EXPECT_EQ(pane->list()->count(), 3);

    // Refusals: the COMMON text; for SKM the model file's text with the
    // display model name, or the backup-only sentence for the TX-35.
    Texts()["COMMON/CANNOT_BE_SUPPORT_FORMAT"] = "Not for {MODEL_NAME}.";
    SetSuiteValue("ORVT_DISPLAY_MODELNAME", "Tx-35 Pro");
    pane->SetClock([] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)); });
    const QString backupOnly = QString::fromUtf8("해당 파일은 Orvanta와 TX-35 단말 간에\n백업 및 복구만 가능합니다.");
    const char* const none = "";
    struct Case {
        const char* model;
        const char* path;
        const char* modelText; // in the model file
        QString shown;
    } const cases[]
        = { { "tx-07", "/m/a.3GP", none, "Not for {MODEL_NAME}." }, { "tx-07", "/m/b.skm", none, "Not for Tx-35 Pro." },
              { "tx-35", "/m/c.SKM", none, backupOnly }, { "tx-35", "/m/d.mp4", none, "Not for {MODEL_NAME}." },
              { "tx-35", "/m/e.skm", "Back up {MODEL_NAME} only", "Back up Tx-35 Pro only" } }; // the model file's own
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(WriteFile(dir.filePath("TX-35 PRO.ini"),
            QByteArray("[STRING_COMMON_EN]\nCANNOT_BE_SUPPORT_FORMAT=") + c.modelText + "\n"));
        dialogs->clearRecords();
        SetSuiteValue("ORVT_DEFAULT_MODELNAME", c.model);
        QString path = c.path;
        EXPECT_EQ(SendMessage(pane, msg::ListAddFile, ToWParam(&path), 1), 1);
        const auto shown = Refusals();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, c.shown);
        EXPECT_EQ(shown[0].type, 2u);
        EXPECT_TRUE(shown[0].selfClosing);
    }
    EXPECT_EQ(pane->list()->count(), 3);
    // All within one second: one import folder in the work folder.
    EXPECT_EQ(QDir(context.workFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList { "20260304050607" });

    // .3gpp and .mpeg4 are not phone formats; without a work folder there is
    // no import folder but the refusal still shows.
    for (QString path : { QString("/m/f.3gpp"), QString("/m/g.mpeg4") })
        EXPECT_EQ(SendMessage(pane, msg::ListAddFile, ToWParam(&path), 1), 0);
    dialogs->clearRecords();
    ImportSetup setup;
    setup.resources = context.resources;
    CPhoneMovieConverter converter;
    EXPECT_EQ(RunImportRule("/m/h.k3g", ImportVariant::Preview, setup, converter), ImportResult::Refused);
    EXPECT_EQ(converter.target(), "/h.avi");
    EXPECT_EQ(Refusals().size(), 1u);
}

} // namespace
