#include "nelo_publish/command_support.h"

#include <algorithm>
#include <ctime>

#include "nelo_publish/calendar_time.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {

std::string mebibytes(std::uint64_t bytes) {
  const std::uint64_t tenths = bytes * 10 / (std::uint64_t{1} << 20);
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

std::string utc_time(std::int64_t seconds) {
  const std::tm parts = utc_parts(seconds);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

std::string signing_note(std::int64_t signed_at, std::optional<std::int64_t> expires_at,
                         bool clock_behind) {
  std::string note = "assinada com timestamp:" + std::to_string(signed_at);
  if (expires_at) {
    note += ", vence em " + utc_time(*expires_at);
  }
  if (clock_behind) {
    note +=
        " (o relógio está atrás da assinatura já publicada: usado o tempo dela mais um "
        "segundo)";
  }
  return note;
}

std::int64_t clock_now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

bool asks_for_help(const std::vector<std::string>& arguments) {
  return std::find_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
           return argument == "--help" || argument == "-h";
         }) != arguments.end();
}

Result<std::uint64_t> parse_share(std::string_view text, std::uint64_t least) {
  const std::string expected = "espera um número de " + std::to_string(least) + " a 100";
  if (text.empty() || text.size() > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      std::stoull(std::string(text)) < least || std::stoull(std::string(text)) > 100) {
    return fail(expected + ", não \"" + std::string(text) + "\"");
  }
  return std::stoull(std::string(text));
}

std::optional<std::uint64_t> small_number(std::string_view text, std::size_t digits) {
  if (text.empty() || text.size() > digits ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoull(std::string(text));
}

Result<std::optional<std::int64_t>> expiry_option(const CommandOptions& options) {
  if (!options.has("expires")) {
    return std::optional<std::int64_t>();
  }
  Result<std::int64_t> duration = parse_duration(options.at("expires"));
  if (!duration) {
    return duration.error();
  }
  return std::optional<std::int64_t>(*duration);
}

Result<SigningKey> key_option(const CommandOptions& options, const PasswordPrompt& ask_password) {
  return load_signing_key(path_from_utf8(options.at("key")),
                          options.has("password-file") ? path_from_utf8(options.at("password-file"))
                                                       : std::filesystem::path(),
                          ask_password);
}

}  // namespace nelo::publish
