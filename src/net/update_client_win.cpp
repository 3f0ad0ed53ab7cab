#include "net/update_client.h"

#include "base/win_support.h"

#include <winhttp.h>

#include <algorithm>
#include <vector>

#include "base/environment_win.h"
#include "base/unique_handle.h"
#include "base/utf.h"
#include "base/wide_text_win.h"
#include "net/content_range.h"
#include "net/throughput_floor.h"
#include "net/update_base.h"

namespace nelo {
namespace {

constexpr wchar_t kUserAgent[] = L"NeloLauncher/1";
constexpr DWORD kReceiveTimeoutMs = 20000;
constexpr DWORD kReadChunk = 65536;
// More transfers than the staging ever keeps in flight; the platform's own default may be lower.
constexpr DWORD kMostConnections = 32;

// Reads the status code; nothing when the answer cannot be read.
std::optional<DWORD> status_code(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return status;
}

// The first byte of the range a 206 answer carries; nothing without a readable Content-Range.
std::optional<std::uint64_t> answered_range_start(HINTERNET request) {
  wchar_t text[128];
  DWORD size = sizeof(text);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_RANGE, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return content_range_start(to_utf8(std::wstring_view(text, size / sizeof(wchar_t))));
}

// The body length the answer announces; nothing without a readable Content-Length (a chunked
// answer has none).
std::optional<std::uint64_t> announced_length(HINTERNET request) {
  wchar_t text[32];
  DWORD size = sizeof(text);
  if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  return content_length_value(to_utf8(std::wstring_view(text, size / sizeof(wchar_t))));
}

class WinHttpClient final : public UpdateClient {
 public:
  WinHttpClient(std::string base_path, unique_hinternet session, unique_hinternet connection,
                bool secure)
      : base_path_(std::move(base_path)),
        connection_(std::move(connection)),
        session_(std::move(session)),
        secure_(secure) {}

  Result<BodyEnd> fetch(std::string_view relative_path, ByteRange range,
                        const BodyReceiver& receive) override {
    const std::wstring object = to_wide(base_path_ + std::string(relative_path));
    unique_hinternet request(
        ::WinHttpOpenRequest(connection_.get(), L"GET", object.c_str(), nullptr, WINHTTP_NO_REFERER,
                             WINHTTP_DEFAULT_ACCEPT_TYPES, secure_ ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
      return fail("sem internet");
    }
    // The wait for the answer's headers is bounded like every read: a server that takes the
    // request and never answers ends as "sem internet" instead of holding the update for ever.
    DWORD header_wait = kReceiveTimeoutMs;
    (void)::WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &header_wait,
                             sizeof(header_wait));
    const std::wstring headers = range.whole() ? std::wstring() : to_wide(range_header(range));
    if (!::WinHttpSendRequest(
            request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
            static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
      return fail("sem internet");
    }
    const std::optional<DWORD> status = status_code(request.get());
    if (!status) {
      return fail("resposta");
    }
    BodyEnd end;
    std::uint64_t skip = 0;
    if (*status == 200 && range.range_only && !range.whole()) {
      return fail("resposta", FailureKind::kServerRefused);
    }
    if (*status == 200) {
      // A server without ranges sends the object from its start: what comes before the range
      // is skipped, and the rest of the object follows in this one answer.
      end.whole_object = !range.whole();
      skip = range.offset;
    } else if (*status == 206 && !range.whole()) {
      // Another range than asked for would put bytes at the wrong place in the stream.
      if (answered_range_start(request.get()) != range.offset) {
        return fail("resposta", FailureKind::kServerRefused);
      }
    } else {
      return server_refused(*status);
    }
    if (Status read = read_body(request.get(), skip, announced_length(request.get()), receive);
        !read) {
      return read.error();
    }
    return end;
  }

 private:
  // Hands the body over chunk by chunk, after the first `skip` bytes, until its end or until the
  // receiver has enough. A body that ends before its announced length was cut off: a reset that
  // Wine's server took from the socket first shows up as a plain end.
  static Status read_body(HINTERNET request, std::uint64_t skip,
                          std::optional<std::uint64_t> announced, const BodyReceiver& receive) {
    const auto ended = [&](std::uint64_t received) -> Status {
      if (announced && received < *announced) {
        return fail("a conexão caiu");
      }
      return {};
    };
    std::vector<char> buffer(kReadChunk);
    SteadyClock clock;
    ThroughputFloor floor(clock.now());
    std::uint64_t received = 0;
    for (;;) {
      // Asking what has arrived first makes each read return with what is there: a read of a
      // whole buffer waits until the buffer is full (Wine's does), so a body that trickles
      // would never come back to the checks below.
      DWORD available = 0;
      if (!::WinHttpQueryDataAvailable(request, &available)) {
        return fail("a conexão caiu");
      }
      if (available == 0) {
        return ended(received);
      }
      DWORD read = 0;
      if (!::WinHttpReadData(request, buffer.data(), std::min(available, kReadChunk), &read)) {
        return fail("a conexão caiu");
      }
      if (read == 0) {
        return ended(received);
      }
      received += read;
      // Each read returns within the receive time-out; one that trickles a byte at a time
      // would keep the request alive for ever.
      const Clock::time_point now = clock.now();
      floor.note(now, received);
      if (floor.stalled(now)) {
        return fail("a conexão caiu");
      }
      std::string_view chunk(buffer.data(), read);
      const std::uint64_t skipped = std::min<std::uint64_t>(skip, chunk.size());
      chunk.remove_prefix(static_cast<std::size_t>(skipped));
      skip -= skipped;
      if (chunk.empty()) {
        continue;
      }
      Result<Receive> taken = receive(chunk);
      if (!taken) {
        return taken.error();
      }
      if (*taken == Receive::kEnough) {
        return {};
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
  DWORD connections = kMostConnections;
  (void)::WinHttpSetOption(session.get(), WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &connections,
                           sizeof(connections));
  unique_hinternet connection(
      ::WinHttpConnect(session.get(), to_wide(base->host).c_str(), base->port, 0));
  if (!connection) {
    return fail("sem internet");
  }
  return std::unique_ptr<UpdateClient>(std::make_unique<WinHttpClient>(
      std::move(base->base_path), std::move(session), std::move(connection), base->secure));
}

}  // namespace nelo
