#include "panes/media_list/media_list_ctrl.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace {
// Cell arrivals are painted together.
constexpr int kRepaintMs = 30;

void Forget(QHash<QString, int>& names, const QString& name)
{
    if (--names[name] <= 0)
        names.remove(name);
}

QString FileName(const QString& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}
} // namespace

int CMS_ListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

QVariant CMS_ListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(rows.size()))
        return {};
    const MediaListItem& item = *rows[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return details ? FileName(item.sourcePath) + "\n" + item.sourcePath.left(item.sourcePath.lastIndexOf('/'))
                       : FileName(item.sourcePath);
    case Qt::DecorationRole:
        if (item.imageIndex >= 0 && item.imageIndex < int(cells.size()))
            return cells[std::size_t(item.imageIndex)];
        return {};
    case Qt::ToolTipRole:
        return item.sourcePath;
    default:
        return {};
    }
}

Qt::ItemFlags CMS_ListModel::flags(const QModelIndex& index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsDragEnabled;
}

QStringList CMS_ListModel::mimeTypes() const
{
    return { QStringLiteral("text/uri-list") };
}

QMimeData* CMS_ListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.row() < int(rows.size()))
            urls << QUrl::fromLocalFile(rows[std::size_t(index.row())]->workPath);
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void CMS_ListModel::InsertRow(int row, std::unique_ptr<MediaListItem> item)
{
    beginInsertRows(QModelIndex(), row, row);
    rows.insert(rows.begin() + row, std::move(item));
    endInsertRows();
}

void CMS_ListModel::RemoveRows(const std::vector<int>& doomed)
{
    // Runs of neighbouring rows go at once. Many scattered rows go in one
    // reset: row by row, the view and its selection would be brought up to
    // date after each, which takes seconds for thousands of rows.
    constexpr std::size_t kMostRuns = 32;
    std::vector<std::pair<int, int>> runs; // first, last; from the end
    for (int row : doomed) {
        if (!runs.empty() && runs.back().first == row + 1)
            runs.back().first = row;
        else
            runs.emplace_back(row, row);
    }
    if (runs.size() > kMostRuns) {
        beginResetModel();
        for (const auto& [first, last] : runs)
            rows.erase(rows.begin() + first, rows.begin() + last + 1);
        endResetModel();
        return;
    }
    for (const auto& [first, last] : runs) {
        beginRemoveRows(QModelIndex(), first, last);
        rows.erase(rows.begin() + first, rows.begin() + last + 1);
        endRemoveRows();
    }
}

CMS_ListCtrl::CMS_ListCtrl(const ResourceLookup& resources, CThumbnailMaker& thumbnails, QWidget* parent)
    : QListView(parent)
    , resources_(resources)
    , thumbnails_(thumbnails)
{
    setObjectName("CMS_ListCtrl");
    setModel(&model_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // A static movement turns dragging and dropping off, on the viewport too.
    setMovement(QListView::Static);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setResizeMode(QListView::Adjust);
    repaint_.setSingleShot(true);
    repaint_.setInterval(kRepaintMs);
    connect(&repaint_, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (onOpen && index.isValid())
            onOpen(item(index.row()));
    });
    SetViewMode(Thumbnails);
}

CMS_ListCtrl::~CMS_ListCtrl()
{
    for (const auto& row : model_.rows)
        CThumbnailMaker::Drop(row->ticket);
}

bool CMS_ListCtrl::Holds(const QString& path, Qt::CaseSensitivity cs) const
{
    return cs == Qt::CaseSensitive ? exact_.contains(path) : folded_.contains(path.toCaseFolded());
}

int CMS_ListCtrl::AllocateSlot()
{
    model_.cells.push_back(QImage());
    return int(model_.cells.size()) - 1;
}

void CMS_ListCtrl::InsertItem(std::unique_ptr<MediaListItem> item)
{
    MediaListItem* raw = item.get();
    const int slot = raw->imageIndex;
    model_.cells[std::size_t(slot)] = CThumbnailMaker::EmptyCell();
    ++exact_[raw->workPath];
    ++folded_[raw->workPath.toCaseFolded()];
    const int row = std::min(slot, count());
    model_.InsertRow(row, std::move(item));
    raw->ticket = thumbnails_.Request(this, raw->workPath, resources_, [this, raw, slot](QImage cell) {
        // Dropped tickets never get here, so raw is still a row.
        model_.cells[std::size_t(slot)] = cell;
        raw->thumbnailReady = true;
        ++ready_;
        if (!repaint_.isActive())
            repaint_.start();
        Changed();
    });
    Changed();
}

void CMS_ListCtrl::RemoveRows(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [this](int row) { return row < 0 || row >= count(); }), rows.end());
    for (int row : rows) {
        MediaListItem& gone = *model_.rows[std::size_t(row)];
        CThumbnailMaker::Drop(gone.ticket);
        ready_ -= gone.thumbnailReady ? 1 : 0;
        Forget(exact_, gone.workPath);
        Forget(folded_, gone.workPath.toCaseFolded());
        model_.cells[std::size_t(gone.imageIndex)] = QImage(); // the slot stays, its picture goes
    }
    model_.RemoveRows(rows);
    Changed();
}

void CMS_ListCtrl::RemoveSelected()
{
    RemoveRows(selectedRows());
}

void CMS_ListCtrl::RemovePath(const QString& path)
{
    std::vector<int> rows;
    for (int i = 0; i < count(); ++i)
        if (item(i).workPath == path)
            rows.push_back(i);
    RemoveRows(rows);
}

std::vector<int> CMS_ListCtrl::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    return rows;
}

QImage CMS_ListCtrl::cell(int row) const
{
    return model_.cells[std::size_t(item(row).imageIndex)];
}

void CMS_ListCtrl::SetViewMode(int mode)
{
    if (mode < Simple || mode > LargeIcons)
        return;
    viewMode_ = mode;
    model_.details = mode == Details;
    const int cell = CThumbnailMaker::kCell;
    switch (mode) {
    case Simple:
        setViewMode(QListView::ListMode);
        setIconSize(QSize(16, 16));
        setGridSize(QSize());
        break;
    case Details:
        setViewMode(QListView::ListMode);
        setIconSize(QSize(32, 32));
        setGridSize(QSize());
        break;
    case Thumbnails:
        setViewMode(QListView::IconMode);
        setIconSize(QSize(cell, cell));
        setGridSize(QSize(cell + 16, cell + 36));
        break;
    case LargeIcons:
        setViewMode(QListView::IconMode);
        setIconSize(QSize(cell / 2, cell / 2));
        setGridSize(QSize(cell, cell / 2 + 36));
        break;
    }
    setMovement(QListView::Static);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    model_.Relayout();
    Changed();
}

void CMS_ListCtrl::Changed()
{
    if (onChanged)
        onChanged();
}

void CMS_ListCtrl::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->source() != this && e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        e->ignore();
}

void CMS_ListCtrl::dragMoveEvent(QDragMoveEvent* e)
{
    if (e->source() != this && e->mimeData()->hasUrls())
        e->acceptProposedAction();
    else
        e->ignore();
}

void CMS_ListCtrl::dropEvent(QDropEvent* e)
{
    if (e->source() == this || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile() && onDropFile)
            onDropFile(url.toLocalFile());
}
