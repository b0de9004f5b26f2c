#include "panes/movie_view/movie_view.h"

#include "engine/frame_capture.h"
#include "engine/render_engine.h"
#include "engine/video_renderer.h"
#include "engine/work_state.h"
#include "export/movie_render.h"
#include "mediainfo/mp3_file_info.h"
#include "platform/background_worker.h"
#include "platform/dialog_service.h"

#include <QApplication>
#include <QFile>
#include <QPainter>

#include <atomic>

namespace {
// The worker lane of file opens: a newer open supersedes one under way.
const QString kOpenLane = QStringLiteral("open");
} // namespace

CCW_VideoView::CCW_VideoView(QWidget* parent)
    : MessageWindow<QWidget>(parent)
    , graph_(std::make_unique<CGraphBasic>())
    , worker_(std::make_unique<CBackgroundWorker>(QStringLiteral("movie open")))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    surface_ = new CVideoSurface(this);
    surface_->hide();
}

CCW_VideoView::~CCW_VideoView()
{
    Close();
    // Cancels what is left and joins the worker; a graph it still opens is
    // closed there, one whose result waits in the queue where it is dropped.
    worker_.reset();
}

HRESULT CCW_VideoView::OpenVideoFile(const QString& path)
{
    return openFile(path, KindVideoFile);
}

HRESULT CCW_VideoView::OpenAudioFile(const QString& path)
{
    return openFile(path, KindAudioFile);
}

HRESULT CCW_VideoView::OpenEditedMovieInBackground()
{
    auto timeline = movieTimeline_.GetTimeline();
    if (!timeline)
        return E_FAIL;
    return openFile(QString(), KindEditedMovie, std::move(timeline));
}

HRESULT CCW_VideoView::openFile(const QString& path, Kind kind, std::shared_ptr<CTimeline> timeline)
{
    if (path.isEmpty() && !timeline)
        return E_INVALIDARG;
    Close();
    viewKind_ = kind;
    path_ = path;
    opening_ = true;
    setBusy(true);
    const std::uint64_t serial = ++openSerial_;
    // The result travels through Qt's event queue, whose locks a thread
    // sanitizer cannot see; this flag states the hand-over of the graph
    // built on the worker in terms it can.
    auto published = std::make_shared<std::atomic<bool>>(false);
    worker_->Post<OpenedFile>(
        this, kOpenLane,
        [path, timeline, published](const CBackgroundWorker::CancelFlag& cancel) {
            OpenedFile opened = OpenOnWorker(path, timeline, cancel);
            published->store(true, std::memory_order_release);
            return opened;
        },
        [this, serial, kind, published](OpenedFile opened) {
            if (published->load(std::memory_order_acquire))
                takeOpenedFile(std::move(opened), serial, kind);
        });
    return S_OK;
}

CCW_VideoView::OpenedFile CCW_VideoView::OpenOnWorker(
    const QString& path, std::shared_ptr<CTimeline> timeline, const CBackgroundWorker::CancelFlag& cancel)
{
    OpenedFile opened;
    auto graph = std::make_unique<CGraphBasic>();
    opened.result = timeline ? graph->OpenTimeline(timeline) : graph->OpenFile(path);
    if (SUCCEEDED(opened.result) && !cancel->load() && path.toUpper().contains(QLatin1String(".MP3"))) {
        MP3FileInfo info;
        if (info.Open(QFile::encodeName(path).constData()))
            opened.mp3Ms = std::int64_t(info.PlayingTime()) * 1000;
    }
    // Dropped meanwhile: the graph closes here, on the worker.
    if (!cancel->load())
        opened.graph = std::move(graph);
    return opened;
}

HRESULT CCW_VideoView::TakeOpened(const QString& path, Kind kind, OpenedFile opened)
{
    Close();
    viewKind_ = kind;
    path_ = path;
    return showOpened(std::move(opened), kind);
}

void CCW_VideoView::takeOpenedFile(OpenedFile opened, std::uint64_t serial, Kind kind)
{
    if (serial != openSerial_) {
        // Delivered after a newer request or a Close: closed on the worker
        // (at the latest when the view goes).
        if (opened.graph) {
            std::shared_ptr<CGraphBasic> stale(std::move(opened.graph));
            worker_->Post<int>(
                nullptr, QString(),
                [stale](const CBackgroundWorker::CancelFlag&) {
                    stale->CloseGraph();
                    return 0;
                },
                [](int) {});
        }
        return;
    }
    opening_ = false;
    setBusy(false);
    const HRESULT result = showOpened(std::move(opened), kind);
    PostMessage(mainFrame_, msg::MovieViewOpened, WPARAM(std::uint32_t(result)), LPARAM(kind));
}

HRESULT CCW_VideoView::showOpened(OpenedFile opened, Kind kind)
{
    if (opened.graph)
        graph_ = std::move(opened.graph);
    else
        opened.result = E_FAIL;
    openResult_ = opened.result;
    if (FAILED(opened.result)) {
        // The graph may be left open (the media detector failed): Close closes it.
        if (!graph_->OpenMessage().isEmpty())
            Dialogs().messageBox(nullptr, graph_->OpenMessage(), QString(), MB_OK);
    } else {
        attachGraph();
        videoSize_ = QSize(graph_->VideoWidth(), graph_->VideoHeight());
        durationMs_ = opened.mp3Ms >= 0 ? opened.mp3Ms : graph_->GetDuration() / 10000;
        if (kind == KindAudioFile)
            hide();
    }
    return opened.result;
}

void CCW_VideoView::dropOpen()
{
    ++openSerial_;
    worker_->Cancel(kOpenLane);
    opening_ = false;
    openResult_ = S_FALSE;
    setBusy(false);
}

void CCW_VideoView::setBusy(bool busy)
{
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

HRESULT CCW_VideoView::OpenEditedMovie()
{
    Close();
    viewKind_ = KindEditedMovie;
    HRESULT hr = graph_->OpenTimeline(movieTimeline_.GetTimeline());
    if (FAILED(hr))
        return hr;
    attachGraph();
    videoSize_ = QSize(graph_->VideoWidth(), graph_->VideoHeight());
    durationMs_ = graph_->GetDuration() / 10000;
    return S_OK;
}

void CCW_VideoView::attachGraph()
{
    graph_->SetNotifyWindow(this, msg::WM_GRAPHNOTIFY);
    surface_->Attach(graph_->VideoSlot());
    surface_->setGeometry(rect());
    surface_->setVisible(graph_->VideoSlot() != nullptr);
}

void CCW_VideoView::Close()
{
    dropOpen();
    switch (viewKind_) {
    case 1:
    case 2:
    case 3:
    case KindEditedMovie:
        graph_->CloseGraph();
        break;
    default:
        break;
    }
    viewKind_ = KindNone;
    surface_->hide();
    surface_->Attach(nullptr);
    update();
}

HRESULT CCW_VideoView::PlayPause()
{
    switch (graph_->GraphState()) {
    case CGraphBasic::Open:
    case CGraphBasic::Stopped:
    case CGraphBasic::Paused:
        return graph_->Play();
    case CGraphBasic::Running:
        return graph_->Pause();
    default:
        return E_FAIL;
    }
}

HRESULT CCW_VideoView::Pause()
{
    const std::int32_t state = graph_->GraphState();
    if (state < CGraphBasic::Open || state > CGraphBasic::Stopped)
        return E_FAIL;
    return graph_->Pause();
}

HRESULT CCW_VideoView::Stop()
{
    const std::int32_t state = graph_->GraphState();
    if (state != CGraphBasic::Running && state != CGraphBasic::Paused)
        return E_FAIL;
    return graph_->Stop();
}

HRESULT CCW_VideoView::GetPosition(std::int64_t* ms) const
{
    if (!ms)
        return E_POINTER;
    REFERENCE_TIME position = 0;
    HRESULT hr = graph_->GetCurrentPosition(&position);
    if (SUCCEEDED(hr))
        *ms = position / 10000;
    return hr;
}

HRESULT CCW_VideoView::SetPosition(std::int64_t ms)
{
    return graph_->SetCurrentPosition(REFERENCE_TIME(ms) * 10000);
}

void CCW_VideoView::Suspend(bool on)
{
    if (on) {
        hide();
        savedState_ = graph_->GraphState();
        graph_->Pause();
        FILTER_STATE state = State_Stopped;
        while (SUCCEEDED(graph_->GetState(10000, &state)) && state != State_Paused) { }
        return;
    }
    show();
    switch (savedState_) {
    case CGraphBasic::Running:
        graph_->Play();
        break;
    case CGraphBasic::Paused:
        graph_->Pause();
        break;
    default:
        graph_->Stop();
        break;
    }
}

std::int64_t CCW_VideoView::TimelineDurationMs() const
{
    auto timeline = movieTimeline_.GetTimeline();
    return timeline ? timeline->duration() / 10000 : 0;
}

HRESULT CCW_VideoView::CompressVideo(const QString& outputPath, REFERENCE_TIME start, REFERENCE_TIME duration)
{
    return ::CompressVideo(&movieTimeline_, outputPath, start, duration);
}

HRESULT CCW_VideoView::CompressSound(
    const QString& outputPath, REFERENCE_TIME start, REFERENCE_TIME duration, const QString& clipPath)
{
    return ::CompressSound(soundTimeline_, outputPath, start, duration, clipPath);
}

HRESULT CCW_VideoView::ExtractFrames(const QString& path, std::int32_t width, std::int32_t height, std::int32_t* count,
    double step, double start, double length, std::int32_t mode, FrameCache& cache)
{
    if (count)
        *count = 0;
    if (CMovieWorkState::IsCancelled())
        return 1;
    CMovieGraphCapture capture;
    capture.SetExtractionParams(path, step, width, height, start, length);
    Suspend(true);
    std::int32_t made = 0;
    const HRESULT hr = capture.ExtractFrames(&made, mode, cache);
    Suspend(false);
    if (count)
        *count = hr == 1 ? 0 : made;
    return hr;
}

LRESULT CCW_VideoView::onMessage(std::uint32_t message, WPARAM, LPARAM, bool& handled)
{
    if (message != msg::WM_GRAPHNOTIFY) {
        handled = false;
        return 0;
    }
    onGraphNotify();
    return 0;
}

void CCW_VideoView::onGraphNotify()
{
    if (!graph_->HasMediaEvent())
        return;
    long code = 0, param1 = 0, param2 = 0;
    while (graph_->HasMediaEvent() && SUCCEEDED(graph_->GetEvent(&code, &param1, &param2, 0))) {
        if (code == EC_COMPLETE) {
            SendMessage(mainFrame_, msg::PlaybackFinished, ToWParam(this), 0);
            graph_->Stop();
        }
    }
}

void CCW_VideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

void CCW_VideoView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    surface_->setGeometry(rect());
}
