// A look at the ID3 version 2 tag at the start of a file before id3lib
// parses it. id3lib's reader of compressed frames frees memory it never
// allocated, whatever the frame holds, so a tag with a compressed (or
// encrypted) frame is left to the caller to skip.
#pragma once

#include <QByteArray>

// True when the tag that starts bytes (the file's first bytes; no tag at all
// counts as sound) has no compressed or encrypted frame, and is not a
// compressed version 2.2 tag.
bool Id3v2TagIsSafe(const QByteArray& bytes);

// The number of bytes of the file to pass to Id3v2TagIsSafe: the tag header
// and the tag, or just what the header needs.
qsizetype Id3v2BytesToCheck(const QByteArray& header10);
