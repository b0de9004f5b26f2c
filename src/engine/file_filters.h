// The filters at the end of the compression graph: the AVI multiplexer
// (libavformat's AVI muxer with full interleaving), the RIFF WAVE writer, and
// the file writer both of them write through. The writer takes byte streams
// as samples whose start time is the byte offset in the file, so a
// multiplexer can go back and patch its headers.
#pragma once

#include "engine/render_engine.h"

#include <QString>
#include <memory>
#include <mutex>
#include <vector>

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

// Event codes of the file filters go to the graph the filter belongs to.
void NotifyGraphEvent(CBaseFilter* filter, long code, HRESULT param);

class CByteStreamOutputPin : public CBaseOutputPin {
public:
    CByteStreamOutputPin(CBaseFilter* filter, HRESULT* phr, const std::string& name, const GUID& subtype);
    HRESULT CheckMediaType(const CMediaType& mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Writes size bytes at the file offset through the connected writer.
    HRESULT WriteAt(std::int64_t offset, const std::uint8_t* data, int size);

private:
    GUID subtype_;
};

class CFileWriterFilter : public CBaseFilter {
public:
    CFileWriterFilter();
    ~CFileWriterFilter() override;

    // Overwrite mode truncates an existing file when the graph starts.
    HRESULT SetFileName(const QString& path);
    HRESULT SetMode(bool overwrite);
    const QString& fileName() const { return path_; }

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    // Opens the file when leaving the stopped state; closes it on Stop.
    HRESULT Pause() override;
    HRESULT Stop() override;

    HRESULT write(const CMediaSample& sample);
    HRESULT endOfStream();

private:
    class InputPin;
    bool upstreamFed() const;
    std::unique_ptr<InputPin> input_;
    QString path_;
    bool overwrite_ = true;
    int fd_ = -1;
    std::mutex mutex_;
};

class CAviMuxFilter : public CBaseFilter {
public:
    // Interleaving modes.
    enum { INTERLEAVE_NONE = 0, INTERLEAVE_CAPTURE = 1, INTERLEAVE_FULL = 2 };

    CAviMuxFilter();
    ~CAviMuxFilter() override;

    HRESULT put_Mode(int mode);
    // Interleave interval and preroll in 100 ns units.
    HRESULT put_Interleaving(const REFERENCE_TIME* interleave, const REFERENCE_TIME* preroll);

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    CBaseInputPin* inputPin(int n) const;

    HRESULT Pause() override;
    HRESULT Stop() override;

    HRESULT receive(int input, const CMediaSample& sample);
    HRESULT endOfStream(int input);

private:
    class InputPin;
    struct Pending;
    HRESULT writeHeaderLocked();
    HRESULT writePacketLocked(
        int input, const std::uint8_t* data, int size, REFERENCE_TIME start, REFERENCE_TIME stop, bool key);
    HRESULT finishLocked();
    void closeLocked();
    static int writeCallback(void* opaque, std::uint8_t* data, int size);
    static std::int64_t seekCallback(void* opaque, std::int64_t offset, int whence);

    std::vector<std::unique_ptr<InputPin>> inputs_;
    std::unique_ptr<CByteStreamOutputPin> output_;
    std::mutex mutex_;
    int mode_ = INTERLEAVE_FULL;
    REFERENCE_TIME interleave_ = 10000000;
    REFERENCE_TIME preroll_ = 0;
    AVFormatContext* format_ = nullptr;
    std::vector<int> streamOf_; // input -> stream index, -1 when unconnected
    std::vector<std::vector<Pending>> pending_;
    std::vector<bool> ended_;
    bool active_ = false; // samples are taken only between Pause and Stop
    bool headerWritten_ = false;
    bool finished_ = false;
    HRESULT failure_ = S_OK;
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
};

// Writes 16-bit PCM as a RIFF WAVE file: the header first, the samples, then
// the header again with the final sizes.
class CWavDestFilter : public CBaseFilter {
public:
    CWavDestFilter();
    ~CWavDestFilter() override;

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;
    HRESULT Stop() override;

    HRESULT receive(const CMediaSample& sample);
    HRESULT endOfStream();

private:
    class InputPin;
    HRESULT writeHeader(std::uint32_t dataBytes);

    std::unique_ptr<InputPin> input_;
    std::unique_ptr<CByteStreamOutputPin> output_;
    std::mutex mutex_;
    std::uint32_t dataBytes_ = 0;
    bool started_ = false;
};
