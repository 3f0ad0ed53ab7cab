#include "nelo_publish/command_support.h"

#include "nelo_publish/rollout.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {

std::string rollout_usage() {
  return "uso: nelo-publish rollout RAIZ PARCELA [--key CHAVE [--password-file ARQUIVO]\n"
         "                    [--expires DURAÇÃO]]\n"
         "\n"
         "Muda a parcela das instalações (PARCELA %, de 0 a 100) para a qual vale a versão\n"
         "publicada em RAIZ; nada mais da versão muda. 100 encerra o lançamento gradual (a\n"
         "versão vale para todas); 0 o suspende (nenhuma instalação existente a recebe; uma\n"
         "primeira instalação sempre a instala). Cada instalação sorteia uma vez a sua posição;\n"
         "subir a parcela mantém todas as que já estavam dentro.\n"
         "\n"
         "Uma lista assinada precisa de --key: é assinada de novo (nunca antes da assinatura\n"
         "publicada), com --expires como em resign. Envie ao servidor a assinatura e o\n"
         "manifesto juntos.\n"
         "\n"
         "Saída: 0 mudada, 1 com falha, 2 uso incorreto.\n";
}

namespace {

std::string share_text(std::optional<std::uint64_t> share) {
  return share && *share < 100 ? std::to_string(*share) + "% das instalações"
                               : "todas as instalações";
}

}  // namespace

int run_rollout_command(const std::vector<std::string>& arguments, const TextSink& out,
                        const TextSink& err, const PasswordPrompt& ask_password) {
  if (asks_for_help(arguments)) {
    out(rollout_usage());
    return 0;
  }
  Result<CommandOptions> options =
      read_command_options(arguments, {"key", "expires", "password-file"}, {}, 2);
  if (options && options->positional.size() != 2) {
    options = fail(options->positional.empty() ? "falta RAIZ" : "falta a PARCELA");
  }
  for (const char* needs_key : {"password-file", "expires"}) {
    if (options && options->has(needs_key) && !options->has("key")) {
      options = fail(std::string("--") + needs_key + " só vale com --key");
    }
  }
  Result<std::uint64_t> share = options ? parse_share(options->positional[1], 0) : options.error();
  Result<std::optional<std::int64_t>> expires_after =
      share ? expiry_option(*options) : share.error();
  if (!expires_after) {
    err("nelo-publish rollout: " + expires_after.message() + "\nUse --help para ver o uso.\n");
    return 2;
  }
  RolloutChange change{*share, std::nullopt, clock_now(), *expires_after};
  if (options->has("key")) {
    Result<SigningKey> key = key_option(*options, ask_password);
    if (!key) {
      err("nelo-publish rollout: " + key.message() + "\n");
      return 1;
    }
    change.key = *key;
  }
  Result<RolloutReport> report = change_rollout(path_from_utf8(options->positional[0]), change);
  if (!report) {
    err("nelo-publish rollout: " + report.message() + "\n");
    return 1;
  }
  std::string line = "versão " + report->version + ": de " + share_text(report->was) + " para " +
                     share_text(*share) + (*share == 0 ? " (suspensa)" : "") + "\n";
  if (report->signed_at) {
    line += "lista " + signing_note(*report->signed_at, report->expires_at, report->clock_behind) +
            "\n";
  }
  out(line);
  return 0;
}

}  // namespace nelo::publish
