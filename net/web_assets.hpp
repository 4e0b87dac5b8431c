// The web page's files, embedded into the program at build time from web/ (cmake/embed_web.cmake).
#pragma once

#include <cstddef>
#include <vector>

namespace kvr {

struct WebAsset {
    // The path it is served at, such as "/index.html".
    const char* path;
    const unsigned char* data;
    std::size_t size;
};

const std::vector<WebAsset>& webAssets();

} // namespace kvr
