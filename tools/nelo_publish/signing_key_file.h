// The signing key of a command: a minisign secret key file, unlocked with its password.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "base/result.h"
#include "nelo_publish/manifest_signing.h"

namespace nelo::publish {

// Asks the user for the password of the signing key (from the terminal, without echo); nothing
// when there is no one to ask.
using PasswordPrompt = std::function<std::optional<std::string>()>;

// The key in `key_file`, unlocked with the first line of `password_file` (when given) or with a
// password asked for. Fails with the reason and the file's path.
Result<SigningKey> load_signing_key(const std::filesystem::path& key_file,
                                    const std::filesystem::path& password_file,
                                    const PasswordPrompt& ask_password);

}  // namespace nelo::publish
