#include "panes/media_list/toolbar_wnd.h"

#include "config/media_classify.h"
#include "import/media_browser.h"
#include "import/toolbar_strip.h"
#include "skin/movie_work_dlg.h"
#include "skin/skin_button.h"
#include "skin/work_dialog_run.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>

CCW_ToolBarWnd::CCW_ToolBarWnd(const PaneContext& context, QWidget* parent, const QString& thumbnailCache)
    : MessageWindow<QWidget>(parent)
    , context_(context)
    , thumbnailCache_(thumbnailCache)
    , converter_(std::make_shared<CPhoneMovieConverter>())
    , worker_(QStringLiteral("cw-toolbar-import"))
{
    setObjectName("CCW_ToolBarWnd");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* strip = new CToolBarStrip(context_.resources, "ME_TOOLBAR_LEFT2", "ME_TOOLBAR_MID", "ME_TOOLBAR_RIGHT2");
    layout->addWidget(strip);
    setFixedHeight(strip->height());
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 0, 6, 0);
    row->setSpacing(2);
    struct Button {
        int id;
        const char* text;
        const char* image;
        const char* tip;
    };
    const Button buttons[] = { { kOpenFileId, "OpenFile", "CW_TOOLBAR_BTN_FILEOPEN", "BTN_FILEOPEN" },
        { kDeleteId, "Delete", "CW_TOOLBAR_BTN_DELETE", "BTN_DELETE" },
        { kViewId, "View", "CW_TOOLBAR_BTN_VIEW", "BTN_VIEW" },
        { kViewSideId, "ViewSide", "CW_TOOLBAR_BTN_VIEWSIDE", nullptr } };
    for (const Button& b : buttons) {
        auto* button = new CSkinButton(strip, b.id);
        button->setText(b.text);
        button->setObjectName(b.text);
        button->SetImages(context_.resources.GetResourceImagePath("IMAGE", b.image));
        if (b.tip)
            button->SetToolTipKey(context_.resources, "CW_TOOLBAR_TOOLTIPS", b.tip);
        if (button->sizeHint().isEmpty())
            button->setMinimumSize(24, 24);
        row->addWidget(button);
        buttons_.push_back(button);
    }
    row->addStretch();
    connect(button(kOpenFileId), &QAbstractButton::clicked, this, &CCW_ToolBarWnd::OpenFile);
    connect(button(kDeleteId), &QAbstractButton::clicked, this, &CCW_ToolBarWnd::Delete);
    connect(button(kViewId), &QAbstractButton::clicked, this, &CCW_ToolBarWnd::View);
    connect(button(kViewSideId), &QAbstractButton::clicked, this, [this] {
        QWidget* b = button(kViewSideId);
        BuildViewMenu()->popup(b->mapToGlobal(QPoint(0, b->height())));
    });
}

CCW_ToolBarWnd::~CCW_ToolBarWnd() = default;

CSkinButton* CCW_ToolBarWnd::button(int id) const
{
    for (CSkinButton* b : buttons_)
        if (b->controlId() == id)
            return b;
    return nullptr;
}

QString CCW_ToolBarWnd::Text(const char* section, const char* key) const
{
    return context_.resources.GetResourceText(section, key);
}

void CCW_ToolBarWnd::OpenFile()
{
    BrowserSetup setup;
    setup.resources = context_.resources;
    setup.isDeviceName = context_.isDeviceName;
    setup.thumbnailCache = thumbnailCache_;
    CMS_Browser browser(setup, window());
    browser_ = &browser;
    const int result = browser.DoModal();
    browser_ = nullptr;
    if (result == 1)
        ImportPicked(browser.selectedPaths());
}

void CCW_ToolBarWnd::ImportPicked(const QStringList& picked)
{
    QStringList phone, rest;
    for (const QString& path : picked)
        (IsPhoneFormatFile(path) ? phone : rest) << path;
    if (!phone.isEmpty())
        ImportPhoneFiles(phone);
    if (!rest.isEmpty())
        SendMessage(parent(), msg::ListAddPicked, 0, ToLParam(&rest));
}

void CCW_ToolBarWnd::ImportPhoneFiles(const QStringList& paths)
{
    CMovie_WorkDlg dialog(window(), this);
    dialog.SetResourceCallbacks(context_.resources.textCallback(), context_.resources.imageCallback());
    dialog.SetTitle(Text("CW_WORKDLG", "TITLE"));
    dialog.SetWorkTexts(Text("CW_MESSAGE", "READ_FILE"), Text("CW_MESSAGE", "WAIT"), false);
    auto setup = std::make_shared<ImportSetup>();
    setup->resources = context_.resources;
    setup->workFolder = context_.importFolders ? context_.workFolder : QString();
    setup->owner = window();
    setup->progressWindow = &dialog;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The job's end sends 0x6314 to the dialog, which ends its run.
    RunWorkBesideDialog(worker_, dialog, msg::CloseMovieWork,
        [setup, converter = converter_, paths](const CBackgroundWorker::CancelFlag& cancel) {
            for (const QString& path : paths) {
                if (*cancel)
                    break;
                RunImportRule(path, ImportVariant::ToolBar, *setup, *converter);
            }
        });
    CPhoneMovieConverter::progressReceiver = nullptr;
    QGuiApplication::restoreOverrideCursor();
}

void CCW_ToolBarWnd::Delete()
{
    SendMessage(parent(), msg::ListDeleteSelected, 0, 0);
}

void CCW_ToolBarWnd::View()
{
    const int mode = int(SendMessage(parent(), msg::ListCount, 1, 0));
    const int next = mode >= 3 && mode < 6 ? mode + 1 : 3;
    SendMessage(parent(), msg::ListSetViewMode, 0, next);
}

QMenu* CCW_ToolBarWnd::BuildViewMenu()
{
    struct Choice {
        int id;
        const char* key;
        int mode;
    };
    const Choice choices[]
        = { { kViewThumbnailId, "ID_COMMON_VIEW_THUMBNAIL", 5 }, { kViewLargeIconId, "ID_COMMON_VIEW_LARGEICON", 6 },
              { kViewSimpleId, "ID_COMMON_VIEW_SIMPLE", 3 }, { kViewDetailId, "ID_COMMON_VIEW_DETAIL", 4 } };
    const int current = int(SendMessage(parent(), msg::ListCount, 1, 0));
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Choice& c : choices) {
        QAction* action = menu->addAction(Text("MEDIAEXPLORER", c.key), this,
            [this, mode = c.mode] { SendMessage(parent(), msg::ListSetViewMode, 0, mode); });
        action->setData(c.id);
        action->setCheckable(true);
        action->setChecked(c.mode == current);
    }
    return menu;
}

LRESULT CCW_ToolBarWnd::onMessage(std::uint32_t message, WPARAM, LPARAM, bool& handled)
{
    // A file that has gone concerns only the list.
    if (message == msg::FileGone)
        return 0;
    handled = false;
    return 0;
}
