// The connection to the update server for one update attempt: plain GET requests of paths
// relative to the update base URL, each giving the whole body or a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo {

// Called after every non-empty chunk of a body has been appended, with that chunk's length.
using ChunkCallback = std::function<void(std::size_t chunk_bytes)>;

class UpdateClient {
 public:
  virtual ~UpdateClient() = default;

  // GETs the base path immediately followed by `relative_path` (no separator added, nothing
  // escaped). Gives the body, or "sem internet", "resposta", "o servidor respondeu N",
  // "a conexão caiu", or "resposta grande demais" when the body cannot be held in memory.
  virtual Result<std::string> fetch_resource(std::string_view relative_path,
                                             const ChunkCallback& on_chunk) = 0;
};

// Opens a client for the update base URL (NELO_UPDATE_BASE, or the built-in default) with
// `timeout_ms` for name resolution, connecting and sending, and 20 s for receiving.
// Fails with "endereço", "porta" or "sem internet".
Result<std::unique_ptr<UpdateClient>> open_update_client(std::uint32_t timeout_ms);

// The largest body a request may hold: a quarter of the physical memory, so that an absurd or
// hostile answer ends the request with a message instead of exhausting the machine; never less
// than 256 MiB, far above any honest file of a release.
std::uint64_t body_size_limit(std::uint64_t physical_memory_bytes);

}  // namespace nelo
