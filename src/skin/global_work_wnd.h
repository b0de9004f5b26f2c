// CGlobalWorkWnd: the work window of the save's progress dialog. Every
// 100 ms it reads CMovieWorkState: a newly started phase moves the three
// stage tiles on (analysing, extracting, saving; phase 3 counts as saving)
// with an animation over the running stage's tile, total and current drive
// the progress bar, and line 1 estimates the time left in the stage. Cancel
// only sets the cancel flag and is disabled from the saving stage on.
#pragma once

#include "config/resources.h"
#include "skin/skin_bitmap.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QLabel;
class QMovie;
class QProgressBar;
class CWorkCancelButton;

class CGlobalWorkWnd : public QWidget {
public:
    static constexpr int kProgressId = 0x9927;
    static constexpr int kCancelId = 0x9928;
    static constexpr std::array<int, 3> kAnimationIds { 0x9930, 0x9931, 0x9932 };
    static constexpr QSize kSize { 399, 202 };

    // Seconds since the epoch; the stage times and the estimate use it.
    using Clock = std::function<std::int64_t()>;

    CGlobalWorkWnd(const ResourceLookup& lookup, QWidget* parent);

    // Progress mode off hides the progress bar and stops the polling.
    void SetWorkTexts(const QString& line0, const QString& line1, bool progressMode);
    void setClock(Clock clock) { clock_ = std::move(clock); }

    QString line(int index) const { return lines_[std::size_t(index & 1)]; }
    int stage() const { return stage_; }
    QProgressBar* progressBar() const { return progress_; }
    CWorkCancelButton* cancelButton() const { return cancel_; }
    QLabel* animation(int stage) const { return animations_[std::size_t(stage)]; }

    // Seconds left in a stage: elapsed x range / position - elapsed, in
    // unsigned 32-bit arithmetic.
    static std::uint32_t RemainingSeconds(std::uint32_t elapsed, std::uint32_t range, std::uint32_t position);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void poll();
    void enterStage(int stage);
    QString text(const char* key, const char* fallback = nullptr) const;

    ResourceLookup lookup_;
    Clock clock_;
    QTimer timer_;
    QProgressBar* progress_ = nullptr;
    CWorkCancelButton* cancel_ = nullptr;
    std::array<QLabel*, 3> animations_ {};
    std::array<QMovie*, 3> movies_ {};
    std::array<SkinBitmap, 3> before_;
    std::array<SkinBitmap, 2> after_;
    SkinBitmap arrow_;
    QFont font_;
    std::array<QString, 2> lines_;
    int stage_ = 0;
    std::int64_t stageStart_ = 0;
    bool progressMode_ = false;
};
