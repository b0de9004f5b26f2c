// CMS_Browser: the media browser, the skinned dialog in which the user picks
// media files on the PC. A folder tree with a bookmark toolbar on the left,
// the media files of the chosen folder with a navigation toolbar on the
// right. Confirm ("Gain") ends it with 1 and then the file list fills the
// result with the selected paths (message 0x7062); cancel ends it with 2
// and an empty result.
//
// The tree lists folders on QFileSystemModel's own thread and never shows a
// folder named like a connected handheld device; the file list reads its
// folder on a worker. The start folder and the bookmarks live in the suite
// key (browser_places.h).
#pragma once

#include "import/thumbnail_maker.h"
#include "platform/messages.h"
#include "skin/skin_base_dialog.h"

#include <QListView>
#include <QStandardItemModel>

#include <functional>
#include <memory>

class CSkinButton;
class QFileSystemModel;
class QMenu;
class QSortFilterProxyModel;
class QSplitter;
class QTreeView;

namespace browser {
inline constexpr int kGainId = 0x6020;
inline constexpr int kCancelId = 0x6021;
inline constexpr int kTreeId = 0x7001;
inline constexpr int kBookmarkId = 0x7003;
inline constexpr int kBookmarkListId = 0x7004;
inline constexpr int kBackId = 0x7020;
inline constexpr int kNextId = 0x7021;
inline constexpr int kUpId = 0x7022;
inline constexpr int kViewModeId = 0x7024;
inline constexpr int kViewModeSideId = 0x7025;
inline constexpr int kSelectAllId = 0x7026;
// To the file list: lParam a QStringList that receives the selected paths.
inline constexpr std::uint32_t kFillResult = 0x7062;
} // namespace browser

struct BrowserSetup {
    ResourceLookup resources;
    // True for a folder name that is a connected handheld device.
    std::function<bool(const QString&)> isDeviceName;
    // Of the thumbnails (empty: the user's cache folder, as the media list).
    QString thumbnailCache;
};

// The file list: the media files of one folder, videos first, then sounds,
// then pictures, each by name.
class CMS_BrowserListCtrl : public MessageWindow<QListView> {
public:
    enum ViewMode { Simple = 3, Details = 4, Thumbnails = 5, LargeIcons = 6 };

    CMS_BrowserListCtrl(const ResourceLookup& resources, CThumbnailMaker& thumbnails, QWidget* parent = nullptr);

    void ShowFolder(const QString& folder);
    const QString& folder() const { return folder_; }
    bool IsListing() const { return listing_; }
    QStringList paths() const;
    QStringList SelectedPaths() const;
    bool AllSelected() const;
    void SelectAll();
    void SetViewMode(int mode);
    int viewModeValue() const { return viewMode_; }
    int readyCount() const { return ready_; }

    // The folder's media files in list order (what the worker runs).
    static QStringList ListFolder(const QString& folder);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    const ResourceLookup& resources_;
    CThumbnailMaker& thumbnails_;
    QStandardItemModel model_;
    std::vector<CThumbnailMaker::Ticket> tickets_;
    CBackgroundWorker lister_;
    QString folder_;
    bool listing_ = false;
    int viewMode_ = Thumbnails;
    int ready_ = 0;
};

class CMS_Browser : public CSkinBaseDialog {
    Q_OBJECT
public:
    explicit CMS_Browser(const BrowserSetup& setup, QWidget* parent = nullptr);
    ~CMS_Browser() override;

    // The selected paths after a confirm.
    const QStringList& selectedPaths() const { return result_; }
    void Confirm();
    void Cancel();

    // Shows folder in the tree and the list; record adds it to the history.
    void GoTo(const QString& folder, bool record = true);
    void Back();
    void Next();
    void Up();
    const QString& folder() const { return folder_; }

    QStringList bookmarks() const { return bookmarks_; }
    // Bookmarks the current folder (a folder already there is refused with
    // a message).
    void AddBookmark();
    void RemoveBookmark(int index);
    // Vanished bookmarks are listed but cannot be opened.
    QMenu* BuildBookmarkMenu();
    QMenu* BuildViewMenu();

    QTreeView* tree() const { return tree_; }
    CMS_BrowserListCtrl* list() const { return list_; }
    CSkinButton* button(int id) const;
    // Whether the tree shows a folder of that name under parent (the tree
    // reads folders on its own thread: wait for it first).
    bool TreeShows(const QString& parent, const QString& name) const;

protected:
    void OnInitDialog() override;

private:
    CSkinButton* AddButton(QWidget* parent, int id, const QString& text, const QString& section, const QString& key);
    QString Text(const char* section, const char* key) const;
    void Message(const QString& text);
    void UpdateSelectAllTip();
    void Publish();

    BrowserSetup setup_;
    std::unique_ptr<CThumbnailMaker> thumbnails_;
    QSplitter* splitter_ = nullptr;
    QFileSystemModel* files_ = nullptr;
    QSortFilterProxyModel* folders_ = nullptr;
    QTreeView* tree_ = nullptr;
    CMS_BrowserListCtrl* list_ = nullptr;
    std::vector<CSkinButton*> buttons_;
    QStringList result_;
    QStringList bookmarks_;
    QStringList history_;
    int historyAt_ = -1;
    QString folder_;
};
