#include "nelo_publish/command_support.h"

#include "nelo_publish/resign.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {

std::string resign_usage() {
  return "uso: nelo-publish resign RAIZ --key CHAVE [--expires DURAÇÃO]\n"
         "                    [--password-file ARQUIVO]\n"
         "\n"
         "Assina de novo RAIZ/app/manifest.json com a CHAVE secreta do minisign e substitui\n"
         "RAIZ/app/manifest.json.minisig; nada mais muda. A nova assinatura nunca é anterior à\n"
         "que está publicada. Com --expires, vence DURAÇÃO depois de feita (30d, 12h, 45m,\n"
         "600s): rode este comando antes disso, por exemplo uma vez por dia, e envie ao\n"
         "servidor só a assinatura.\n"
         "\n"
         "Saída: 0 assinada, 1 com falha, 2 uso incorreto.\n";
}

int run_resign_command(const std::vector<std::string>& arguments, const TextSink& out,
                       const TextSink& err, const PasswordPrompt& ask_password) {
  if (asks_for_help(arguments)) {
    out(resign_usage());
    return 0;
  }
  Result<CommandOptions> options =
      read_command_options(arguments, {"key", "expires", "password-file"}, {}, 1);
  if (options && (options->positional.size() != 1 || !options->has("key"))) {
    options = fail(options->positional.size() != 1 ? "falta RAIZ" : "falta --key");
  }
  Result<std::optional<std::int64_t>> expires_after =
      options ? expiry_option(*options) : options.error();
  if (!expires_after) {
    err("nelo-publish resign: " + expires_after.message() + "\nUse --help para ver o uso.\n");
    return 2;
  }
  Result<SigningKey> key = key_option(*options, ask_password);
  if (!key) {
    err("nelo-publish resign: " + key.message() + "\n");
    return 1;
  }
  const std::filesystem::path root = path_from_utf8(options->positional[0]);
  Result<ResignReport> report = resign_manifest(root, *key, clock_now(), *expires_after);
  if (!report) {
    err("nelo-publish resign: " + report.message() + "\n");
    return 1;
  }
  out("lista " + signing_note(report->signed_at, report->expires_at, report->clock_behind) + "; " +
      shown(served_signature_path(root)) + "\n");
  return 0;
}

}  // namespace nelo::publish
