// CCW_PreviewMedia: the source preview. The user plays one source file (a
// video, a sound or a recorded voice) before putting it on the timeline, or
// re-trims a clip opened from the timeline: two marks of the range slider
// choose the part to use, and the result leaves the pane as a clip record
// trimmed to whole seconds (0x5017 to the parent).
//
// Opening (0x5011 from the media list, 0x5016 from the timeline) runs on the
// pane's background worker beside the wait dialog: the phone-format import
// rule, then the open and probe half of the movie view's graph. The UI
// thread then shows the opened graph, closes the dialog and takes the facts:
// the media kind, the length in whole seconds, the slider bounds, the
// information line, the volume, and plays. A newer open wins over one still
// under way, whose graph is closed on the worker.
//
// Seeks made by the marks go through the media-probe service (a lane of this
// pane, so the newest request wins): the graph only moves its position, and
// the picture there is decoded on the probe's worker and shown when it comes.
//
// Sound sources show the spectrum instead of the picture. The volume slider
// sets the graph's attenuation against the system volume's maximum (none
// without a mixer) and hands its position to the edited-movie preview.
#pragma once

#include "import/import_rule.h"
#include "panes/pane_context.h"
#include "platform/messages.h"
#include "skin/skin_bitmap.h"
#include "skin/skin_frame.h"

#include <QBasicTimer>
#include <QJsonObject>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

class CBackgroundWorker;
class CCW_AudioSpectrum;
class CCW_VideoView;
class CMediaFile;
class CRangeSlider;
class CSkinButton;
class CSkinSlider;

class CCW_PreviewMedia : public MessageWindow<QWidget> {
public:
    static constexpr int kViewId = 6093;
    static constexpr int kSpectrumId = 6133;
    static constexpr int kToggleId = 6303;
    static constexpr int kStopId = 6305;
    static constexpr int kSendId = 6124;
    static constexpr int kChangeId = 6143;
    static constexpr int kRangeId = 6306;
    static constexpr int kVolumeId = 6307;
    static constexpr int kTimerMs = 500;

    CCW_PreviewMedia(const PaneContext& context, QWidget* parent = nullptr);
    ~CCW_PreviewMedia() override;

    CCW_VideoView* view() const { return view_; }
    CCW_AudioSpectrum* spectrum() const { return spectrum_; }
    CSkinButton* toggleButton() const { return toggle_; }
    CSkinButton* stopButton() const { return stop_; }
    CSkinButton* sendButton() const { return send_; }
    CSkinButton* changeButton() const { return change_; }
    CRangeSlider* rangeSlider() const { return range_; }
    CSkinSlider* volumeSlider() const { return volume_; }

    const QString& sourcePath() const { return path_; }
    bool isLoaded() const { return loaded_; }
    bool isOpening() const { return opening_ > 0; }
    bool openedFromTimeline() const { return fromTimeline_; }
    std::int32_t mediaKind() const { return kind_; }
    std::uint32_t clipLengthMs() const { return lengthMs_; }
    const QString& label() const { return label_; }
    const QString& infoLine() const { return infoLine_; }
    long attenuation() const { return attenuation_; }
    long volumeMaximum() const { return volumeMax_; }
    // The slider's maximum from the system volume (-1: no mixer, no
    // attenuation). Replaces an answer of the mixer still on its way.
    void SetVolumeMaximum(long maximum);

    // The pane's state for the host's script mode (section "preview"),
    // published as CCW_PreviewEdited publishes its own.
    static QJsonObject StateOf(const QObject* pane, const QString& section);

protected:
    LRESULT onMessage(std::uint32_t message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    struct Load;
    LRESULT Open(WPARAM sourceKind, const QString& path, bool fromTimeline);
    void TakeLoad(Load& load, WPARAM sourceKind);
    void PlayPause();
    void Stop();
    void Reset();
    void OnPlaybackFinished();
    void OnRangeChanged(WPARAM which, LPARAM released);
    void SendClip(bool changeDuration);
    void SetEditingFlagOnWorker(bool editing);
    void AskVolumeMaximum();
    void TakeVolumeMaximum(long maximum);
    void OnVolume(int position);
    void ApplyVolume();
    void SeekTo(std::int64_t ms);
    void ShowPosition(std::int64_t ms);
    void SendInfoLine();
    bool CheckFile();
    bool IsSound() const;
    void SetPlayFace(bool playing);
    void SetRangeQuietly(double max, double left, double right);
    void ShowActionButton();
    void LayOut();
    QString Text(const QString& section, const QString& key) const;

    PaneContext context_;
    std::shared_ptr<CBackgroundWorker> worker_;
    std::shared_ptr<CPhoneMovieConverter> converter_;
    CCW_VideoView* view_ = nullptr;
    CCW_AudioSpectrum* spectrum_ = nullptr;
    CSkinButton* toggle_ = nullptr;
    CSkinButton* stop_ = nullptr;
    CSkinButton* send_ = nullptr;
    CSkinButton* change_ = nullptr;
    CRangeSlider* range_ = nullptr;
    CSkinSlider* volume_ = nullptr;
    SkinFrame frame_;
    SkinBitmap volumeIcon_;
    QBasicTimer timer_;

    QString path_;
    QString displayPath_;
    QString infoLine_;
    std::int64_t fileBytes_ = 0;
    bool loaded_ = false;
    int opening_ = 0; // opens under way (nested wait dialogs)
    std::uint64_t loadSerial_ = 0;
    bool fromTimeline_ = false;
    bool phoneFormat_ = false;
    std::int32_t kind_ = 0;
    std::uint32_t lengthMs_ = 0;
    int width_ = 0;
    int height_ = 0;
    QString label_ = QStringLiteral("00:00:00");
    bool labelIsLength_ = false;
    bool rangeGuard_ = false;
    long volumeMax_ = -1;
    bool volumeAvailable_ = false;
    bool volumeGiven_ = false; // by SetVolumeMaximum, over the mixer's answer
    bool volumeAsked_ = false;
    long attenuation_ = 0;
    QString seekLane_;
};
