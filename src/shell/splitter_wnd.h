// The editor's splitters: 5-pixel bars and a one-pixel border in the editor's
// bar colour. CSplitterBase is shared by the main frame's window (two rows,
// its bar never reacts to the mouse) and CCW_SplitterWnd, the inner splitter
// of the upper row (two columns, dragging only inside the allowed band, and
// the column size rules on every resize).
#pragma once

#include "platform/messages.h"

#include <QColor>
#include <QSplitter>

inline constexpr int kSplitterBarWidth = 5;
inline const QColor kSplitterColour(80, 108, 177);

class CSplitterBase : public MessageWindow<QSplitter> {
public:
    CSplitterBase(Qt::Orientation orientation, QWidget* parent);

    // Whether a press or move on a bar at pos (splitter coordinates) may
    // reach the splitter's own tracking.
    virtual bool AcceptsBarMouse(const QPoint& pos) const = 0;

protected:
    QSplitterHandle* createHandle() override;
    void paintEvent(QPaintEvent* event) override;
    LRESULT onMessage(std::uint32_t, WPARAM, LPARAM, bool& handled) override
    {
        handled = false;
        return 0;
    }
};

// The inner splitter: column 0 (thumbnail pane) and column 1 (preview pane).
class CCW_SplitterWnd : public CSplitterBase {
public:
    static constexpr int kMinLeftWidth = 120; // the left column never gets narrower on resize
    static constexpr int kMinRightWidth = 272; // room kept for the right column
    static constexpr int kDragRightMargin = 265; // bar drags start only left of right - 265
    static constexpr int kIdealLeftWidth = 510;

    explicit CCW_SplitterWnd(QWidget* parent);

    // The width column 0 gets at the next layout (the column rules apply).
    void SetIdealLeftWidth(int width);

    bool AcceptsBarMouse(const QPoint& pos) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Sizes the columns for a client width, with current the width column 0
    // has (or is meant to have).
    void ApplyColumnRules(int width, int current);

    int idealLeftWidth_ = kIdealLeftWidth;
    bool laidOut_ = false;
};
