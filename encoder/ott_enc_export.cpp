// Export of libOTTEnc.so: phone-format files (3GP, 3G2, K3G, SKM, MP4).
#include "ott_stages.h"

extern "C" __attribute__((visibility("default"))) int OTTEnc(void* settings, int /*reserved*/,
    ott::VideoRequestFn video, ott::AudioRequestFn audio, ott::StatusFn /*status*/, int /*reserved2*/)
{
    // Progress is counted by the caller's forwarders, one unit per request,
    // so the library sends no status of its own.
    return ott::RunEncode(settings, ott::Library::Phone, video, audio);
}
