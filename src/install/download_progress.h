// How far the download of a release has come, handed to a progress sink.
#pragma once

#include <cstdint>
#include <functional>

namespace nelo {

struct DownloadProgress {
  std::uint64_t bytes_done = 0;   // compressed bytes received so far, over all pending files
  std::uint64_t bytes_total = 0;  // sum of the pending files' zsize, a zsize of 0 counting as 1
  std::uint64_t file_count = 0;   // files that have to be downloaded
};

// Receives every DownloadProgress: once before anything is fetched and after every chunk.
// bytes_done may pass bytes_total.
using ProgressSink = std::function<void(const DownloadProgress&)>;

}  // namespace nelo
