// Export of libOTTAVIEncoder.so: AVI files with MPEG-4 part 2 and PCM.
#include "ott_stages.h"

extern "C" __attribute__((visibility("default"))) int OTTAVIEncode(
    void* settings, int /*reserved*/, ott::VideoRequestFn video, ott::AudioRequestFn audio)
{
    return ott::RunEncode(settings, ott::Library::Avi, video, audio);
}
