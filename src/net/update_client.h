// The connection to the update server for one update attempt: plain GET requests of paths
// relative to the update base URL, each giving the whole body or a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/byte_buffer.h"
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
  // `expected_size` (0 when unknown) is a hint only: the body is reserved at it, so that a
  // correct hint means one allocation of exactly the body's size, and a body of that size is
  // admitted whenever the machine can hold it (see `body_size_limit`). `most` (0 for none)
  // bounds the body further: a longer one ends the request with "resposta grande demais" as
  // soon as it passes the bound.
  virtual Result<ByteBuffer> fetch_resource(std::string_view relative_path,
                                            const ChunkCallback& on_chunk,
                                            std::uint64_t expected_size = 0,
                                            std::uint64_t most = 0) = 0;
};

// Opens a client for the update base URL (NELO_UPDATE_BASE, or the built-in default) with
// `timeout_ms` for name resolution, connecting and sending, and 20 s for receiving.
// Fails with "endereço", "porta" or "sem internet".
Result<std::unique_ptr<UpdateClient>> open_update_client(std::uint32_t timeout_ms);

// The largest body (or decoded content) one file may take: a quarter of the physical memory, so
// that an absurd or hostile answer ends with a message instead of exhausting the machine, never
// less than 256 MiB; and never less than `expected_bytes`, the size the manifest gives, when the
// machine's memory could hold it (0 means the memory is unknown), so that an honest large file
// is never refused for the bound alone.
std::uint64_t body_size_limit(std::uint64_t physical_memory_bytes,
                              std::uint64_t expected_bytes = 0);

}  // namespace nelo
