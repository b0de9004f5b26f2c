// CMS_ListCtrl: the media list's list control. A QListView over the rows of
// gathered files (MediaListItem), each with a 96 x 96 cell from the
// thumbnail maker: a row appears at once with an empty framed cell and its
// picture follows from the worker. Rows are a drag source (text/uri-list,
// for the timeline) and the list is a drop target for files.
#pragma once

#include "config/resources.h"
#include "import/thumbnail_maker.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QListView>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

struct MediaListItem {
    QString workPath; // the path the editor works on
    QString sourcePath; // the path the user gave (or the host's display path)
    int imageIndex = 0; // the row's slot among the cells
    int state = 0;
    bool thumbnailReady = false;
    CThumbnailMaker::Ticket ticket;
};

// The rows, and the cells by slot.
class CMS_ListModel : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    void InsertRow(int row, std::unique_ptr<MediaListItem> item);
    // Removes the rows given in descending order without repeats.
    void RemoveRows(const std::vector<int>& doomed);
    void Relayout() { emit layoutChanged(); }

    std::vector<std::unique_ptr<MediaListItem>> rows;
    std::vector<QImage> cells; // one per slot, also for refused adds
    bool details = false; // rows show their folder too
};

class CMS_ListCtrl : public QListView {
public:
    // View modes of the media list.
    enum ViewMode { Simple = 3, Details = 4, Thumbnails = 5, LargeIcons = 6 };

    CMS_ListCtrl(const ResourceLookup& resources, CThumbnailMaker& thumbnails, QWidget* parent = nullptr);
    ~CMS_ListCtrl() override;

    // Duplicate tests on the rows' work paths.
    bool Holds(const QString& path, Qt::CaseSensitivity cs) const;
    // A new cell slot; its index.
    int AllocateSlot();
    // Inserts the row of item (its slot allocated) and asks for its cell.
    void InsertItem(std::unique_ptr<MediaListItem> item);
    // Removes the rows (their cell jobs are dropped; files stay on disk).
    void RemoveRows(std::vector<int> rows);
    void RemoveSelected();
    void RemovePath(const QString& path);

    void SetViewMode(int mode);
    int viewModeValue() const { return viewMode_; }
    int count() const { return int(model_.rows.size()); }
    int readyCount() const { return ready_; }
    const MediaListItem& item(int row) const { return *model_.rows[std::size_t(row)]; }
    QImage cell(int row) const;
    std::vector<int> selectedRows() const;
    const CMS_ListModel& listModel() const { return model_; }

    // Called for each local file dropped on the list from elsewhere.
    std::function<void(const QString&)> onDropFile;
    // Called for a double-clicked row.
    std::function<void(const MediaListItem&)> onOpen;
    // Called when rows, cells or the view mode changed.
    std::function<void()> onChanged;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void Changed();

    const ResourceLookup& resources_;
    CThumbnailMaker& thumbnails_;
    CMS_ListModel model_;
    QTimer repaint_;
    // Rows per work path, as given and case-folded (for the duplicate tests).
    QHash<QString, int> exact_, folded_;
    int viewMode_ = Thumbnails;
    int ready_ = 0;
};
