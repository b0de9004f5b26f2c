// COTTEncoder: the adapter to the phone-format encoder libraries. It fills the
// libraries' settings block from the save's parameters, loads the library from
// the suite folder for one encode, runs its export, and relays the library's
// pull requests for frames and sound chunks to the save flow's callbacks,
// counting each delivered unit as one step of progress.
//
// Only one encode runs at a time: the library reaches the callbacks through
// the forwarders below, which find them through CurrentEncoder.
#pragma once

#include "ott_abi.h"

#include <QString>
#include <atomic>
#include <memory>
#include <optional>

using EncoderSettings = ott::EncoderSettings;

// Callbacks of the save flow, in the platform's C calling convention.
// Video: fill frame index into buffer, report its time in ms.
// Sound: fill chunk index, report sample count and start sample.
// Both answer 1 continue, 0 no more data, -1 abort.
using EncoderVideoCallback = ott::VideoRequestFn;
using EncoderSoundCallback = ott::AudioRequestFn;
// Status: kind 2 start (value = total units), 4 one unit done, 0 finished.
using EncoderStatusCallback = ott::StatusFn;

// Library selector that chooses the AVI encoder library; any other value
// chooses the phone-format library.
inline constexpr int kAviEncoderSelector = 9;

// Samples per sound chunk of an audio codec (0..8) for the channel count. A
// codec outside the table gets the largest chunk (1024 per channel).
int AudioChunkSamples(int codec, int channels);

// Progress units of an encode: every sound chunk once, every frame once, or
// twice in video mode 2.
int EncoderTotalUnits(int videoMode, int frameCount, int chunkCount);

// Writes every field of the settings block for one encode (the block is
// cleared first). The output path is UTF-8; one that does not fit the block
// is left empty, so the library refuses it instead of writing elsewhere. The
// four scratch files are named plainly (the library puts them beside the
// output) unless scratchFolder is given: then they are absolute paths in it,
// and a folder too long for their fields leaves the output path empty too.
void FillEncoderSettings(EncoderSettings& settings, const char* outputPath, int videoFlag, int width, int height,
    int videoMode, int frameCount, int soundFlag, int sampleRate, int audioCodec, const QString& scratchFolder = {});

// Why the encoder library of selector in folder must not be loaded; empty
// when it may. It is loaded only from an absolute folder, and only a regular
// file owned by root or the user that neither group nor others may write:
// anyone else who could change it would run code as the user.
QString EncoderLibraryProblem(const QString& folder, int selector);
// The message shown when the library cannot be used.
inline constexpr const char* kInvalidSettingText = "Invalid Setting. Please reinstall";

// The "FOLDER" setting the libraries are loaded from; empty optional when it
// cannot be read. Reads through a registry handle opened for the call.
std::optional<QString> ReadEncoderFolder();
// A folder used instead of "FOLDER" (for batch saves that name their suite
// folder); an empty optional goes back to the registry.
void SetEncoderFolderOverride(const std::optional<QString>& folder);
// The suite key the main frame keeps open while the editor exists; "FOLDER"
// is read through it then (null: a key is opened for each read).
class CRegistry;
void SetEncoderSuiteKey(CRegistry* key);

class COTTEncoder {
public:
    COTTEncoder();
    virtual ~COTTEncoder();
    COTTEncoder(const COTTEncoder&) = delete;
    COTTEncoder& operator=(const COTTEncoder&) = delete;

    // Runs one encode. Returns the export's result, or 0 when the library
    // could not be used. A missing "FOLDER", or a library that
    // EncoderLibraryProblem refuses, shows "Invalid Setting. Please
    // reinstall" and returns 0 without the final status (0, 0).
    int Encode(const char* outputPath, int selector, int videoFlag, int width, int height, int videoMode,
        int frameCount, int soundFlag, int sampleRate, int audioCodec, int chunkCount, EncoderVideoCallback video,
        EncoderSoundCallback sound, EncoderStatusCallback status);

    // Where the library's scratch files go (see FillEncoderSettings).
    void setScratchFolder(const QString& folder) { scratchFolder_ = folder; }

    // The block as the last Encode filled it.
    const EncoderSettings& Settings() const { return *settings_; }

    EncoderVideoCallback videoCallback() const { return video_; }
    EncoderSoundCallback soundCallback() const { return sound_; }
    EncoderStatusCallback statusCallback() const { return status_; }

private:
    int RunLibrary(const QString& folder, int selector);

    std::unique_ptr<EncoderSettings> settings_;
    EncoderVideoCallback video_ = nullptr;
    EncoderSoundCallback sound_ = nullptr;
    EncoderStatusCallback status_ = nullptr;
    QString scratchFolder_;
};

// The newest encoder; set by the constructor, cleared when that encoder is
// destroyed.
extern std::atomic<COTTEncoder*> CurrentEncoder;

// Handed to the library: each calls the current encoder's callback with the
// same arguments, sends status (4, 1) and returns the callback's answer; -1
// when there is no callback. ForwardStatus returns the status callback's
// answer, or 0 when there is none.
extern "C" int ForwardVideoRequest(unsigned char* buffer, int index, int* timeMs);
extern "C" int ForwardAudioRequest(short* buffer, int index, int* sampleCount, int* startSample);
extern "C" int ForwardStatus(int kind, int value);
