// Opening a media file for reading, with the limits untrusted input needs:
// only the local-file protocol and the containers the editor reads (no
// playlists, concat lists, image sequences or network sources that could pull
// other files into a movie), and no picture larger than the editor decodes.
#pragma once

#include "platform/c_handles.h"

#include <QString>

// Containers the editor reads (FFmpeg demuxer names).
inline constexpr const char* kAcceptedDemuxers = "mov,avi,asf,mpeg,mpegts,mpegvideo,mp3,wav,amr,aac";
// Largest picture accepted: each side and the whole area.
inline constexpr int kMaxPictureSide = 8192;
inline constexpr long long kMaxPicturePixels = 40'000'000;

// Opens path (a regular file) and reads its stream information. Null when
// the file is missing, not a regular file, of a container the editor does
// not read, unreadable, or holds a picture beyond the limits.
FfPtr<AVFormatContext> OpenMediaInput(const QString& path);
