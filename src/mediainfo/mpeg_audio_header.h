// The first MPEG audio frame of a file and the frame-count header an encoder
// may put in it ("Xing" for variable rate, "Info" for constant rate).
//
// id3lib takes the playing time from the first frame's bit rate. Encoders
// often make that first frame a header frame whose bit rate is not the
// stream's (at low rates it must be larger to hold the header), and id3lib
// looks for the header of a mono file at the stereo offset; both give wrong
// playing times. The frame count in the header gives the right one.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

struct MpegAudioFrameCount {
    // Where the first frame starts in the bytes given.
    qsizetype frameStart = 0;
    // True for a "Xing" header (variable rate), false for "Info".
    bool variableRate = false;
    // Audio frames after the header frame.
    std::uint32_t frames = 0;
    // Bytes of audio the header counts (header frame included); 0 when absent.
    std::uint32_t bytes = 0;
    int samplesPerFrame = 0;
    int sampleRate = 0;
    // Bits per second of the frame after the header frame; 0 when unknown.
    // For constant rate it is the stream's, which the header frame's own
    // need not be.
    int streamBitRate = 0;
};

// Looks at the first frame after the version 2 tags at the start of bytes
// (the file's first bytes; a few kilobytes past the tags are enough). None
// when no valid frame header starts there within 64 KB, or the frame has no
// header with a frame count.
std::optional<MpegAudioFrameCount> ReadMpegAudioFrameCount(const QByteArray& bytes);

// Whole seconds of audio the frame count says, scaled down when the file
// holds fewer audio bytes than the header counts (a truncated file).
// audioBytes: the file's bytes from the first frame to its end, tags at the
// end excluded.
int PlayingSeconds(const MpegAudioFrameCount& count, std::int64_t audioBytes);
