// The recording dialog's clock: elapsed recording time from monotonic
// millisecond ticks, with the time spent paused left out. Each tick that
// reaches a new whole tenth gives the time text "hh:mm:ss.t" and the slider
// position (seconds x 10 + tenths) mod 600, so the slider sweeps once a
// minute while the text keeps counting.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class CRecordingClock {
public:
    static constexpr int kSliderRange = 600;

    struct Reading {
        QString text;
        int slider = 0;
    };

    // Starts counting at tick start (the first captured sample).
    void Start(std::int64_t start);
    bool Started() const { return started_; }
    void Pause(std::int64_t now);
    // The pause's length is left out from the next tick on.
    void Resume();
    void Reset();

    // The reading at now when it shows a tenth not shown before.
    std::optional<Reading> Tick(std::int64_t now);
    std::int64_t ElapsedMs(std::int64_t now) const { return started_ ? now - start_ : 0; }

    static QString TimeText(std::int64_t ms, bool tenths);

private:
    std::int64_t start_ = 0;
    std::int64_t pauseTick_ = 0;
    std::int64_t lastTenth_ = -1;
    bool started_ = false;
    bool paused_ = false;
    bool resumed_ = false;
};
