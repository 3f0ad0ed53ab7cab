#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "nelo_publish/release_source.h"

namespace nelo::publish {
namespace {

struct CurlFree {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// One request's state, handed to libcurl's callbacks.
struct Exchange {
  SourceAnswer answer;
  const BodySink* body = nullptr;
  std::optional<std::string> failure;  // the body sink's, which ended the transfer
};

std::size_t take_header(char* data, std::size_t size, std::size_t count, void* context) {
  auto& exchange = *static_cast<Exchange*>(context);
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    exchange.answer.headers.clear();  // a new answer (after a 100 or a redirect)
    return size * count;
  }
  const std::size_t colon = line.find(':');
  if (colon != std::string_view::npos) {
    std::string name(line.substr(0, colon));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
      value.remove_prefix(1);
    }
    while (!value.empty() &&
           (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
      value.remove_suffix(1);
    }
    exchange.answer.headers[name] = std::string(value);
  }
  return size * count;
}

std::size_t take_body(char* data, std::size_t size, std::size_t count, void* context) {
  auto& exchange = *static_cast<Exchange*>(context);
  if (Status taken = (*exchange.body)(std::string_view(data, size * count)); !taken) {
    exchange.failure = taken.message();
    return 0;  // ends the transfer
  }
  return size * count;
}

class UrlSource final : public ReleaseSource {
 public:
  UrlSource(std::string base, std::string ca_file)
      : base_(std::move(base)), ca_file_(std::move(ca_file)) {}

  bool remote() const override { return true; }

  Result<SourceAnswer> get(const std::string& path, const BodySink& body) override {
    return request(path, "", body);
  }

  Result<SourceAnswer> get_range(const std::string& path, std::uint64_t offset,
                                 std::uint64_t length, const BodySink& body) override {
    return request(path, std::to_string(offset) + "-" + std::to_string(offset + length - 1), body);
  }

 private:
  // A GET of `path`, of the bytes `range` names ("first-last") when it is not empty: the
  // content is a 200's body, or a 206's when a range was asked for. Redirects are followed as
  // WinHTTP follows them: up to ten, never from HTTPS to plain HTTP.
  Result<SourceAnswer> request(const std::string& path, const std::string& range,
                               const BodySink& body) {
    // One handle a thread, kept: its connections are used again by its next requests.
    thread_local std::unique_ptr<CURL, CurlFree> handle(curl_easy_init());
    CURL* curl = handle.get();
    if (curl == nullptr) {
      return fail("libcurl não iniciou");
    }
    curl_easy_reset(curl);
    Exchange exchange;
    // Only a 200's body is the content; any other answer's body is read and dropped.
    const BodySink dropped = [](std::string_view) -> Status { return {}; };
    const BodySink routed = [&](std::string_view piece) -> Status {
      long status = 0;
      curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
      return status == (range.empty() ? 200 : 206) ? body(piece) : dropped(piece);
    };
    exchange.body = &routed;
    const std::string url = base_ + path;
    struct curl_slist* headers = curl_slist_append(nullptr, "Accept-Encoding: gzip, br");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "nelo-publish-verify/1");
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &take_header);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &take_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &exchange);
    if (!range.empty()) {
      curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                     base_.starts_with("https://") ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
    // A body that stalls below 1 KiB/s for a minute ends the request.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1024L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!ca_file_.empty()) {
      curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file_.c_str());
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (exchange.failure) {
      return fail(*exchange.failure);
    }
    if (code != CURLE_OK) {
      return fail(std::string(curl_easy_strerror(code)));
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    exchange.answer.status = static_cast<int>(status);
    return std::move(exchange.answer);
  }

  std::string base_;
  std::string ca_file_;
};

}  // namespace

Result<std::unique_ptr<ReleaseSource>> open_url_source(const std::string& base,
                                                       const std::filesystem::path& ca_file) {
  static const CURLcode started = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (started != CURLE_OK) {
    return fail("libcurl não iniciou");
  }
  return std::unique_ptr<ReleaseSource>(std::make_unique<UrlSource>(base, ca_file.string()));
}

}  // namespace nelo::publish
