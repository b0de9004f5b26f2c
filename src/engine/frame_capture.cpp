#include "engine/frame_capture.h"

#include "config/suite_settings.h"
#include "engine/media_detector.h"
#include "engine/work_state.h"
#include "platform/dialog_service.h"

#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QThread>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// Sampling times closer than this to the end still count as inside.
constexpr double kEndTolerance = 1e-9;
constexpr std::int32_t kMaxSide = 8192;

void ShowFailure(const char* text)
{
    Dialogs().messageBox(nullptr, QString::fromLatin1(text), QString(), MB_OK);
}

// A program without a GUI application (the command-line save tool) has no
// cursor to change.
bool IsGuiThread()
{
    const auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return gui && QThread::currentThread() == gui->thread();
}

// The wait cursor while extraction runs on the user-interface thread; a
// worker thread leaves the cursor alone.
class WaitCursor {
public:
    WaitCursor()
        : active_(IsGuiThread())
    {
        if (active_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor()
    {
        if (active_)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool active_;
};

} // namespace

CMovieGraphCapture::CMovieGraphCapture(const QString& workFolder)
    : outputFolder_(workFolder)
{ }

CMovieGraphCapture::~CMovieGraphCapture() = default;

void CMovieGraphCapture::SetExtractionParams(
    const QString& path, double step, std::int32_t width, std::int32_t height, double start, double length)
{
    path_ = path;
    step_ = step;
    width_ = width;
    height_ = height;
    start_ = start;
    length_ = length;
}

HRESULT CMovieGraphCapture::ExtractFrames(std::int32_t* count, std::int32_t mode, FrameCache& cache)
{
    std::int32_t made = 0;
    if (count)
        *count = 0;
    if (!QFileInfo(path_).isFile()) {
        ShowFailure("Invalid File");
        return E_INVALIDARG;
    }
    const bool sizeOk = width_ > 0 && height_ > 0 && width_ <= kMaxSide && height_ <= kMaxSide
        && (mode != ExtractI420Frames || (width_ % 2 == 0 && height_ % 2 == 0));
    const bool folderOk = mode != ExtractJpegFiles || QDir::isAbsolutePath(outputFolder_);
    if (!sizeOk || !folderOk || (mode != ExtractJpegFiles && mode != ExtractI420Frames) || !std::isfinite(step_)
        || step_ <= 0 || !std::isfinite(start_) || start_ < 0 || !std::isfinite(length_) || length_ < 0)
        return E_INVALIDARG;

    CMediaDet detector;
    HRESULT hr = detector.put_Filename(path_);
    if (FAILED(hr)) {
        ShowFailure("Failed m_pMD->put_Filename");
        return hr;
    }
    std::int32_t streams = 0;
    hr = detector.get_OutputStreams(&streams);
    if (FAILED(hr)) {
        ShowFailure("Failed m_pMD->get_OutputStreams");
        return hr;
    }
    bool haveVideo = false;
    for (std::int32_t i = 0; i < streams && !haveVideo; ++i) {
        GUID major = GUID_NULL;
        haveVideo = SUCCEEDED(detector.put_CurrentStream(i)) && SUCCEEDED(detector.get_StreamType(&major))
            && major == MEDIATYPE_Video;
    }
    if (!haveVideo) {
        ShowFailure("Failed m_pMD->get_StreamType");
        return E_FAIL;
    }
    double length = length_;
    if (length == 0 && FAILED(detector.get_StreamLength(&length)))
        length = 0;

    WaitCursor wait;
    CMovieWorkState::SetPhase(CMovieWorkState::Extracting);
    const double total = std::trunc((length + start_) / step_ + 1);
    CMovieWorkState::SetTotal(total < 2147483647.0 ? std::int32_t(total) : 2147483647);
    cache.FreeAll();
    // A cache without a folder of its own spills its frames beyond the
    // memory limit into this extraction's work folder.
    if (mode == ExtractI420Frames && cache.SpillFolder().isEmpty() && QFileInfo(outputFolder_).isDir())
        cache.SetSpillFolder(outputFolder_);

    const QDir folder(outputFolder_);
    const double end = start_ + length + kEndTolerance;
    // Times are computed from the index, so long runs do not drift.
    for (std::int64_t i = 0;; ++i) {
        const double t = start_ + double(i) * step_;
        if (t > end)
            break;
        std::int32_t size = 0;
        if (FAILED(detector.GetBitmapBits(t, &size, nullptr, width_, height_))) {
            ShowFailure("Failed m_pMD->GetBitmapBits 1");
            break;
        }
        if (CMovieWorkState::IsCancelled())
            return S_FALSE;
        CMovieWorkState::SetCurrent(made);
        std::unique_ptr<char[]> dib(new (std::nothrow) char[std::size_t(size)]);
        if (!dib)
            return E_FAIL;
        if (FAILED(detector.GetBitmapBits(t, &size, dib.get(), width_, height_)))
            continue; // skipped without a message; the next picture takes its number
        if (mode == ExtractJpegFiles) {
            const QString name = QStringLiteral("%1%2.JPG")
                                     .arg(QString::fromLatin1(kExtractFilePrefix))
                                     .arg(made, 4, 10, QLatin1Char('0'));
            if (SaveFrameJpeg(folder.filePath(name), dib.get(), std::size_t(size)) == S_OK) {
                ++made;
                if (count)
                    *count = made;
            }
        } else {
            const auto* pixels = reinterpret_cast<const std::uint8_t*>(dib.get()) + sizeof(BITMAPINFOHEADER);
            std::unique_ptr<std::uint8_t[]> frame = ConvertBgrToI420(pixels, width_, height_, DibRowBytes(width_, 24));
            if (!frame)
                return E_OUTOFMEMORY;
            cache.Add(made, std::move(frame), std::size_t(width_) * std::size_t(height_) * 3 / 2);
            if (cache.WriteFailed()) {
                ShowFailure("Failed writing the frame work file");
                return E_FAIL;
            }
            ++made;
            if (count)
                *count = made;
            if (CMovieWorkState::IsCancelled())
                return S_FALSE;
        }
    }
    return S_OK;
}

HRESULT CMovieGraphCapture::SaveFrameJpeg(const QString& fileName, const char* dib, std::size_t dibBytes) const
{
    if (!dib || dibBytes < sizeof(BITMAPINFOHEADER) || width_ < 1 || height_ < 1)
        return E_FAIL;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    if (h.biSize < sizeof h || h.biBitCount != 24 || h.biCompression != BI_RGB || h.biWidth < 1 || h.biHeight == 0
        || h.biWidth > kMaxSide || std::abs(h.biHeight) > kMaxSide)
        return E_FAIL;
    const int width = h.biWidth;
    const int height = std::abs(h.biHeight);
    const std::size_t rowBytes = std::size_t(DibRowBytes(width, 24));
    if (h.biSize > dibBytes || dibBytes - h.biSize < rowBytes * std::size_t(height))
        return E_FAIL;
    const auto* pixels = reinterpret_cast<const uchar*>(dib) + h.biSize;
    QImage picture(width, height, QImage::Format_BGR888);
    if (picture.isNull())
        return E_FAIL;
    for (int y = 0; y < height; ++y) {
        const int sourceRow = h.biHeight > 0 ? height - 1 - y : y;
        std::memcpy(picture.scanLine(y), pixels + rowBytes * std::size_t(sourceRow), std::size_t(width) * 3);
    }
    if (width != width_ || height != height_)
        picture = picture.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return picture.save(fileName, "JPG", 100) ? S_OK : E_FAIL;
}

std::unique_ptr<std::uint8_t[]> CMovieGraphCapture::ConvertBgrToI420(
    const std::uint8_t* pixels, std::int32_t width, std::int32_t height, std::int32_t stride)
{
    if (!pixels || width < 2 || height < 2 || width % 2 || height % 2)
        return nullptr;
    if (stride == 0)
        stride = width * 3;
    const std::size_t lumaBytes = std::size_t(width) * std::size_t(height);
    std::unique_ptr<std::uint8_t[]> out(new (std::nothrow) std::uint8_t[lumaBytes * 3 / 2]);
    if (!out) {
        ShowFailure("Memory Error!");
        return nullptr;
    }
    std::uint8_t* yPlane = out.get();
    std::uint8_t* cbPlane = yPlane + lumaBytes;
    std::uint8_t* crPlane = cbPlane + lumaBytes / 4;
    const int halfWidth = width / 2;
    // One pair of top-down output rows at a time: output row r comes from
    // memory row height - 1 - r.
    for (int j = 0; j < height / 2; ++j) {
        const std::uint8_t* rows[2] = { pixels + std::ptrdiff_t(stride) * (height - 1 - 2 * j),
            pixels + std::ptrdiff_t(stride) * (height - 2 - 2 * j) };
        for (int i = 0; i < halfWidth; ++i) {
            int cbSum = 0;
            int crSum = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = 2 * i + dx;
                    const std::uint8_t* p = rows[dy] + 3 * x;
                    const double b = p[0];
                    const double g = p[1];
                    const double r = p[2];
                    yPlane[std::size_t(2 * j + dy) * std::size_t(width) + std::size_t(x)]
                        = std::uint8_t(int(0.299 * r + 0.587 * g + 0.114 * b));
                    cbSum += int(-0.16874 * r - 0.33126 * g + 0.5 * b) + 128;
                    crSum += int(0.5 * r - 0.41869 * g - 0.08131 * b) + 128;
                }
            }
            cbPlane[std::size_t(j) * std::size_t(halfWidth) + std::size_t(i)] = std::uint8_t(cbSum >> 2);
            crPlane[std::size_t(j) * std::size_t(halfWidth) + std::size_t(i)] = std::uint8_t(crSum >> 2);
        }
    }
    return out;
}
