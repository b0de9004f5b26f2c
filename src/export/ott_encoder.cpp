#include "export/ott_encoder.h"

#include <mutex>

#include "config/registry.h"
#include "config/suite_settings.h"
#include "platform/c_handles.h"
#include "platform/dialog_service.h"
#include "platform/tsan_annotations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

std::atomic<COTTEncoder*> CurrentEncoder { nullptr };

namespace {

bool CopyText(char* field, std::size_t capacity, const char* text)
{
    const std::size_t n = std::strlen(text);
    if (n >= capacity)
        return false;
    std::memcpy(field, text, n + 1);
    return true;
}

// Audio values of the block: (first, second, third) by codec.
void FillAudioValues(EncoderSettings& s, int audioCodec, int sampleRate, int channels)
{
    switch (audioCodec) {
    case 0:
        s.audioValue1 = sampleRate;
        s.audioValue2 = channels * sampleRate;
        s.audioValue3 = static_cast<std::uint16_t>(channels * 1024);
        break;
    case 1:
        s.audioValue1 = 7400;
        break;
    case 2:
        s.audioValue1 = 9000;
        break;
    case 3:
    case 4:
        s.audioValue1 = 5300;
        break;
    case 5:
        s.audioValue1 = 13000;
        break;
    default:
        return;
    }
    if (audioCodec != 0) {
        s.audioValue2 = 8000;
        s.audioValue3 = 160;
    }
}

// The encode runs on the save worker, which must not touch widgets: there the
// message is kept for the save to show afterwards, or, outside a save, handed
// to the user-interface thread, and the worker does not wait for it.
void ShowInvalidSetting()
{
    auto show = [] {
        Dialogs().messageBox(nullptr, QString::fromLatin1(kInvalidSettingText), QStringLiteral("Error"), MB_OK);
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread() || IsDeferringMessages())
        show();
    else
        PostQueued(app, show);
}

} // namespace

int AudioChunkSamples(int codec, int channels)
{
    const int perChannel = codec >= 0 && codec < ott::kAudioCodecCount ? ott::kChunkSamples[codec] : 1024;
    return perChannel * channels;
}

int EncoderTotalUnits(int videoMode, int frameCount, int chunkCount)
{
    return chunkCount + (videoMode == 2 ? 2 * frameCount : frameCount);
}

void FillEncoderSettings(EncoderSettings& s, const char* outputPath, int videoFlag, int width, int height,
    int videoMode, int frameCount, int soundFlag, int sampleRate, int audioCodec, const QString& scratchFolder)
{
    constexpr int kChannels = 1;
    std::memset(&s, 0, sizeof s);
    s.fixedVersion = 3;
    s.fixedBitRate = 128000;
    s.frameRate = 5.0;
    if (outputPath)
        CopyText(s.outputPath, sizeof s.outputPath, outputPath);
    s.fixedFlag796 = 0;
    s.fixedFlag797 = 1;
    s.hasSound = soundFlag != 0 ? 1 : 0;
    s.hasVideo = videoFlag != 0 ? 1 : 0;
    std::memset(s.fixedMask, 0xFF, sizeof s.fixedMask);
    s.fixedValue828 = 2;
    s.fixedRate2928 = 10.0;
    s.fixedRate2936 = 10.0;
    s.fixedValue2944 = 110000;
    s.fixedValue2948 = 110000;
    s.frameCount = frameCount;
    s.fixedValue2960 = 500;
    s.fixedValue2964 = 30;
    s.width = static_cast<std::uint16_t>(width);
    s.height = static_cast<std::uint16_t>(height);
    s.fixedValue2972 = 10;
    s.fixedValue2974 = 1024;
    s.fixedByte2976 = 3;
    s.fixedByte2980 = 1;
    s.videoMode = videoMode;
    FillAudioValues(s, audioCodec, sampleRate, kChannels);
    s.channels = kChannels;
    s.audioCodec = audioCodec;
    const QByteArray prefix = scratchFolder.isEmpty() ? QByteArray() : QFile::encodeName(scratchFolder) + '/';
    const std::pair<char*, const char*> scratch[]
        = { { s.videoScratch, "video.tmp" }, { s.videoInfoScratch, "video_info.tmp" }, { s.audioScratch, "audio.tmp" },
              { s.audioInfoScratch, "audio_info.tmp" } };
    bool fits = true;
    for (const auto& [field, name] : scratch)
        fits = CopyText(field, ott::kScratchNameBytes, (prefix + name).constData()) && fits;
    // Scratch files that cannot go where they were asked would land beside
    // the output: no output then, and the library refuses the encode.
    if (!fits)
        s.outputPath[0] = 0;
}

QString EncoderLibraryProblem(const QString& folder, int selector)
{
    const char* name = selector == kAviEncoderSelector ? ott::kAviEncoderLibrary : ott::kEncoderLibrary;
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return QStringLiteral("the encoder folder \"%1\" is not an absolute path").arg(folder);
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("the suite folder %1 holds no encoder library (%2)").arg(folder, QLatin1String(name));
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 is not a regular file").arg(path);
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user").arg(path);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 may be changed by other users").arg(path);
    return QString();
}

namespace {
std::mutex g_folderOverrideMutex;
std::optional<QString> g_folderOverride;
CRegistry* g_suiteKey = nullptr;
} // namespace

void SetEncoderSuiteKey(CRegistry* key)
{
    std::lock_guard lock(g_folderOverrideMutex);
    g_suiteKey = key;
}

void SetEncoderFolderOverride(const std::optional<QString>& folder)
{
    std::lock_guard lock(g_folderOverrideMutex);
    g_folderOverride = folder;
}

std::optional<QString> ReadEncoderFolder()
{
    {
        std::lock_guard lock(g_folderOverrideMutex);
        if (g_folderOverride)
            return g_folderOverride;
        if (g_suiteKey && g_suiteKey->IsOpen()) {
            QString folder;
            if (!g_suiteKey->ReadString(QStringLiteral("FOLDER"), folder, 260))
                return std::nullopt;
            return folder;
        }
    }
    CRegistry reg;
    QString folder;
    if (!reg.OpenKey(QString::fromLatin1(kSuiteKey)) || !reg.ReadString(QStringLiteral("FOLDER"), folder, 260))
        return std::nullopt;
    return folder;
}

COTTEncoder::COTTEncoder()
    : settings_(std::make_unique<EncoderSettings>())
{
    std::memset(settings_.get(), 0, sizeof(EncoderSettings));
    CurrentEncoder.store(this);
}

COTTEncoder::~COTTEncoder()
{
    // A forwarder called after this encoder is gone finds no callbacks.
    COTTEncoder* self = this;
    CurrentEncoder.compare_exchange_strong(self, nullptr);
}

int COTTEncoder::Encode(const char* outputPath, int selector, int videoFlag, int width, int height, int videoMode,
    int frameCount, int soundFlag, int sampleRate, int audioCodec, int chunkCount, EncoderVideoCallback video,
    EncoderSoundCallback sound, EncoderStatusCallback status)
{
    video_ = video;
    sound_ = sound;
    status_ = status;
    FillEncoderSettings(*settings_, outputPath, videoFlag, width, height, videoMode, frameCount, soundFlag, sampleRate,
        audioCodec, scratchFolder_);

    if (status_)
        status_(ott::kStatusStart, EncoderTotalUnits(videoMode, frameCount, chunkCount));

    const std::optional<QString> folder = ReadEncoderFolder();
    if (!folder || !EncoderLibraryProblem(*folder, selector).isEmpty()) {
        ShowInvalidSetting();
        return 0;
    }
    return RunLibrary(*folder, selector);
}

int COTTEncoder::RunLibrary(const QString& folder, int selector)
{
    const bool avi = selector == kAviEncoderSelector;
    const QString path
        = folder + QLatin1Char('/') + QString::fromLatin1(avi ? ott::kAviEncoderLibrary : ott::kEncoderLibrary);
    // The file checked is the file loaded: it is opened once, checked again
    // through the open descriptor, and loaded through that descriptor.
    const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat st { };
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_uid != 0 && st.st_uid != ::geteuid())
        || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        ShowInvalidSetting();
        return 0;
    }
    const QByteArray byFd = "/proc/self/fd/" + QByteArray::number(fd.get());
    DlHandle library(dlopen(byFd.constData(), RTLD_NOW | RTLD_LOCAL));
    if (!library)
        return 0;

    int result = 0;
    if (avi) {
        auto encode = reinterpret_cast<ott::OTTAVIEncodeFn>(dlsym(library.get(), ott::kAviEncoderExport));
        if (!encode)
            return 0;
        result = encode(settings_.get(), 0, ForwardVideoRequest, ForwardAudioRequest);
    } else {
        auto encode = reinterpret_cast<ott::OTTEncFn>(dlsym(library.get(), ott::kEncoderExport));
        if (!encode)
            return 0;
        result = encode(settings_.get(), 0, ForwardVideoRequest, ForwardAudioRequest, ForwardStatus, 0);
    }
    library.reset();

    if (status_)
        status_(ott::kStatusFinished, 0);
    return result;
}

extern "C" int ForwardVideoRequest(unsigned char* buffer, int index, int* timeMs)
{
    COTTEncoder* encoder = CurrentEncoder.load();
    if (!encoder || !encoder->videoCallback())
        return -1;
    const int answer = encoder->videoCallback()(buffer, index, timeMs);
    if (encoder->statusCallback())
        encoder->statusCallback()(ott::kStatusUnitDone, 1);
    return answer;
}

extern "C" int ForwardAudioRequest(short* buffer, int index, int* sampleCount, int* startSample)
{
    COTTEncoder* encoder = CurrentEncoder.load();
    if (!encoder || !encoder->soundCallback())
        return -1;
    const int answer = encoder->soundCallback()(buffer, index, sampleCount, startSample);
    if (encoder->statusCallback())
        encoder->statusCallback()(ott::kStatusUnitDone, 1);
    return answer;
}

extern "C" int ForwardStatus(int kind, int value)
{
    COTTEncoder* encoder = CurrentEncoder.load();
    if (!encoder || !encoder->statusCallback())
        return 0;
    return encoder->statusCallback()(kind, value);
}
