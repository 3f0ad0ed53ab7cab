#include "nelo_publish/signing_key_file.h"

#include "nelo_publish/release_folder.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {

Result<SigningKey> load_signing_key(const std::filesystem::path& key_file,
                                    const std::filesystem::path& password_file,
                                    const PasswordPrompt& ask_password) {
  const Result<std::string> key_text = read_whole_file(key_file, 0);
  if (!key_text) {
    return fail("não foi possível ler a chave " + shown(key_file));
  }
  std::string password;
  if (signing_key_needs_password(*key_text)) {
    std::optional<std::string> given;
    if (!password_file.empty()) {
      Result<std::string> password_text = read_whole_file(password_file, 0);
      if (!password_text) {
        return fail("não foi possível ler a senha em " + shown(password_file));
      }
      given = password_text->substr(0, password_text->find_first_of("\r\n"));
    } else if (ask_password) {
      given = ask_password();
    }
    if (!given) {
      return fail("a chave tem senha: dê --password-file ou rode num terminal");
    }
    password = std::move(*given);
  }
  Result<SigningKey> key = read_signing_key(*key_text, password);
  if (!key) {
    return fail(key.message() + ": " + shown(key_file));
  }
  return key;
}

}  // namespace nelo::publish
