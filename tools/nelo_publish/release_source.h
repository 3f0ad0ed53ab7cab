// Where `nelo-publish verify` reads a deployment from: a local ROOT as the publisher wrote it,
// or the update base URL as the launchers see it (natively over libcurl, certificates checked).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"

namespace nelo::publish {

struct SourceAnswer {
  int status = 0;  // the HTTP status; a local file found is 200, a missing one 404
  std::map<std::string, std::string> headers;  // lower-case names; none from a local ROOT
};

// Takes the body's bytes in order, piece by piece; a failure ends the request with it.
using BodySink = std::function<Status(std::string_view piece)>;

class ReleaseSource {
 public:
  virtual ~ReleaseSource() = default;
  // True for a URL: the answers carry the server's headers.
  virtual bool remote() const = 0;
  // Asks for `path` below the base ("app/manifest.json"); a 200 answer's body goes to `body`.
  // Fails with the reason when no answer came (no connection, a certificate refused, a body
  // cut off). Called from several threads at once.
  // A URL request offers "Accept-Encoding: gzip, br", as a browser or proxy in front of the
  // launchers may: a server or cache that compresses then shows it (and a cache may hand that
  // answer to every launcher). The body is never decompressed.
  virtual Result<SourceAnswer> get(const std::string& path, const BodySink& body) = 0;
  // Asks for the `length` bytes of `path` from `offset` with a Range header, as a launcher asks
  // to go on with a download or for a large object in pieces; a 206 answer's body goes to
  // `body`. A local ROOT answers 206 with those bytes, or 416 when they are not all there.
  virtual Result<SourceAnswer> get_range(const std::string& path, std::uint64_t offset,
                                         std::uint64_t length, const BodySink& body) = 0;
};

// A source for `where`: "http://" or "https://" for a URL, anything else a ROOT folder.
// `ca_file`, when not empty, is the only authority trusted for HTTPS (a private one); otherwise
// the system's.
Result<std::unique_ptr<ReleaseSource>> open_release_source(const std::string& where,
                                                           const std::filesystem::path& ca_file);

// The URL source, built where libcurl is (a failure elsewhere).
Result<std::unique_ptr<ReleaseSource>> open_url_source(const std::string& base,
                                                       const std::filesystem::path& ca_file);

}  // namespace nelo::publish
