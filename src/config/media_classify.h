// What a file is, decided from its name alone.
#pragma once

#include <QString>

enum class MediaKind { Picture, Video, Audio, Unsupported };

// Containment tests on the upper-cased path (the media browser's lists).
bool IsPictureFile(const QString& path);
bool IsVideoFile(const QString& path);
bool IsAudioFile(const QString& path);
// Media browser order: video, then audio, then picture.
MediaKind BrowserMediaKind(const QString& path);

// Suffix tests (case-insensitive): video or audio for files that can be
// edited, Unsupported otherwise.
MediaKind EditableMediaKind(const QString& path);
// True for .3gp, .3g2, .k3g, .mp4 and .skm files.
bool IsPhoneFormatFile(const QString& path);
