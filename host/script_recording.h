// The "recording" section of the script state: what the open voice
// recording dialog shows (its flags, time text, slider, recorded path and
// the input devices it chose from); null while none is open.
#pragma once

void RegisterRecordingStateSection();
