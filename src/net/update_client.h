// The connection to the update server for one update attempt: GET requests of paths relative to
// the update base URL, whole or by byte range, each body handed over as it arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/byte_buffer.h"
#include "base/receive.h"
#include "base/result.h"

namespace nelo {

// The bytes of an object to ask for: from `offset`, at most `length` bytes (0: to the end). The
// default asks for the whole object with a plain GET, without a Range header.
struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  // Only these bytes will do: a server that answers with the whole object instead (200) is
  // refused with "resposta" before any of its body is read.
  bool range_only = false;

  bool whole() const { return offset == 0 && length == 0; }
};

// Takes each non-empty chunk of a body as it arrives. A failure ends the request and is what the
// request gives.
using BodyReceiver = std::function<Result<Receive>(std::string_view chunk)>;

// How a body ended.
struct BodyEnd {
  // The server ignored the range and answered the whole object: the bytes before the range's
  // offset were skipped, and what followed ran to the object's end (more than `length`).
  bool whole_object = false;
};

class UpdateClient {
 public:
  virtual ~UpdateClient() = default;

  // GETs the base path immediately followed by `relative_path` (no separator added, nothing
  // escaped), asking for `range` (a Range header unless it is whole), and hands the body to
  // `receive`. A ranged request takes 206 with that range, or 200 (a server without ranges)
  // unless it is `range_only`; a whole one takes 200 only. Gives how the body ended, the receiver's
  // failure, or "sem internet" (no connection, or no answer within the receive time-out),
  // "resposta" (an answer that cannot be read; or, of the kind kServerRefused, another range
  // than asked, or the whole object for a `range_only` request), "o servidor respondeu N", or "a
  // conexão caiu" (the body broke off, or brought less than 1 KiB in a minute). Any number of
  // threads may fetch at once; each call is one request.
  virtual Result<BodyEnd> fetch(std::string_view relative_path, ByteRange range,
                                const BodyReceiver& receive) = 0;
};

// The whole body of a small resource (the manifest, its signature): as `fetch`, and
// "resposta grande demais" as soon as the body passes `most` bytes.
Result<ByteBuffer> fetch_whole(UpdateClient& client, std::string_view relative_path,
                               std::uint64_t most);

// Opens a client for the update base URL (NELO_UPDATE_BASE, or the built-in default) with
// `timeout_ms` for name resolution, connecting and sending, and 20 s for receiving (the answer's
// headers, and each read of its body). Fails with "endereço", "porta" or "sem internet".
Result<std::unique_ptr<UpdateClient>> open_update_client(std::uint32_t timeout_ms);

// "o servidor respondeu N", of the kind a caller can tell from a network that failed.
inline Failure server_refused(unsigned status) {
  return fail("o servidor respondeu " + std::to_string(status), FailureKind::kServerRefused);
}

// The time-out for connecting when nothing is installed yet, or nobody watches (the stage
// mode): long enough for a slow network, since there is nothing else to start.
constexpr std::uint32_t kPatientConnectTimeoutMs = 10000;

}  // namespace nelo
