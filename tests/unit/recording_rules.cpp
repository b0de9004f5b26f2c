// The recording rules on injected ticks and names: the recording clock
// (whole tenths, the pause left out, the slider's wrap after 60 s), which
// capture pins are enabled, the capture-source item names and the volume
// step rounding.
// test-links: cw_panes

#include "engine/audio_capture_filter.h"
#include "panes/recording/recording_clock.h"
#include "platform/system_volume.h"

#include <gtest/gtest.h>
#include <vector>

TEST(RecordingRules, ClockShowsTenthsLeavesOutPausesAndWrapsTheSlider)
{
    CRecordingClock clock;
    EXPECT_FALSE(clock.Tick(1000)); // not started: no first sample yet
    clock.Start(1000);
    auto r = clock.Tick(1000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "00:00:00.0");
    EXPECT_FALSE(clock.Tick(1090)); // the same tenth is not shown again
    r = clock.Tick(1105);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "00:00:00.1");
    EXPECT_EQ(r->slider, 1);

    // 1.5 s paused at 3.25 s: the next reading goes on from there.
    clock.Pause(4250);
    EXPECT_FALSE(clock.Tick(5000));
    clock.Resume();
    r = clock.Tick(5750);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "00:00:03.2");
    EXPECT_EQ(clock.ElapsedMs(5750), 3250);

    // 59.9 s, 60 s and 61.2 s of recording (the pause still left out).
    r = clock.Tick(1000 + 1500 + 59900);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "00:00:59.9");
    EXPECT_EQ(r->slider, 599);
    r = clock.Tick(1000 + 1500 + 60000);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "00:01:00.0");
    EXPECT_EQ(r->slider, 0);
    r = clock.Tick(1000 + 1500 + 3600000 + 61200);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "01:01:01.2");
    EXPECT_EQ(r->slider, 12);
}

TEST(RecordingRules, PinsNamesAndSteps)
{
    // One pin is on whatever its name; of several only the two named ones.
    EXPECT_EQ(
        (std::vector { CapturePinEnabled("Line In", 1), CapturePinEnabled("Line In", 3),
            CapturePinEnabled(MicPinName, 3), CapturePinEnabled("마스터 볼륨", 2), CapturePinEnabled("mic_pin", 2) }),
        (std::vector { true, false, true, true, false }));
    using Source = CCaptureSourceCtrl;
    EXPECT_EQ((std::vector { Source::IsWaveMixName("Stereo Mix"), Source::IsWaveMixName("wave out"),
                  Source::IsWaveMixName("스테레오 믹스"), Source::IsWaveMixName("Line"),
                  Source::IsMicName("Front Mic Boost"), Source::IsMicName("마이크"), Source::IsMicName("CD") }),
        (std::vector { true, true, true, false, true, true, false }));

    // (value x maximum + 32767) / 65535, rounded.
    EXPECT_EQ((std::vector { CSystemVolumeCtrl::ToSteps(0, 100), CSystemVolumeCtrl::ToSteps(65535, 100),
                  CSystemVolumeCtrl::ToSteps(32767, 100), CSystemVolumeCtrl::ToSteps(326, 100),
                  CSystemVolumeCtrl::ToSteps(328, 100) }),
        (std::vector<long> { 0, 100, 50, 0, 1 }));
    EXPECT_EQ(CSystemVolumeCtrl::ToSteps(65535, CSystemVolumeCtrl::kMaxSteps), CSystemVolumeCtrl::kMaxSteps);
}
