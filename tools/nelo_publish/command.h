// The nelo-publish command: its arguments, its key and password, its output and exit code.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "nelo_publish/manifest_signing.h"
#include "nelo_publish/publish.h"
#include "nelo_publish/signing_key_file.h"

namespace nelo::publish {

// The command line, without the program's name.
struct PublishCommand {
  bool help = false;
  PublishOptions options;
  std::filesystem::path sign_key_file;  // --sign KEY
  std::filesystem::path password_file;  // --password-file F
};

// Reads `--version LABEL --from DIR --to ROOT [--quality N] [--sign KEY [--password-file F]]
// [--help]` (also "--name=value").
// Arguments are UTF-8. Checks only the form: the label's rules belong to publish_release.
Result<PublishCommand> parse_publish_arguments(const std::vector<std::string>& arguments);

std::string publish_usage();
std::string resign_usage();
std::string rollout_usage();
std::string gc_usage();
std::string verify_usage();

using TextSink = std::function<void(std::string_view)>;

// The whole command: parses, publishes (or, with "resign" first, signs the published manifest
// anew), reports. Gives the exit code: 0 done (or --help), 1 refused or failed, 2 bad usage.
// Progress goes to `err` only when `err_is_terminal` and the release holds more than
// kProgressThreshold bytes.
int run_publish_command(const std::vector<std::string>& arguments, bool err_is_terminal,
                        const TextSink& out, const TextSink& err,
                        const PasswordPrompt& ask_password = {});

}  // namespace nelo::publish
