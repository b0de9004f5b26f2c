// CMovie_WorkWnd: the work window of the import's progress dialog. Every
// 100 ms, in progress mode it follows the conversion (phase 3 only) of
// CMovieWorkState on an image progress bar; without progress mode it counts
// ticks, shows the count on the bar and sends it to its dialog (0x1319,
// wParam the count), starting again after 100. Cancel only sets the cancel
// flag.
#pragma once

#include "config/resources.h"

#include <QTimer>
#include <QWidget>
#include <array>

class QProgressBar;
class CWorkCancelButton;

class CMovie_WorkWnd : public QWidget {
public:
    static constexpr int kControlId = 0x9930;
    static constexpr int kProgressId = 0x7DB;
    static constexpr int kCancelId = 0x7DC;
    static constexpr QSize kSize { 364, 135 };

    CMovie_WorkWnd(const ResourceLookup& lookup, QWidget* parent);

    // Progress mode is off until set.
    void SetWorkTexts(const QString& line0, const QString& line1, bool progressMode);

    QProgressBar* progressBar() const { return progress_; }
    CWorkCancelButton* cancelButton() const { return cancel_; }
    // 3 once the conversion has started, 0 before.
    int stage() const { return stage_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void poll();

    QTimer timer_;
    QProgressBar* progress_ = nullptr;
    CWorkCancelButton* cancel_ = nullptr;
    QFont font_;
    std::array<QString, 2> lines_;
    int ticks_ = 0;
    int stage_ = 0;
    bool progressMode_ = false;
};
