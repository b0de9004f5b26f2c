// CCW_ToolBarWnd: the button bar above the media list. OpenFile runs the
// media browser; the picked phone-format movies go through the import rule
// on a worker beside the import progress dialog, the rest go to the list
// (0x5008). Delete removes the selected rows (0x5003); View steps the list's
// view mode 3 -> 4 -> 5 -> 6 -> 3; ViewSide offers the four modes in a menu.
// Everything goes to the parent (the thumbnail container), which passes it
// on to the media list.
#pragma once

#include "import/import_rule.h"
#include "panes/pane_context.h"
#include "platform/background_worker.h"
#include "platform/messages.h"

#include <QWidget>

#include <memory>

class CSkinButton;
class CMS_Browser;
class QMenu;

class CCW_ToolBarWnd : public MessageWindow<QWidget> {
public:
    static constexpr int kOpenFileId = 0x17C4;
    static constexpr int kDeleteId = 0x17C6;
    static constexpr int kViewId = 0x17C7;
    static constexpr int kViewSideId = 0x180A;
    // The ViewSide menu's commands.
    static constexpr int kViewThumbnailId = 0x180B;
    static constexpr int kViewLargeIconId = 0x180C;
    static constexpr int kViewSimpleId = 0x180E;
    static constexpr int kViewDetailId = 0x180F;

    explicit CCW_ToolBarWnd(const PaneContext& context, QWidget* parent = nullptr, const QString& thumbnailCache = {});
    ~CCW_ToolBarWnd() override;

    void OpenFile();
    void Delete();
    void View();
    // The ViewSide menu with the list's current mode checked; each entry
    // sends its mode (0x5004).
    QMenu* BuildViewMenu();
    // Hands the picked files on: phone-format movies to the import rule, the
    // rest to the media list.
    void ImportPicked(const QStringList& picked);

    CSkinButton* button(int id) const;
    // The browser while OpenFile runs it (for scripts and tests).
    CMS_Browser* browser() const { return browser_; }

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    QString Text(const char* section, const char* key) const;
    void ImportPhoneFiles(const QStringList& paths);

    PaneContext context_;
    QString thumbnailCache_;
    std::vector<CSkinButton*> buttons_;
    CMS_Browser* browser_ = nullptr;
    std::shared_ptr<CPhoneMovieConverter> converter_;
    CBackgroundWorker worker_;
};
