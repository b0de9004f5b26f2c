#include "skin/global_work_wnd.h"

#include "engine/work_state.h"
#include "skin/work_cancel_button.h"

#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QProgressBar>
#include <algorithm>
#include <ctime>

namespace {
const QString kSection = QStringLiteral("GLOBAL_WORKDLG");
const QString kTextSection = QStringLiteral("CW_ANIMATE_PROGRESS_DLG");
constexpr std::array<int, 3> kTileX { 23, 153, 280 };
constexpr int kTileY = 4;
constexpr int kTileSize = 102;
constexpr std::array<QPoint, 2> kArrows { QPoint(126, 44), QPoint(255, 44) };
const QRect kProgressRect(16, 112, 373, 21);
const QRect kCancelRect(165, 171, 74, 22);
const std::array<QRect, 2> kLineRects { QRect(16, 136, 373, 17), QRect(16, 153, 373, 17) };
const std::array<const char*, 3> kStageKeys { "ANALYZING", "EXTRACTING", "SAVING" };
const std::array<const char*, 3> kStageFallbacks { "Analyzing", "Extracting", "Saving" };
const std::array<const char*, 3> kBeforeKeys { "ANALYZING_BEFORE_IMAGE", "EXTRACTING_BEFORE_IMAGE",
    "SAVING_BEFORE_IMAGE" };
const std::array<const char*, 2> kAfterKeys { "ANALYZING_AFTER_IMAGE", "EXTRACTING_AFTER_IMAGE" };
const std::array<const char*, 3> kGifKeys { "ANALYZING_GIF_IMAGE", "EXTRACTING_GIF_IMAGE", "SAVING_GIF_IMAGE" };
} // namespace

CGlobalWorkWnd::CGlobalWorkWnd(const ResourceLookup& lookup, QWidget* parent)
    : QWidget(parent)
    , lookup_(lookup)
    , clock_([] { return static_cast<std::int64_t>(std::time(nullptr)); })
{
    setObjectName(QStringLiteral("CGlobalWorkWnd"));
    resize(kSize);

    progress_ = new QProgressBar(this);
    progress_->setProperty("controlId", kProgressId);
    progress_->setGeometry(kProgressRect);
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->hide();
    cancel_ = new CWorkCancelButton(kCancelId,
        lookup_.GetResourceImagePath(QStringLiteral("COMMONBROWSER"), QStringLiteral("CANCELBTN_IMAGE_W")), this);
    cancel_->setGeometry(kCancelRect);

    for (std::size_t i = 0; i < before_.size(); ++i)
        LoadSkinBitmap(before_[i], lookup_.GetResourceImagePath(kSection, kBeforeKeys[i]));
    for (std::size_t i = 0; i < after_.size(); ++i)
        LoadSkinBitmap(after_[i], lookup_.GetResourceImagePath(kSection, kAfterKeys[i]));
    LoadSkinBitmap(arrow_, lookup_.GetResourceImagePath(kSection, QStringLiteral("ARROW_IMAGE")));
    for (std::size_t i = 0; i < animations_.size(); ++i) {
        auto* label = new QLabel(this);
        label->setProperty("controlId", kAnimationIds[i]);
        label->setGeometry(kTileX[i], kTileY, kTileSize, kTileSize);
        label->setScaledContents(true);
        const QString gif = lookup_.GetResourceImagePath(kSection, kGifKeys[i]);
        movies_[i] = new QMovie(gif, QByteArray(), label);
        if (!gif.isEmpty())
            label->setMovie(movies_[i]);
        label->hide();
        animations_[i] = label;
    }
    font_ = MakeSkinFont(
        lookup_, QStringLiteral("CLIPWEAVER"), QStringLiteral("FONT_NORMAL"), SkinFontRole::ProgressWindow);

    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start(100);
}

void CGlobalWorkWnd::SetWorkTexts(const QString& line0, const QString& line1, bool progressMode)
{
    lines_ = { line0, line1 };
    progressMode_ = progressMode;
    progress_->setVisible(progressMode);
    if (!progressMode)
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start(100);
    update();
}

QString CGlobalWorkWnd::text(const char* key, const char* fallback) const
{
    const QString t = lookup_.GetResourceText(kTextSection, QString::fromLatin1(key));
    return t.isEmpty() && fallback ? QString::fromLatin1(fallback) : t;
}

std::uint32_t CGlobalWorkWnd::RemainingSeconds(std::uint32_t elapsed, std::uint32_t range, std::uint32_t position)
{
    return elapsed * range / position - elapsed;
}

void CGlobalWorkWnd::enterStage(int stage)
{
    for (std::size_t i = 0; i < animations_.size(); ++i) {
        if (int(i) == stage)
            continue;
        movies_[i]->stop();
        animations_[i]->hide();
    }
    animations_[std::size_t(stage)]->show();
    movies_[std::size_t(stage)]->start();
    lines_[0] = text(kStageKeys[std::size_t(stage)], kStageFallbacks[std::size_t(stage)]);
    stage_ = stage;
    // Cancelling is possible only while rendering and sampling.
    if (stage == 2)
        cancel_->setEnabled(false);
}

void CGlobalWorkWnd::poll()
{
    if (CMovieWorkState::IsStarted()) {
        stageStart_ = clock_();
        CMovieWorkState::SetStarted(0);
        const std::int32_t phase = CMovieWorkState::GetPhase();
        enterStage(phase == CMovieWorkState::Analysing ? 0 : phase == CMovieWorkState::Extracting ? 1 : 2);
        update();
    }
    const std::int32_t total = CMovieWorkState::GetTotal();
    const std::int32_t range = total == 0 ? 1 : total;
    const std::int32_t position = CMovieWorkState::GetCurrent();
    progress_->setRange(0, std::max(range, 1));
    progress_->setValue(std::clamp(position, 0, std::max(range, 1)));
    if (range <= 0 || position <= 0)
        return;
    const auto elapsed = static_cast<std::uint32_t>(clock_() - stageStart_);
    const std::uint32_t remaining
        = RemainingSeconds(elapsed, static_cast<std::uint32_t>(range), static_cast<std::uint32_t>(position));
    const bool minutes = remaining > 60;
    lines_[1] = QStringLiteral("%1 %2 %3")
                    .arg(text("TIME_ESTIMATES", "Time Estimates : about"))
                    .arg(static_cast<int>(minutes ? remaining / 60 : remaining))
                    .arg(text(minutes ? "MINUTES" : "SECONDS"));
    update();
}

void CGlobalWorkWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(244, 246, 250));
    for (std::size_t i = 0; i < before_.size(); ++i) {
        // Stages already passed show their after-image.
        const SkinBitmap& tile = int(i) < stage_ && i < after_.size() ? after_[i] : before_[i];
        if (!tile.isNull())
            p.drawImage(QRect(kTileX[i], kTileY, kTileSize, kTileSize), tile.image());
    }
    if (!arrow_.isNull()) {
        for (const QPoint& at : kArrows)
            p.drawImage(QRect(at, QSize(24, 17)), arrow_.image());
    }
    p.setFont(font_);
    p.setPen(QColor(40, 48, 64));
    for (std::size_t i = 0; i < lines_.size(); ++i)
        p.drawText(kLineRects[i], Qt::AlignCenter | Qt::TextSingleLine, lines_[i]);
}
