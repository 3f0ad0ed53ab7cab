// What the subcommands of nelo-publish share: numbers and times as they print them, and the
// options they read alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "nelo_publish/command.h"
#include "nelo_publish/command_options.h"

namespace nelo::publish {

// "12,3" for 12.3 MiB: tenths, whatever the locale.
std::string mebibytes(std::uint64_t bytes);

// "2026-12-09 10:00:00 UTC" for seconds since 1970.
std::string utc_time(std::int64_t seconds);

// "assinada com timestamp:N", its expiry and a note when the clock was behind.
std::string signing_note(std::int64_t signed_at, std::optional<std::int64_t> expires_at,
                         bool clock_behind);

// The clock, in seconds since 1970.
std::int64_t clock_now();

// True when the arguments ask for the usage text ("--help" or "-h" anywhere).
bool asks_for_help(const std::vector<std::string>& arguments);

// A share of installations in percent, a whole number from `least` to 100.
Result<std::uint64_t> parse_share(std::string_view text, std::uint64_t least);

// A whole number of at most `digits` digits.
std::optional<std::uint64_t> small_number(std::string_view text, std::size_t digits);

// The --expires of a command, when given.
Result<std::optional<std::int64_t>> expiry_option(const CommandOptions& options);

// The secret key named by --key, unlocked with --password-file or the terminal's prompt.
Result<SigningKey> key_option(const CommandOptions& options, const PasswordPrompt& ask_password);

// The subcommands, each given the arguments after its name.
int run_resign_command(const std::vector<std::string>& arguments, const TextSink& out,
                       const TextSink& err, const PasswordPrompt& ask_password);
int run_rollout_command(const std::vector<std::string>& arguments, const TextSink& out,
                        const TextSink& err, const PasswordPrompt& ask_password);
int run_verify_command(const std::vector<std::string>& arguments, bool err_is_terminal,
                       const TextSink& out, const TextSink& err);
int run_gc_command(const std::vector<std::string>& arguments, const TextSink& out,
                   const TextSink& err);

}  // namespace nelo::publish
