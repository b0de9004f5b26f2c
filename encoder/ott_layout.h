// Second pass over a finished ISO media file (3GP, 3G2, K3G, SKM, MP4): the
// file type box with the brands of the container, then the movie box, then
// the media data, so a phone can start playing before it has the whole file.
#pragma once

#include <string>
#include <vector>

namespace ott {

struct FileBrands {
    std::string major; // four characters
    std::vector<std::string> compatible; // four characters each
};

// Reads the file at from (as the muxer wrote it: moov anywhere at top level)
// and writes the rearranged file to to, with every chunk offset moved along
// with the media data. Returns false with a reason in error.
bool WriteMovieFirst(const std::string& from, const std::string& to, const FileBrands& brands, std::string& error);

} // namespace ott
