// Texts and lengths of clips shared by the timeline and the source preview.
#pragma once

#include "project/media_file.h"

#include <cstdint>

// "hh:mm:ss" of a time in ms (hours not wrapped at 24).
QString DurationText(std::int64_t ms);
// The clip's information line for the host's status line: file name, size in
// MB, source length, picture size (when known) and file type. fileBytes is
// the file's size (0 when unknown).
QString ClipInfoLine(const CMediaFile& clip, std::int64_t fileBytes);
// A length in seconds cut to whole seconds, in ms; 0 for what is not a
// positive number, at most the largest 32-bit length.
std::uint32_t WholeSecondsMs(double seconds);
