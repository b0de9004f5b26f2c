// A look at the ID3 version 2 tags at the start of a file before id3lib
// parses them. On 64-bit systems id3lib's reader of compressed frames
// overwrites its own stack, whatever the frame holds, and its reading of
// extended headers is unsafe too. Tags that would take id3lib down one of
// those paths are left to the caller to skip; the walk below follows
// id3lib's own: tags one after the other, frames one after the other with
// big-endian sizes, stopping at padding, at a frame that does not fit, or
// when fewer than 10 bytes remain.
#pragma once

#include <QByteArray>

// Where the tag whose header starts at start ends (header, size), or -1
// when no tag header starts there.
qsizetype Id3v2TagEnd(const QByteArray& bytes, qsizetype start);

// True when none of the tags at the start of bytes (the file's first bytes,
// as far as the tags reach) has an extended header, a frame flagged as
// compressed, or a compressed version 2.2 frame ("CDM").
bool Id3v2TagsAreSafe(const QByteArray& bytes);
