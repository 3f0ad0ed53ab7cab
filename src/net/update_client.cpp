#include "net/update_client.h"

namespace nelo {

Result<ByteBuffer> fetch_whole(UpdateClient& client, std::string_view relative_path,
                               std::uint64_t most) {
  ByteBuffer body;
  const std::size_t limit = clamp_to_size(most);
  auto ended = client.fetch(relative_path, {}, [&](std::string_view chunk) -> Result<Receive> {
    // A body larger than asked for ends this request, never the program.
    if (!body.append(chunk, limit)) {
      return fail("resposta grande demais");
    }
    return Receive::kMore;
  });
  if (!ended) {
    return ended.error();
  }
  return body;
}

}  // namespace nelo
