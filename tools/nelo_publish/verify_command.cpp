#include "nelo_publish/command_support.h"

#include <chrono>

#include "nelo_publish/release_folder.h"
#include "nelo_publish/text_paths.h"
#include "nelo_publish/verify.h"

namespace nelo::publish {

std::string verify_usage() {
  return "uso: nelo-publish verify RAIZ-ou-URL [--key CHAVE-PÚBLICA] [--ca-file ARQUIVO]\n"
         "                    [--transfers N]\n"
         "\n"
         "Confere uma publicação como os lançadores a verão: lê o manifesto (e, com --key, a\n"
         "sua assinatura, como o lançador a confere, validade incluída) de uma pasta RAIZ ou do\n"
         "endereço base de atualização (https://...), e baixa cada objeto e patch que ele\n"
         "lista: presente, do tamanho da lista, decodificado no tamanho e no SHA-256 da lista.\n"
         "Um patch é aplicado ao conteúdo antigo quando o servidor ainda tem o objeto dele (e\n"
         "os dois cabem em 256 MiB); senão é conferido pelo tamanho.\n"
         "\n"
         "De um endereço, confere também o que o guia de publicação pede do servidor e avisa\n"
         "de cada diferença: manifesto e assinatura sem cache (no-cache), objetos imutáveis\n"
         "como application/octet-stream, nenhum Content-Encoding (os pedidos oferecem gzip e\n"
         "br, como um navegador ou proxy no caminho), um objeto que falta responde 404. O\n"
         "certificado HTTPS é conferido como por qualquer cliente.\n"
         "\n"
         "  --key CHAVE-PÚBLICA  a chave pública do minisign (o .pub) com que os lançadores\n"
         "                    conferem a assinatura\n"
         "  --ca-file ARQUIVO a única autoridade aceita para o HTTPS (uma autoridade própria);\n"
         "                    sem ela, as do sistema\n"
         "  --transfers N     pedidos ao mesmo tempo, de 1 a 64 (padrão 8)\n"
         "\n"
         "Saída: 0 sem falhas (avisos podem haver), 1 com falhas, 2 uso incorreto.\n";
}

int run_verify_command(const std::vector<std::string>& arguments, bool err_is_terminal,
                       const TextSink& out, const TextSink& err) {
  if (asks_for_help(arguments)) {
    out(verify_usage());
    return 0;
  }
  Result<CommandOptions> options =
      read_command_options(arguments, {"key", "ca-file", "transfers"}, {}, 1);
  if (options && options->positional.size() != 1) {
    options = fail("falta RAIZ-ou-URL");
  }
  VerifyOptions verify;
  if (options && options->has("transfers")) {
    const std::optional<std::uint64_t> transfers = small_number(options->at("transfers"), 2);
    if (!transfers || *transfers == 0 || *transfers > 64) {
      options =
          fail("--transfers espera um número de 1 a 64, não \"" + options->at("transfers") + "\"");
    } else {
      verify.transfers = *transfers;
    }
  }
  if (!options) {
    err("nelo-publish verify: " + options.message() + "\nUse --help para ver o uso.\n");
    return 2;
  }
  if (options->has("key")) {
    const std::filesystem::path key_file = path_from_utf8(options->at("key"));
    Result<std::string> text = read_whole_file(key_file, 0);
    std::optional<std::vector<ReleaseKey>> keys;
    if (text) {
      keys = parse_release_keys(*text);
    }
    if (!keys) {
      err("nelo-publish verify: " + shown(key_file) + " não é uma chave pública do minisign\n");
      return 1;
    }
    verify.keys = *keys;
  }
  verify.now = clock_now();
  Result<std::unique_ptr<ReleaseSource>> source = open_release_source(
      options->positional[0],
      options->has("ca-file") ? path_from_utf8(options->at("ca-file")) : std::filesystem::path());
  if (!source) {
    err("nelo-publish verify: " + source.message() + "\n");
    return 1;
  }
  std::chrono::steady_clock::time_point drawn_at{};
  bool line_open = false;
  const VerifyReport report =
      verify_deployment(**source, verify, [&](const VerifyProgress& progress) {
        const auto now = std::chrono::steady_clock::now();
        const bool last = progress.done == progress.total;
        if (!err_is_terminal || (!last && now - drawn_at < std::chrono::milliseconds(100))) {
          return;
        }
        drawn_at = now;
        err("\rconferindo " + std::to_string(progress.done) + "/" + std::to_string(progress.total) +
            " objetos, patches e pacotes, " + mebibytes(progress.bytes) + " MiB baixados" +
            (last ? "\n" : ""));
        line_open = !last;
      });
  if (line_open) {
    err("\n");
  }
  std::string text;
  if (!report.version.empty()) {
    text += "versão " + report.version;
    if (report.rollout) {
      text += " (para " + std::to_string(*report.rollout) + "% das instalações)";
    }
    if (report.signature) {
      text += "; assinatura válida, de " + utc_time(report.signature->signed_at);
      if (report.signature->expires_at) {
        text += ", vence em " + utc_time(*report.signature->expires_at);
      }
    }
    text += "\n";
  }
  for (const std::string& fault : report.faults) {
    text += "falha: " + fault + "\n";
  }
  for (const std::string& warning : report.warnings) {
    text += "aviso: " + warning + "\n";
  }
  text += "conferidos: " + std::to_string(report.objects) + " objetos, " +
          std::to_string(report.patches) + " patches, " + std::to_string(report.packs) + " pacotes";
  if (report.patches_by_size_only != 0) {
    text += " (" + std::to_string(report.patches_by_size_only) + " só pelo tamanho)";
  }
  text += ", " + mebibytes(report.bytes) + " MiB baixados; " +
          std::to_string(report.faults.size()) + " falhas, " +
          std::to_string(report.warnings.size()) + " avisos\n";
  out(text);
  return report.faults.empty() ? 0 : 1;
}

}  // namespace nelo::publish
