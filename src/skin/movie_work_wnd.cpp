#include "skin/movie_work_wnd.h"

#include "config/suite_settings.h"
#include "engine/work_state.h"
#include "platform/messages.h"
#include "skin/work_cancel_button.h"

#include <QPainter>
#include <QProgressBar>
#include <algorithm>

namespace {
const QRect kProgressRect(30, 34, 305, 20);
const QRect kCancelRect(145, 92, 74, 22);
const std::array<QRect, 2> kLineRects { QRect(30, 10, 305, 18), QRect(30, 58, 305, 18) };

// A progress bar drawn from three background pieces and three bar pieces
// (left end, middle stretched, right end).
class ImageProgressBar : public QProgressBar {
public:
    ImageProgressBar(const ResourceLookup& lookup, QWidget* parent)
        : QProgressBar(parent)
    {
        // The suite's image folder under the current path, with the host's file names.
        const QString folder = AddTrailingBackslash(GetCurrentPath()) + QStringLiteral("image/");
        const auto load = [&](SkinBitmap& holder, const char* key) {
            const QString name = lookup.imageCallback()
                ? lookup.imageCallback()(QStringLiteral("CW_WORKDLG_PROGRESS"), QString::fromLatin1(key))
                : QString();
            LoadSkinBitmap(holder, name.isEmpty() ? QString() : folder + name);
        };
        const std::array<const char*, 3> backKeys { "BACK1", "BACK2", "BACK3" };
        const std::array<const char*, 3> barKeys { "BAR1", "BAR2", "BAR3" };
        for (std::size_t i = 0; i < 3; ++i) {
            load(back_[i], backKeys[i]);
            load(bar_[i], barKeys[i]);
        }
        setTextVisible(false);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        drawPieces(p, back_, width());
        const qint64 span = qint64(maximum()) - minimum();
        const int fill = span > 0 ? int(qint64(width()) * (value() - minimum()) / span) : 0;
        if (fill > 0)
            drawPieces(p, bar_, fill);
    }

private:
    void drawPieces(QPainter& p, const std::array<SkinBitmap, 3>& pieces, int w)
    {
        const int left = std::min(pieces[0].width(), w);
        const int right = std::min(pieces[2].width(), w - left);
        if (!pieces[0].isNull())
            p.drawImage(QRect(0, 0, left, height()), pieces[0].image(), QRect(0, 0, left, pieces[0].height()));
        if (!pieces[1].isNull() && w - left - right > 0)
            p.drawImage(QRect(left, 0, w - left - right, height()), pieces[1].image());
        if (!pieces[2].isNull() && right > 0)
            p.drawImage(QRect(w - right, 0, right, height()), pieces[2].image(),
                QRect(pieces[2].width() - right, 0, right, pieces[2].height()));
    }

    std::array<SkinBitmap, 3> back_;
    std::array<SkinBitmap, 3> bar_;
};
} // namespace

CMovie_WorkWnd::CMovie_WorkWnd(const ResourceLookup& lookup, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("CMovie_WorkWnd"));
    setProperty("controlId", kControlId);
    resize(kSize);
    progress_ = new ImageProgressBar(lookup, this);
    progress_->setProperty("controlId", kProgressId);
    progress_->setGeometry(kProgressRect);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    cancel_ = new CWorkCancelButton(kCancelId,
        lookup.GetResourceImagePath(QStringLiteral("COMMONBROWSER"), QStringLiteral("CANCELBTN_IMAGE_W")), this);
    cancel_->setGeometry(kCancelRect);
    font_ = MakeSkinFont(
        lookup, QStringLiteral("CLIPWEAVER"), QStringLiteral("FONT_NORMAL"), SkinFontRole::ProgressWindow);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start(100);
}

void CMovie_WorkWnd::SetWorkTexts(const QString& line0, const QString& line1, bool progressMode)
{
    lines_ = { line0, line1 };
    progressMode_ = progressMode;
    update();
}

void CMovie_WorkWnd::poll()
{
    if (progressMode_) {
        if (CMovieWorkState::IsStarted() && CMovieWorkState::GetPhase() == CMovieWorkState::Converting) {
            CMovieWorkState::SetStarted(0);
            stage_ = 3;
            update();
        }
        if (stage_ == 3) {
            const std::int32_t total = CMovieWorkState::GetTotal();
            const std::int32_t range = std::max(total == 0 ? 1 : total, 1);
            progress_->setRange(0, range);
            progress_->setValue(std::clamp(CMovieWorkState::GetCurrent(), 0, range));
        }
        return;
    }
    ++ticks_;
    progress_->setRange(0, 100);
    progress_->setValue(std::min(ticks_, 100));
    SendMessage(parentWidget(), msg::MovieWorkTick, WPARAM(ticks_), 0);
    if (ticks_ > 100)
        ticks_ = 0;
}

void CMovie_WorkWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(244, 246, 250));
    p.setFont(font_);
    p.setPen(QColor(40, 48, 64));
    for (std::size_t i = 0; i < lines_.size(); ++i)
        p.drawText(kLineRects[i], Qt::AlignCenter | Qt::TextSingleLine, lines_[i]);
}
