#include "panes/source_preview/level_bars.h"

#include "platform/tsan_annotations.h"

#include <QPainter>
#include <QTimerEvent>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <sched.h>

namespace {
const QString kSection = QStringLiteral("CW_PREVIEWVIDEO_IMG_SPECTRUM");
constexpr int kFirstBarX = 16;
constexpr int kBarStep = 19;
constexpr int kBaseline = 27;
} // namespace

void CSpectrumBars::Step(const std::function<int()>& next)
{
    for (std::size_t i = 0; i < heights_.size(); ++i) {
        const int r = next() % kLevels;
        if (r <= heights_[i].load(std::memory_order_relaxed))
            continue;
        const int hold = holds_[i].load(std::memory_order_relaxed);
        if (hold < kHoldLimit) {
            holds_[i].store(hold + 1, std::memory_order_relaxed);
        } else {
            holds_[i].store(0, std::memory_order_relaxed);
            heights_[i].store(r, std::memory_order_relaxed);
        }
    }
}

void CSpectrumBars::Fall()
{
    for (auto& h : heights_) {
        const int v = h.load(std::memory_order_relaxed);
        if (v > 0)
            h.store(v - 1, std::memory_order_relaxed);
    }
}

CSpectrumBars::Frame CSpectrumBars::Heights() const
{
    Frame f {};
    for (std::size_t i = 0; i < f.size(); ++i)
        f[i] = heights_[i].load(std::memory_order_relaxed);
    return f;
}

CCW_AudioSpectrum::CCW_AudioSpectrum(const ResourceLookup& lookup, QWidget* parent, const QString& mixerDevice)
    : QWidget(parent)
    , mixerDevice_(mixerDevice)
{
    setObjectName(QStringLiteral("CCW_AudioSpectrum"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    LoadSkinBitmap(back_, lookup, kSection, "BACK");
    LoadSkinBitmap(top_, lookup, kSection, "TICK1");
    LoadSkinBitmap(body_, lookup, kSection, "TICK2");
    // Also the seed of the noise effect.
    std::srand(unsigned(std::time(nullptr)));
}

CCW_AudioSpectrum::~CCW_AudioSpectrum()
{
    RestoreMicSource();
    if (thread_.joinable())
        thread_.join();
}

void CCW_AudioSpectrum::JoinIfEnded()
{
    if (thread_.joinable() && stopped_.load())
        thread_.join();
}

void CCW_AudioSpectrum::StartSpectrum()
{
    JoinIfEnded();
    if (thread_.joinable())
        return;
    fallTimer_.stop();
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    stopped_.store(false);
    thread_ = std::thread([this] { Run(); });
}

void CCW_AudioSpectrum::StopSpectrum(int intervalMs)
{
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        stop_ = true;
        wake_.notify_all();
        // The worker sleeps on wake_, so it answers at once unless a mixer
        // call holds it; after the wait it is left to end on its own.
        wake_.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [this] { return stopped_.load(); });
    }
    JoinIfEnded();
    fallTimer_.start(intervalMs, this);
}

void CCW_AudioSpectrum::RestoreMicSource()
{
    if (!thread_.joinable())
        return;
    StopSpectrum();
    fallTimer_.stop();
}

void CCW_AudioSpectrum::Run()
{
    // The lowest priority there is: the bars only decorate.
    sched_param idle {};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
    if (mixerAvailable_.load() < 0)
        mixerAvailable_.store(!mixerDevice_.isEmpty() && source_.Open(mixerDevice_) ? 1 : 0);
    if (mixerAvailable_.load() == 1)
        source_.SelectWaveMix();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (wake_.wait_for(lock, std::chrono::milliseconds(kFrameMs), [this] { return stop_; }))
            break;
        const auto began = std::chrono::steady_clock::now();
        bars_.Step([] { return std::rand(); });
        const CSpectrumBars::Frame frame = bars_.Heights();
        // Delivered while the window lives (its destructor joins this thread
        // first; a frame still queued then is dropped with the window).
        PostQueued(this, [this, frame] { ShowFrame(frame); });
        bars_.Fall();
        const auto spent = std::chrono::steady_clock::now() - began;
        if (spent < std::chrono::milliseconds(kMinIterationMs)
            && wake_.wait_for(lock, std::chrono::milliseconds(kMinIterationMs) - spent, [this] { return stop_; }))
            break;
    }
    lock.unlock();
    if (mixerAvailable_.load() == 1)
        source_.SelectMic();
    lock.lock();
    stopped_.store(true);
    wake_.notify_all();
}

void CCW_AudioSpectrum::ShowFrame(const CSpectrumBars::Frame& frame)
{
    shown_ = frame;
    update();
}

void CCW_AudioSpectrum::timerEvent(QTimerEvent* e)
{
    if (e->timerId() != fallTimer_.timerId()) {
        killTimer(e->timerId());
        return;
    }
    ShowFrame(bars_.Heights());
    int sum = 0;
    for (int h : shown_)
        sum += h;
    if (sum < 1)
        fallTimer_.stop();
    else
        bars_.Fall();
}

void CCW_AudioSpectrum::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int h = height();
    if (back_.isNull())
        p.fillRect(rect(), Qt::black);
    else
        back_.draw(p, rect(), QRect(QPoint(0, 0), back_.size()));
    int tallest = 0;
    for (int v : shown_)
        tallest = std::max(tallest, v);
    const QRect segment(QPoint(0, 0), kSegment);
    for (int y = 0; y < tallest; ++y) {
        for (int i = 0; i < CSpectrumBars::kCount; ++i) {
            const int height = shown_[std::size_t(i)];
            if (height <= y)
                continue;
            const SkinBitmap& piece = y == height - 1 ? top_ : body_;
            piece.draw(p, QRect(QPoint(kFirstBarX + kBarStep * i, h - kBaseline - 4 * y), kSegment), segment);
        }
    }
}
