#include "shell/splitter_wnd.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

namespace {

// A bar filled with the splitter colour that lets its splitter decide which
// presses and moves start a drag.
class CSplitterBar : public QSplitterHandle {
public:
    CSplitterBar(Qt::Orientation orientation, CSplitterBase* splitter)
        : QSplitterHandle(orientation, splitter)
        , owner_(splitter)
    { }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), kSplitterColour);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (accepts(e))
            QSplitterHandle::mousePressEvent(e);
        else
            e->accept();
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (accepts(e))
            QSplitterHandle::mouseMoveEvent(e);
        else
            e->accept();
    }

private:
    bool accepts(const QMouseEvent* e) const { return owner_->AcceptsBarMouse(mapTo(owner_, e->position().toPoint())); }

    CSplitterBase* owner_;
};

} // namespace

CSplitterBase::CSplitterBase(Qt::Orientation orientation, QWidget* parent)
    : MessageWindow<QSplitter>(orientation, parent)
{
    setHandleWidth(kSplitterBarWidth);
    setChildrenCollapsible(false);
    setOpaqueResize(true);
    setFrameShape(QFrame::NoFrame);
}

QSplitterHandle* CSplitterBase::createHandle()
{
    return new CSplitterBar(orientation(), this);
}

void CSplitterBase::paintEvent(QPaintEvent* event)
{
    MessageWindow<QSplitter>::paintEvent(event);
    QPainter p(this);
    p.setPen(kSplitterColour);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

CCW_SplitterWnd::CCW_SplitterWnd(QWidget* parent)
    : CSplitterBase(Qt::Horizontal, parent)
{
    setObjectName("CCW_SplitterWnd");
}

bool CCW_SplitterWnd::AcceptsBarMouse(const QPoint& pos) const
{
    const QRect r = rect();
    if (r.isEmpty())
        return false;
    // Client rectangle with an exclusive right edge, as the rule is stated.
    const int left = r.left();
    const int right = r.left() + r.width();
    return pos.x() > left + kMinLeftWidth && pos.x() <= right - kDragRightMargin;
}

void CCW_SplitterWnd::SetIdealLeftWidth(int width)
{
    idealLeftWidth_ = width;
    laidOut_ = false;
    ApplyColumnRules(this->width(), idealLeftWidth_);
}

void CCW_SplitterWnd::resizeEvent(QResizeEvent* event)
{
    // Until the first real layout, column 0 is at its ideal width.
    const QList<int> before = sizes();
    const int current = (laidOut_ && !before.isEmpty()) ? before.first() : idealLeftWidth_;
    CSplitterBase::resizeEvent(event);
    ApplyColumnRules(event->size().width(), current);
}

void CCW_SplitterWnd::ApplyColumnRules(int width, int current)
{
    if (count() < 2 || width <= 0)
        return;
    const int bars = handleWidth();
    if (current < kMinLeftWidth)
        setSizes({ kMinLeftWidth, std::max(0, width - kMinLeftWidth - bars) });
    else if (current > width - kMinRightWidth)
        setSizes({ std::max(0, width - kMinRightWidth - bars), kMinRightWidth });
    else if (!laidOut_)
        setSizes({ current, std::max(0, width - current - bars) });
    laidOut_ = true;
}
