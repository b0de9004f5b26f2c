#include "import/media_browser.h"

#include "config/media_classify.h"
#include "import/browser_places.h"
#include "import/toolbar_strip.h"
#include "skin/skin_button.h"

#include <QAbstractFileIconProvider>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr QSize kDefaultSize { 760, 520 };
constexpr int kPathRole = Qt::UserRole + 1;

// Hides the folders named like a connected handheld device.
class CDeviceFolderFilter : public QSortFilterProxyModel {
public:
    explicit CDeviceFolderFilter(std::function<bool(const QString&)> isDevice, QObject* parent)
        : QSortFilterProxyModel(parent)
        , isDevice_(std::move(isDevice))
    { }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (!isDevice_)
            return true;
        return !isDevice_(sourceModel()->index(row, 0, parent).data().toString());
    }

private:
    std::function<bool(const QString&)> isDevice_;
};

// Folders without icons: the icon theme loads on first use, which would
// stall the UI thread while the tree fills.
class CPlainFolderIcons : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType) const override { return QIcon(); }
    QIcon icon(const QFileInfo&) const override { return QIcon(); }
};

int KindRank(const QString& path)
{
    switch (BrowserMediaKind(path)) {
    case MediaKind::Video:
        return 0;
    case MediaKind::Audio:
        return 1;
    case MediaKind::Picture:
        return 2;
    default:
        return 3;
    }
}

} // namespace

CMS_BrowserListCtrl::CMS_BrowserListCtrl(const ResourceLookup& resources, CThumbnailMaker& thumbnails, QWidget* parent)
    : MessageWindow<QListView>(parent)
    , resources_(resources)
    , thumbnails_(thumbnails)
    , lister_(QStringLiteral("cw-browser-list"))
{
    setObjectName("CMS_BrowserListCtrl");
    setModel(&model_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    SetViewMode(Thumbnails);
}

QStringList CMS_BrowserListCtrl::ListFolder(const QString& folder)
{
    // Unreadable folders list nothing; folders and links to folders are
    // not files, so loops are never followed.
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::NoSort);
    QStringList paths;
    for (const QFileInfo& info : entries)
        if (KindRank(info.fileName()) < 3)
            paths << info.absoluteFilePath();
    std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        const int ra = KindRank(a), rb = KindRank(b);
        return ra != rb ? ra < rb : a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return paths;
}

void CMS_BrowserListCtrl::ShowFolder(const QString& folder)
{
    for (const auto& ticket : tickets_)
        CThumbnailMaker::Drop(ticket);
    tickets_.clear();
    model_.clear();
    ready_ = 0;
    folder_ = folder;
    listing_ = true;
    lister_.Post<QStringList>(
        this, QStringLiteral("list"), [folder](const CBackgroundWorker::CancelFlag&) { return ListFolder(folder); },
        [this](QStringList paths) {
            listing_ = false;
            const QImage empty = CThumbnailMaker::EmptyCell();
            for (const QString& path : paths) {
                auto* item = new QStandardItem(QFileInfo(path).fileName());
                item->setData(path, kPathRole);
                item->setData(empty, Qt::DecorationRole);
                item->setToolTip(path);
                model_.appendRow(item);
                QPersistentModelIndex index = item->index();
                tickets_.push_back(thumbnails_.Request(this, path, resources_, [this, index](QImage cell) {
                    ++ready_;
                    if (index.isValid())
                        model_.setData(index, cell, Qt::DecorationRole);
                }));
            }
        });
}

QStringList CMS_BrowserListCtrl::paths() const
{
    QStringList all;
    for (int row = 0; row < model_.rowCount(); ++row)
        all << model_.item(row)->data(kPathRole).toString();
    return all;
}

QStringList CMS_BrowserListCtrl::SelectedPaths() const
{
    QModelIndexList rows = selectionModel()->selectedIndexes();
    std::sort(rows.begin(), rows.end());
    QStringList selected;
    for (const QModelIndex& index : rows)
        selected << index.data(kPathRole).toString();
    return selected;
}

bool CMS_BrowserListCtrl::AllSelected() const
{
    return model_.rowCount() > 0 && selectionModel()->selectedIndexes().size() == model_.rowCount();
}

void CMS_BrowserListCtrl::SelectAll()
{
    if (AllSelected())
        return;
    selectAll();
    setFocus();
}

void CMS_BrowserListCtrl::SetViewMode(int mode)
{
    if (mode < Simple || mode > LargeIcons)
        return;
    viewMode_ = mode;
    const int cell = CThumbnailMaker::kCell;
    const bool icons = mode == Thumbnails || mode == LargeIcons;
    setViewMode(icons ? QListView::IconMode : QListView::ListMode);
    const int side = mode == Thumbnails ? cell : mode == LargeIcons ? cell / 2 : mode == Details ? 32 : 16;
    setIconSize(QSize(side, side));
    setGridSize(icons ? QSize(side + 16, side + 36) : QSize());
    setMovement(QListView::Static);
}

LRESULT CMS_BrowserListCtrl::onMessage(std::uint32_t message, WPARAM, LPARAM lParam, bool& handled)
{
    if (message != browser::kFillResult) {
        handled = false;
        return 0;
    }
    if (lParam)
        *FromParam<QStringList>(lParam) = SelectedPaths();
    return 0;
}

CMS_Browser::CMS_Browser(const BrowserSetup& setup, QWidget* parent)
    : CSkinBaseDialog(parent)
    , setup_(setup)
    , thumbnails_(std::make_unique<CThumbnailMaker>(setup.thumbnailCache))
{
    setObjectName("CMS_Browser");
    SetResourceCallbacks(setup.resources.textCallback(), setup.resources.imageCallback());
    SetSkinned(true);
    SetTitle(Text("COMMON", "COMMON_BROWSER_TITLE"));
    const ResourceLookup& r = setup_.resources;
    const QSize size(r.GetResourceInt("COMMONBROWSER", "WIDTH", kDefaultSize.width()),
        r.GetResourceInt("COMMONBROWSER", "HEIGHT", kDefaultSize.height()));
    setFixedSize(size);

    const auto rect = [&](const char* prefix, QRect fallback) {
        const QString p = QString::fromLatin1(prefix);
        return QRect(r.GetResourceInt("COMMONBROWSER", p + "_X", fallback.x()),
            r.GetResourceInt("COMMONBROWSER", p + "_Y", fallback.y()),
            r.GetResourceInt("COMMONBROWSER", p + "_WIDTH", fallback.width()),
            r.GetResourceInt("COMMONBROWSER", p + "_HEIGHT", fallback.height()));
    };
    CSkinButton* gain = AddButton(this, browser::kGainId, "Gain", "COMMONBROWSER", "GAINBTN_IMAGE");
    gain->setGeometry(rect("GAINBTN", QRect(size.width() - 184, size.height() - 40, 84, 28)));
    gain->setToolTip(Text("COMMON", "COMMON_BROWSER_GAIN_TOOLTIP"));
    connect(gain, &QAbstractButton::clicked, this, &CMS_Browser::Confirm);
    CSkinButton* cancel = AddButton(this, browser::kCancelId, "Cancel", "COMMONBROWSER", "CANCELBTN_IMAGE");
    cancel->setGeometry(rect("CANCELBTN", QRect(size.width() - 92, size.height() - 40, 84, 28)));
    cancel->setToolTip(Text("COMMON", "COMMON_BROWSER_CANCEL_TOOLTIP"));
    connect(cancel, &QAbstractButton::clicked, this, &CMS_Browser::Cancel);

    splitter_ = new QSplitter(this);
    splitter_->setObjectName("CMS_BrowserSplitterWnd");
    splitter_->setGeometry(rect("SPLITTERWND", QRect(8, 40, size.width() - 16, size.height() - 90)));

    // Left: bookmark toolbar above the folder tree.
    auto* left = new QWidget(splitter_);
    left->setObjectName("CMS_BrowserLeftContainer");
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* leftBar
        = new CToolBarStrip(r, "ME_TOOLBAR_LEFT", "ME_TOOLBAR_MID", "ME_TOOLBAR_RIGHT", "ME_TOOLBAR_LOGO", left);
    leftBar->setObjectName("CMS_LeftToolBarWnd");
    auto* leftButtons = new QHBoxLayout(leftBar);
    leftButtons->setContentsMargins(4, 2, 4, 2);
    leftButtons->addStretch();
    const char* leftSection = "MS_BROWSER_LEFT_TOOLBAR";
    CSkinButton* bookmark = AddButton(leftBar, browser::kBookmarkId, "bookmark", leftSection, "BOOKMARKBTN");
    bookmark->setToolTip(Text("MEDIAEXPLORER", "ME_LEFTTOP_TOOLBAR_TOOLTIP_BUTTON2"));
    connect(bookmark, &QAbstractButton::clicked, this, &CMS_Browser::AddBookmark);
    CSkinButton* bookmarkList
        = AddButton(leftBar, browser::kBookmarkListId, "bookmarklist", leftSection, "BOOKMARKLISTBTN");
    bookmarkList->setToolTip(Text("MEDIAEXPLORER", "ME_LEFTTOP_TOOLBAR_TOOLTIP_BUTTON3"));
    connect(bookmarkList, &QAbstractButton::clicked, this, [this, bookmarkList] {
        BuildBookmarkMenu()->popup(bookmarkList->mapToGlobal(QPoint(0, bookmarkList->height())));
    });
    leftButtons->addWidget(bookmark);
    leftButtons->addWidget(bookmarkList);
    leftLayout->addWidget(leftBar);
    // The left toolbar's context menu deletes the bookmark of the folder shown.
    leftBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(leftBar, &QWidget::customContextMenuRequested, this, [this, leftBar](const QPoint& at) {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(Text("MEDIAEXPLORER", "ID_COMMON_CONTEXTMENU_DELETE"), this,
                [this] { RemoveBookmark(int(bookmarks_.indexOf(folder_))); })
            ->setEnabled(bookmarks_.contains(folder_));
        menu->popup(leftBar->mapToGlobal(at));
    });

    files_ = new QFileSystemModel(this);
    static CPlainFolderIcons plainIcons;
    files_->setIconProvider(&plainIcons);
    files_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    files_->setReadOnly(true);
    folders_ = new CDeviceFolderFilter(setup_.isDeviceName, this);
    folders_->setSourceModel(files_);
    tree_ = new QTreeView(left);
    tree_->setObjectName("tree");
    tree_->setProperty("controlId", browser::kTreeId);
    tree_->setModel(folders_);
    for (int column = 1; column < files_->columnCount(); ++column)
        tree_->hideColumn(column);
    tree_->setHeaderHidden(true);
    connect(tree_, &QTreeView::clicked, this,
        [this](const QModelIndex& index) { GoTo(files_->filePath(folders_->mapToSource(index))); });
    leftLayout->addWidget(tree_, 1);

    // Right: navigation toolbar above the file list.
    auto* right = new QWidget(splitter_);
    right->setObjectName("CMS_BrowserRightContainer");
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    auto* rightBar = new CToolBarStrip(r, "ME_TOOLBAR_LEFT", "ME_TOOLBAR_MID", "ME_TOOLBAR_RIGHT", nullptr, right);
    rightBar->setObjectName("CMS_RightToolBarWnd");
    auto* rightButtons = new QHBoxLayout(rightBar);
    rightButtons->setContentsMargins(4, 2, 4, 2);
    const char* rightSection = "MS_BROWSER_RIGHT_TOOLBAR";
    struct Nav {
        int id;
        const char* text;
        const char* key;
        const char* tip;
    };
    const Nav navs[] = { { browser::kBackId, "Before", "BEFOREBTN", "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON1" },
        { browser::kNextId, "Next", "NEXTBTN", "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON2" },
        { browser::kUpId, "", "UPBTN", "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON3" },
        { browser::kViewModeId, "ViewMode", "VIEWMODEBTN", "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON5" },
        { browser::kViewModeSideId, "ViewModeSide", "VIEWMODESIDEBTN", nullptr },
        { browser::kSelectAllId, "selectall", "SELECTALLBTN", "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON7" } };
    for (const Nav& nav : navs) {
        CSkinButton* b = AddButton(rightBar, nav.id, nav.text, rightSection, nav.key);
        if (nav.tip)
            b->setToolTip(Text("MEDIAEXPLORER", nav.tip));
        rightButtons->addWidget(b);
    }
    rightButtons->addStretch();
    rightLayout->addWidget(rightBar);
    list_ = new CMS_BrowserListCtrl(r, *thumbnails_, right);
    rightLayout->addWidget(list_, 1);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateSelectAllTip();
        Publish();
    });
    connect(list_, &QAbstractItemView::doubleClicked, this, &CMS_Browser::Confirm);

    connect(button(browser::kBackId), &QAbstractButton::clicked, this, &CMS_Browser::Back);
    connect(button(browser::kNextId), &QAbstractButton::clicked, this, &CMS_Browser::Next);
    connect(button(browser::kUpId), &QAbstractButton::clicked, this, &CMS_Browser::Up);
    connect(button(browser::kViewModeId), &QAbstractButton::clicked, this, [this] {
        const int mode = list_->viewModeValue();
        list_->SetViewMode(mode >= CMS_BrowserListCtrl::LargeIcons ? CMS_BrowserListCtrl::Simple : mode + 1);
    });
    connect(button(browser::kViewModeSideId), &QAbstractButton::clicked, this, [this] {
        QWidget* b = button(browser::kViewModeSideId);
        BuildViewMenu()->popup(b->mapToGlobal(QPoint(0, b->height())));
    });
    connect(button(browser::kSelectAllId), &QAbstractButton::clicked, this, [this] {
        if (list_->AllSelected())
            list_->clearSelection();
        else
            list_->SelectAll();
    });
    splitter_->setStretchFactor(1, 1);

    bookmarks_ = ReadBookmarks();
    files_->setRootPath(QDir::rootPath());
    GoTo(BrowserStartFolder());
}

CMS_Browser::~CMS_Browser()
{
    // The list's jobs go before the thumbnail maker joins its worker.
    delete list_;
}

void CMS_Browser::OnInitDialog()
{
    const QSize size = this->size();
    CSkinBaseDialog::OnInitDialog();
    setFixedSize(size);
}

CSkinButton* CMS_Browser::AddButton(
    QWidget* parent, int id, const QString& text, const QString& section, const QString& key)
{
    auto* b = new CSkinButton(parent, id);
    b->setText(text);
    b->setObjectName(text.isEmpty() ? QStringLiteral("Up") : text);
    b->SetImages(setup_.resources.GetResourceImagePath(section, key));
    if (b->sizeHint().isEmpty())
        b->setMinimumSize(24, 24);
    buttons_.push_back(b);
    return b;
}

CSkinButton* CMS_Browser::button(int id) const
{
    const auto it = std::find_if(buttons_.begin(), buttons_.end(), [id](auto* b) { return b->controlId() == id; });
    return it == buttons_.end() ? nullptr : *it;
}

QString CMS_Browser::Text(const char* section, const char* key) const
{
    return setup_.resources.GetResourceText(section, key);
}

void CMS_Browser::Message(const QString& text)
{
    SkinnedMessage message;
    message.text = text;
    message.title = Text("MEDIAEXPLORER", "ID_BOOKMARK_DLG_TITLE");
    message.textCallback = setup_.resources.textCallback();
    message.imageCallback = setup_.resources.imageCallback();
    Dialogs().skinnedMessage(this, message);
}

void CMS_Browser::UpdateSelectAllTip()
{
    if (CSkinButton* b = button(browser::kSelectAllId))
        b->setToolTip(Text("MEDIAEXPLORER",
            list_->AllSelected() ? "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON8"
                                 : "MS_BROWSER_RIGHT_TOOLBAR_TOOLTIP_BUTTON7"));
}

void CMS_Browser::Confirm()
{
    done(1);
    SetBrowserFolder(folder_);
    SendMessage(list_, browser::kFillResult, 0, ToLParam(&result_));
}

void CMS_Browser::Cancel()
{
    result_.clear();
    done(2);
}

void CMS_Browser::GoTo(const QString& folder, bool record)
{
    if (folder.isEmpty())
        return;
    folder_ = folder;
    if (record) {
        history_ = history_.mid(0, historyAt_ + 1);
        if (history_.isEmpty() || history_.back() != folder)
            history_ << folder;
        historyAt_ = int(history_.size()) - 1;
    }
    const QModelIndex index = folders_->mapFromSource(files_->index(folder));
    if (index.isValid()) {
        // The model lists the folder on its own thread.
        if (folders_->canFetchMore(index))
            folders_->fetchMore(index);
        tree_->setCurrentIndex(index);
        tree_->scrollTo(index);
        tree_->expand(index);
    }
    list_->ShowFolder(folder);
    Publish();
}

void CMS_Browser::Publish()
{
    // What a host script's state file shows of the browser.
    setProperty("folder", folder_);
    setProperty("selection", list_->SelectedPaths());
    setProperty("bookmarks", bookmarks_);
}

void CMS_Browser::Back()
{
    if (historyAt_ > 0)
        GoTo(history_[--historyAt_], false);
}

void CMS_Browser::Next()
{
    if (historyAt_ + 1 < history_.size())
        GoTo(history_[++historyAt_], false);
}

void CMS_Browser::Up()
{
    QDir dir(folder_);
    if (dir.cdUp())
        GoTo(dir.absolutePath());
}

void CMS_Browser::AddBookmark()
{
    if (folder_.isEmpty())
        return;
    if (bookmarks_.contains(folder_)) {
        Message(Text("MEDIAEXPLORER", "ID_BOOKMARK_EXIST"));
        return;
    }
    bookmarks_ << folder_;
    WriteBookmarks(bookmarks_);
    Publish();
    Message(Text("MEDIAEXPLORER", "ID_BOOKMARK_APPLY"));
}

void CMS_Browser::RemoveBookmark(int index)
{
    if (index < 0 || index >= bookmarks_.size())
        return;
    bookmarks_.removeAt(index);
    WriteBookmarks(bookmarks_);
    Publish();
}

QMenu* CMS_Browser::BuildBookmarkMenu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (int i = 0; i < bookmarks_.size(); ++i) {
        const QString folder = bookmarks_[i];
        QAction* open = menu->addAction(folder, this, [this, folder] { GoTo(folder); });
        // A bookmark whose folder has gone stays listed but cannot be opened.
        open->setEnabled(QFileInfo(folder).isDir());
    }
    return menu;
}

QMenu* CMS_Browser::BuildViewMenu()
{
    struct Choice {
        const char* key;
        int mode;
    };
    const Choice choices[] = { { "ID_COMMON_VIEW_THUMBNAIL", CMS_BrowserListCtrl::Thumbnails },
        { "ID_COMMON_VIEW_LARGEICON", CMS_BrowserListCtrl::LargeIcons },
        { "ID_COMMON_VIEW_SIMPLE", CMS_BrowserListCtrl::Simple },
        { "ID_COMMON_VIEW_DETAIL", CMS_BrowserListCtrl::Details } };
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Choice& c : choices) {
        QAction* a
            = menu->addAction(Text("MEDIAEXPLORER", c.key), this, [this, mode = c.mode] { list_->SetViewMode(mode); });
        a->setCheckable(true);
        a->setChecked(list_->viewModeValue() == c.mode);
    }
    return menu;
}

bool CMS_Browser::TreeShows(const QString& parent, const QString& name) const
{
    const QModelIndex index = folders_->mapFromSource(files_->index(parent));
    for (int row = 0; row < folders_->rowCount(index); ++row)
        if (folders_->index(row, 0, index).data().toString() == name)
            return true;
    return false;
}
