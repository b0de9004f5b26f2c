// CCW_ThumbnailWnd: the media list pane. It holds the list control
// (CMS_ListCtrl) and answers the media-list messages that the thumbnail
// container passes down: host adds (no import rule, a path held in any
// letter case is skipped), adds through the import rule (a path held in the
// same letter case is skipped), deletes, the view mode, the row count and
// files that have gone. Double-clicking a row opens it in the source
// preview (0x5011 upwards: wParam 0 video, 1 sound).
#pragma once

#include "import/import_rule.h"
#include "import/thumbnail_maker.h"
#include "panes/media_list/media_list_ctrl.h"
#include "panes/pane_context.h"
#include "platform/messages.h"

#include <QWidget>

class QMenu;

class CCW_ThumbnailWnd : public MessageWindow<QWidget> {
public:
    // cacheFolder: of the thumbnails (empty: the user's cache folder).
    CCW_ThumbnailWnd(const PaneContext& context, QWidget* parent = nullptr, const QString& cacheFolder = QString());
    ~CCW_ThumbnailWnd() override;

    // A file from the host; 1 when a row was added.
    int AddHostFile(const QString& path, const QString& displayPath);
    // A file the user brings in; applyRule false for files that already
    // passed the import rule. True when a row was added.
    bool AddFile(const QString& path, bool applyRule = true);

    CMS_ListCtrl* list() const { return list_; }
    CThumbnailMaker& thumbnails() { return *thumbnails_; }
    int fileCounter() const { return fileCounter_; }
    // The import rule's clock (tests set it).
    void SetClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    // The context menu of the rows (shown by a right click).
    QMenu* BuildContextMenu();

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    std::unique_ptr<MediaListItem> NewItem(const QString& path, const QString& displayPath, int slot) const;
    void Open(const MediaListItem& item);
    void ShowFileInfo();

    PaneContext context_;
    std::unique_ptr<CThumbnailMaker> thumbnails_;
    CMS_ListCtrl* list_;
    CPhoneMovieConverter converter_;
    std::function<QDateTime()> clock_ = [] { return QDateTime::currentDateTime(); };
    int fileCounter_ = 0;
};
