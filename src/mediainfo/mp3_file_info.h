// MP3FileInfo: the facts of one MP3 file as id3lib reads them: the MPEG
// audio header (layer, version, channel mode, bit rates, sample rate,
// playing time) with their display texts, the kinds of tag present, and
// eleven text frames of the ID3 tags (version 1 or 2).
//
// The source preview takes the playing time of files whose path contains
// ".MP3" from here. All parsing is id3lib's, and id3lib runs in the helper
// program cw-mp3-facts, never in this process: Open starts it, waits for its
// answer (so Open belongs on a worker thread) and turns the facts into text.
// A helper that crashes or hangs on a file gives no facts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class MP3FileInfo {
public:
    // Empty and, as a fresh object, valid until the first Clear or Open.
    MP3FileInfo();
    virtual ~MP3FileInfo();
    MP3FileInfo(const MP3FileInfo&) = delete;
    MP3FileInfo& operator=(const MP3FileInfo&) = delete;

    // Reads the file at the 8-bit path. False, with the object cleared, when
    // the path is not a readable regular file, holds no MPEG audio frame, or
    // makes the helper crash, hang past its time limit or fail to start.
    bool Open(const char* fileName);
    // Drops the tag, every text and number; only a valid object is cleared.
    void Clear();

    bool IsValid() const { return valid_; }
    const std::string& FileName() const { return fileName_; }

    bool HasLyrics() const { return hasLyrics_; }
    bool HasV1Tag() const { return hasV1Tag_; }
    bool HasV2Tag() const { return hasV2Tag_; }
    // Bytes of the file as the tag reports them; -1 (all bits set) when unknown.
    std::uint32_t FileSize() const { return fileSize_; }

    // Bits per second of the first frame.
    int BitRate() const { return bitRate_; }
    // Average bits per second of a variable-rate file; 0 for constant rate.
    int VbrBitRate() const { return vbrBitRate_; }
    // The average when there is one, else the bit rate.
    int EffectiveBitRate() const { return vbrBitRate_ >= 1 ? vbrBitRate_ : bitRate_; }
    int SampleRate() const { return sampleRate_; }
    // Whole seconds.
    int PlayingTime() const { return playingTime_; }

    // "128 kbit/s" or "192 kbit/s (VBR)".
    const std::string& BitRateText() const { return bitRateText_; }
    // "Layer III", "Layer II", "Layer I", "UNDEFINED"; empty for other values.
    const std::string& LayerText() const { return layerText_; }
    // "MPEG 1", "MPEG 2", "MPEG 2.5"; empty for the reserved value.
    const std::string& VersionText() const { return versionText_; }
    // "Stereo", "Joint Stereo", "Dual Channel", "Single Channel".
    const std::string& ChannelModeText() const { return channelModeText_; }

    // Tag texts; empty optional when the frame is absent.
    const std::optional<std::string>& Album() const { return album_; } // TALB
    const std::optional<std::string>& Artist() const { return artist_; } // TPE1
    const std::optional<std::string>& Comment() const { return comment_; } // COMM
    const std::optional<std::string>& Title() const { return title_; } // TIT2
    const std::optional<std::string>& Track() const { return track_; } // TRCK
    const std::optional<std::string>& Year() const { return year_; } // TYER
    const std::optional<std::string>& Composer() const { return composer_; } // TCOM
    const std::optional<std::string>& Copyright() const { return copyright_; } // TCOP
    const std::optional<std::string>& EncodedBy() const { return encodedBy_; } // TENC
    const std::optional<std::string>& OriginalArtist() const { return originalArtist_; } // TOPE
    const std::optional<std::string>& UserUrl() const { return userUrl_; } // WXXX

private:
    bool valid_ = true;
    std::string fileName_;
    bool hasLyrics_ = false;
    bool hasV1Tag_ = false;
    bool hasV2Tag_ = false;
    std::uint32_t fileSize_ = 0xFFFFFFFFu;
    int bitRate_ = 0;
    int vbrBitRate_ = 0;
    int sampleRate_ = 0;
    int playingTime_ = 0;
    std::string bitRateText_;
    std::string layerText_;
    std::string versionText_;
    std::string channelModeText_;
    std::optional<std::string> album_, artist_, comment_, title_, track_, year_, composer_, copyright_, encodedBy_,
        originalArtist_, userUrl_;
};
