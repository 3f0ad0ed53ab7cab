// How far the download of a release has come, handed to a progress sink.
#pragma once

#include <cstdint>
#include <functional>

namespace nelo {

struct DownloadProgress {
  std::uint64_t bytes_done = 0;   // compressed bytes received so far, over all pending files
  std::uint64_t bytes_total = 0;  // the compressed bytes to receive: the pending files' zsize
                                  // (0 counting as 1), less what an earlier attempt kept
  std::uint64_t file_count = 0;   // files that have to be downloaded
  std::uint64_t files_done = 0;   // of those, the files fetched, verified and written
};

// Receives every DownloadProgress: once before anything is fetched and after every chunk and
// every finished file. bytes_done never decreases, and may pass bytes_total.
using ProgressSink = std::function<void(const DownloadProgress&)>;

}  // namespace nelo
