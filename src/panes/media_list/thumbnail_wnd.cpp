#include "panes/media_list/thumbnail_wnd.h"

#include "config/media_classify.h"
#include "platform/dialog_service.h"

#include <QMenu>
#include <QVBoxLayout>

namespace {
// Context-menu texts (section "MEDIAEXPLORER") and the view mode each sets.
struct ViewChoice {
    const char* key;
    int mode;
};
constexpr ViewChoice kViewChoices[] = { { "ID_SCREEN_CONTEXTMENU_VIEW_THUMBNAIL", CMS_ListCtrl::Thumbnails },
    { "ID_RIGHT_TOOLBAR_VIEW_LARGEICON", CMS_ListCtrl::LargeIcons },
    { "ID_RIGHT_TOOLBAR_VIEW_SIMPLE", CMS_ListCtrl::Simple },
    { "ID_RIGHT_TOOLBAR_VIEW_DETAIL", CMS_ListCtrl::Details } };
} // namespace

CCW_ThumbnailWnd::CCW_ThumbnailWnd(const PaneContext& context, QWidget* parent, const QString& cacheFolder)
    : MessageWindow<QWidget>(parent)
    , context_(context)
    , thumbnails_(std::make_unique<CThumbnailMaker>(cacheFolder))
    , list_(new CMS_ListCtrl(context_.resources, *thumbnails_, this))
{
    setObjectName("CCW_ThumbnailWnd");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);
    list_->onDropFile = [this](const QString& path) { AddFile(path); };
    list_->onOpen = [this](const MediaListItem& item) { Open(item); };
    // What a host script's state file shows of the list.
    list_->onChanged = [this] {
        setProperty("rows", list_->count());
        setProperty("thumbnailsReady", list_->readyCount());
        setProperty("viewMode", list_->viewModeValue());
    };
    list_->onChanged();
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& at) { BuildContextMenu()->popup(list_->viewport()->mapToGlobal(at)); });
}

CCW_ThumbnailWnd::~CCW_ThumbnailWnd()
{
    // The list goes first: its rows drop their jobs before the maker joins.
    delete list_;
}

std::unique_ptr<MediaListItem> CCW_ThumbnailWnd::NewItem(
    const QString& path, const QString& displayPath, int slot) const
{
    auto item = std::make_unique<MediaListItem>();
    item->workPath = path;
    item->sourcePath = displayPath.isEmpty() ? path : displayPath;
    item->imageIndex = slot;
    item->state = 0;
    return item;
}

int CCW_ThumbnailWnd::AddHostFile(const QString& path, const QString& displayPath)
{
    if (path.isEmpty() || list_->Holds(path, Qt::CaseInsensitive))
        return 0;
    list_->InsertItem(NewItem(path, displayPath, list_->AllocateSlot()));
    ++fileCounter_;
    return 1;
}

bool CCW_ThumbnailWnd::AddFile(const QString& path, bool applyRule)
{
    if (path.isEmpty() || list_->Holds(path, Qt::CaseSensitive))
        return false;
    const int slot = list_->AllocateSlot();
    if (applyRule) {
        ImportSetup setup;
        setup.resources = context_.resources;
        setup.workFolder = context_.importFolders ? context_.workFolder : QString();
        setup.clock = clock_;
        setup.owner = this;
        // A refused file keeps its slot, as the rule says.
        if (RunImportRule(path, ImportVariant::MediaList, setup, converter_) == ImportResult::Refused)
            return false;
    }
    list_->InsertItem(NewItem(path, QString(), slot));
    return true;
}

void CCW_ThumbnailWnd::Open(const MediaListItem& item)
{
    QString path = item.workPath;
    const WPARAM kind = BrowserMediaKind(path) == MediaKind::Audio ? 1 : 0;
    SendMessage(parent(), msg::OpenSource, kind, ToLParam(&path));
}

QMenu* CCW_ThumbnailWnd::BuildContextMenu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto text = [this](const char* key) { return context_.resources.GetResourceText("MEDIAEXPLORER", key); };
    const bool selection = !list_->selectedRows().empty();
    menu->addAction(text("ID_COMMON_CONTEXTMENU_FILEDELETE"), this, [this] { list_->RemoveSelected(); })
        ->setEnabled(selection);
    menu->addAction(text("ID_COMMON_CONTEXTMENU_FILEINFO"), this, [this] { ShowFileInfo(); })->setEnabled(selection);
    menu->addSeparator();
    for (const ViewChoice& choice : kViewChoices) {
        QAction* action
            = menu->addAction(text(choice.key), this, [this, mode = choice.mode] { list_->SetViewMode(mode); });
        action->setCheckable(true);
        action->setChecked(list_->viewModeValue() == choice.mode);
    }
    return menu;
}

void CCW_ThumbnailWnd::ShowFileInfo()
{
    const std::vector<int> rows = list_->selectedRows();
    if (rows.empty())
        return;
    const MediaListItem& item = list_->item(rows.front());
    SkinnedMessage message;
    message.text = item.sourcePath;
    if (item.workPath != item.sourcePath)
        message.text += "\n" + item.workPath;
    message.type = 2;
    message.textCallback = context_.resources.textCallback();
    message.imageCallback = context_.resources.imageCallback();
    Dialogs().skinnedMessage(this, message);
}

LRESULT CCW_ThumbnailWnd::onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    switch (message) {
    case msg::AddMovieList:
        if (lParam)
            AddHostFile(*FromParam<const QString>(lParam), QString());
        return 0;
    case msg::ListAddHostFile:
        if (!wParam)
            return 1;
        AddHostFile(*FromParam<const QString>(wParam), lParam ? *FromParam<const QString>(lParam) : QString());
        return 0;
    case msg::HostAddFiles: {
        if (!lParam)
            return 1;
        const QStringList paths = *FromParam<const QStringList>(lParam);
        for (const QString& path : paths)
            AddHostFile(path, QString());
        if (!paths.isEmpty()) {
            QString first = paths.front();
            SendMessage(parent(), msg::OpenSource, 0, ToLParam(&first));
        }
        return 0;
    }
    case msg::HostAddBrowserFile:
    case msg::ListAddFile:
        return AddFile(*FromParam<const QString>(wParam)) ? 0 : 1;
    case msg::ListAddPicked:
        if (lParam)
            for (const QString& path : *FromParam<const QStringList>(lParam))
                AddFile(path, false);
        return 0;
    case msg::ListDeleteSelected:
        list_->RemoveSelected();
        return 0;
    case msg::ListSetViewMode:
        list_->SetViewMode(int(lParam));
        return 0;
    case msg::ListCount:
        if (wParam == 1)
            return list_->viewModeValue();
        if (lParam)
            *FromParam<std::uint32_t>(lParam) = std::uint32_t(list_->count());
        return 0;
    case msg::FileGone:
        if (lParam)
            list_->RemovePath(*FromParam<const QString>(lParam));
        return 0;
    case msg::ListCommandFirst:
    case msg::ListCommand2:
        return 0;
    default:
        handled = false;
        return 0;
    }
}
