#include "net/update_client.h"

#include "base/win_support.h"

#include <winhttp.h>

#include <algorithm>
#include <vector>

#include "base/environment_win.h"
#include "base/file_system_win.h"
#include "base/unique_handle.h"
#include "base/utf.h"
#include "base/wide_text_win.h"
#include "net/update_base.h"

namespace nelo {
namespace {

constexpr wchar_t kUserAgent[] = L"NeloLauncher/1";
constexpr int kReceiveTimeoutMs = 20000;
constexpr DWORD kReadChunk = 65536;

class WinHttpClient final : public UpdateClient {
 public:
  WinHttpClient(std::string base_path, unique_hinternet session, unique_hinternet connection,
                bool secure)
      : base_path_(std::move(base_path)),
        connection_(std::move(connection)),
        session_(std::move(session)),
        secure_(secure) {}

  Result<ByteBuffer> fetch_resource(std::string_view relative_path, const ChunkCallback& on_chunk,
                                    std::uint64_t expected_size, std::uint64_t most) override {
    const std::wstring object = to_wide(base_path_ + std::string(relative_path));
    unique_hinternet request(
        ::WinHttpOpenRequest(connection_.get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                             WINHTTP_DEFAULT_ACCEPT_TYPES, secure_ ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
      return fail("sem internet");
    }
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
      return fail("sem internet");
    }
    DWORD status = 0;
    DWORD status_size = sizeof(status);
    if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size,
                               WINHTTP_NO_HEADER_INDEX)) {
      return fail("resposta");
    }
    if (status != 200) {
      return fail("o servidor respondeu " + std::to_string(status));
    }
    return read_body(request.get(), on_chunk, expected_size, most);
  }

 private:
  // Reads until the end. While the body has 64 KiB of room, each read lands in place; only the
  // reads near the end of a body reserved at its exact size go through the side buffer, so a
  // correct hint costs one allocation and no copy of the body.
  static Result<ByteBuffer> read_body(HINTERNET request, const ChunkCallback& on_chunk,
                                      std::uint64_t expected_size, std::uint64_t most) {
    std::uint64_t limit64 = body_size_limit(physical_memory(), expected_size);
    if (most != 0) {
      limit64 = std::min(limit64, most);
    }
    const std::size_t limit = clamp_to_size(limit64);
    ByteBuffer body;
    // Only a saving: a hint that cannot be had is simply not reserved.
    (void)body.reserve(std::min(clamp_to_size(expected_size), limit));
    std::vector<char> side_buffer;
    for (;;) {
      const bool in_place = body.room() >= kReadChunk;
      if (!in_place && side_buffer.empty()) {
        side_buffer.resize(kReadChunk);
      }
      char* target = in_place ? body.tail() : side_buffer.data();
      DWORD read = 0;
      if (!::WinHttpReadData(request, target, kReadChunk, &read)) {
        return fail("a conexão caiu");
      }
      if (read == 0) {
        return body;
      }
      // A body larger than memory can hold ends this request, never the program.
      if (in_place) {
        body.commit(read);
      } else if (!body.append(std::string_view(target, read), limit)) {
        return fail("resposta grande demais");
      }
      if (body.size() > limit) {
        return fail("resposta grande demais");
      }
      if (on_chunk) {
        on_chunk(read);
      }
    }
  }

  std::string base_path_;
  // Declared in this order so that the session is closed first, then the connection.
  unique_hinternet connection_;
  unique_hinternet session_;
  bool secure_;
};

}  // namespace

Result<std::unique_ptr<UpdateClient>> open_update_client(std::uint32_t timeout_ms) {
  const std::u16string url = choose_update_base(environment_variable(L"NELO_UPDATE_BASE"));
  auto base = parse_update_base(utf16_to_utf8_lossy(url));
  if (!base) {
    return base.error();
  }
  unique_hinternet session(::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                         WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    return fail("sem internet");
  }
  const int timeout = static_cast<int>(std::min<std::uint32_t>(timeout_ms, 0x7FFFFFFF));
  (void)::WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, kReceiveTimeoutMs);
  unique_hinternet connection(
      ::WinHttpConnect(session.get(), to_wide(base->host).c_str(), base->port, 0));
  if (!connection) {
    return fail("sem internet");
  }
  return std::unique_ptr<UpdateClient>(std::make_unique<WinHttpClient>(
      std::move(base->base_path), std::move(session), std::move(connection), base->secure));
}

}  // namespace nelo
