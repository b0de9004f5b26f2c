// The widget that shows a playback graph's pictures: it paints the frame
// slot it is attached to, scaled to fit and centred on black.
#pragma once

#include <QWidget>
#include <memory>

class CFrameSlot;

class CVideoSurface : public QWidget {
public:
    explicit CVideoSurface(QWidget* parent = nullptr);
    ~CVideoSurface() override;

    // Shows slot's pictures from now on (null: black). UI thread.
    void Attach(std::shared_ptr<CFrameSlot> slot);
    const std::shared_ptr<CFrameSlot>& Slot() const { return slot_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::shared_ptr<CFrameSlot> slot_;
};
