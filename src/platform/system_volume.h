// The system mixer over alsa-lib's simple mixer interface.
//
// CSystemVolumeCtrl reads the master (speakers) volume in control steps: the
// "Master" playback volume of the mixer device (ALSA's "default" unless
// named), at most 32,768 steps; the raw value is scaled to 0..65535 first and
// then to steps as (value x maximum + 32767) / 65535.
//
// CCaptureSourceCtrl is the recording-source switch: an enumerated capture
// element (a multiplexer: one item active) or, failing that, the capture
// switches of several elements (a mixer: any number on). Its items are the
// enumeration's names or the elements' names; ChooseItems picks the wave-mix
// and the microphone item among them.
//
// Without a card, or on a card without the controls, every call fails
// cleanly (false, 0, or nothing changed). Open the mixer off the UI thread:
// a sound server may be slow to answer.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class CAlsaMixer;

class CSystemVolumeCtrl {
public:
    static constexpr long kMaxSteps = 32767;

    CSystemVolumeCtrl();
    ~CSystemVolumeCtrl();
    CSystemVolumeCtrl(const CSystemVolumeCtrl&) = delete;
    CSystemVolumeCtrl& operator=(const CSystemVolumeCtrl&) = delete;

    // 1 when the device could be opened and has a master volume, else 0.
    int OpenMixer(const QString& device = QStringLiteral("default"));
    // The volume read by OpenMixer, in steps (0 .. GetMasterVolumeMax()).
    long GetMasterVolume() const { return volume_; }
    // Steps of the volume control minus 1, at most 32,767; 0 when closed.
    long GetMasterVolumeMax() const { return maximum_; }
    // Reads the current volume again; false when the mixer is not open.
    bool Refresh();
    // What 65535-scaled value becomes in steps of maximum.
    static long ToSteps(long value65535, long maximum);

private:
    std::unique_ptr<CAlsaMixer> mixer_;
    QString device_;
    long maximum_ = 0;
    long volume_ = 0;
};

class CCaptureSourceCtrl {
public:
    enum class Kind { None, Multiplexer, Mixer };
    // The kind of line an item names, where the mixer tells it.
    enum class LineType { Other, Microphone, WaveOut };
    struct SourceItem {
        QString text;
        LineType line = LineType::Other;
    };
    struct SourceChoice {
        int waveMix = -1;
        int mic = -1;
    };

    CCaptureSourceCtrl();
    ~CCaptureSourceCtrl();
    CCaptureSourceCtrl(const CCaptureSourceCtrl&) = delete;
    CCaptureSourceCtrl& operator=(const CCaptureSourceCtrl&) = delete;

    // Opens the device and finds the control; true when there is one.
    bool Open(const QString& device = QStringLiteral("default"));
    Kind kind() const { return kind_; }
    const QStringList& items() const { return items_; }
    int waveMixItem() const { return waveMix_; }
    int micItem() const { return mic_; }
    // Selects the wave-mix or the microphone item; false when that is not
    // possible (no control, no such item).
    bool SelectWaveMix() { return Select(waveMix_); }
    bool SelectMic() { return Select(mic_); }
    // Which items are on now (empty when closed).
    QList<bool> Values() const;

    // The wave-mix item: the first wave-out line or the first whose
    // upper-cased text holds WAVE, MIX, OUT (or their Korean forms); failing
    // that, the last whose text holds MIC (or its Korean form). The
    // microphone item: the last microphone line or MIC text.
    static SourceChoice ChooseItems(const QList<SourceItem>& items);
    // The naming rules on their own.
    static bool IsWaveMixName(const QString& name);
    static bool IsMicName(const QString& name);

private:
    bool Select(int item);

    std::unique_ptr<CAlsaMixer> mixer_;
    Kind kind_ = Kind::None;
    QStringList items_;
    int waveMix_ = -1;
    int mic_ = -1;
};
