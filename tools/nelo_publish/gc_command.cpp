#include "nelo_publish/command_support.h"

#include "nelo_publish/garbage.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {

std::string gc_usage() {
  return "uso: nelo-publish gc RAIZ --keep N [--grace DIAS] [--delete]\n"
         "\n"
         "Lista os objetos (RAIZ/app/files) e patches (RAIZ/app/patches) que nenhuma das N\n"
         "últimas versões publicadas em RAIZ (segundo RAIZ/releases) nem o manifesto servido\n"
         "usam, e que foram gravados há mais de DIAS dias (padrão 7: caches e lançadores no\n"
         "meio de uma atualização ainda podem pedi-los). Só os remove com --delete. O\n"
         "manifesto e a assinatura nunca são tocados. Sem o histórico de RAIZ/releases, recusa.\n"
         "\n"
         "Rode-o na cópia de onde o servidor é sincronizado e sincronize depois apagando no\n"
         "destino (por exemplo rclone sync).\n"
         "\n"
         "Saída: 0 feito, 1 com falha, 2 uso incorreto.\n";
}

int run_gc_command(const std::vector<std::string>& arguments, const TextSink& out,
                   const TextSink& err) {
  if (asks_for_help(arguments)) {
    out(gc_usage());
    return 0;
  }
  Result<CommandOptions> options =
      read_command_options(arguments, {"keep", "grace"}, {"delete"}, 1);
  if (options && (options->positional.size() != 1 || !options->has("keep"))) {
    options = fail(options->positional.size() != 1 ? "falta RAIZ" : "falta --keep");
  }
  GarbageOptions garbage;
  if (options) {
    const std::optional<std::uint64_t> keep = small_number(options->at("keep"), 4);
    const std::optional<std::uint64_t> grace =
        options->has("grace") ? small_number(options->at("grace"), 5) : std::uint64_t{7};
    if (!keep || *keep == 0) {
      options = fail("--keep espera um número de 1 a 9999, não \"" + options->at("keep") + "\"");
    } else if (!grace) {
      options = fail("--grace espera um número de dias, não \"" + options->at("grace") + "\"");
    } else {
      garbage.keep = *keep;
      garbage.grace_seconds = static_cast<std::int64_t>(*grace) * 86400;
      garbage.remove = options->has("delete");
      garbage.now = clock_now();
    }
  }
  if (!options) {
    err("nelo-publish gc: " + options.message() + "\nUse --help para ver o uso.\n");
    return 2;
  }
  Result<GarbageReport> report = collect_garbage(path_from_utf8(options->positional[0]), garbage);
  if (!report) {
    err("nelo-publish gc: " + report.message() + "\n");
    return 1;
  }
  std::string text = "versões mantidas: ";
  for (std::size_t i = 0; i < report->kept_releases.size(); ++i) {
    text += (i ? ", " : "") + report->kept_releases[i];
  }
  text += "\n";
  std::size_t objects = 0;
  std::uint64_t bytes = 0;
  for (const UnusedFile& file : report->unused) {
    text += (garbage.remove ? "removendo " : "sem uso: ") + file.path + " (" +
            std::to_string(file.size) + " bytes)\n";
    objects += file.path.starts_with("app/files/") ? 1 : 0;
    bytes += file.size;
  }
  text += std::to_string(objects) + " objetos e " +
          std::to_string(report->unused.size() - objects) + " patches sem uso, " +
          std::to_string(bytes) + " bytes (" + mebibytes(bytes) + " MiB)";
  if (report->young != 0) {
    text += "; " + std::to_string(report->young) + " arquivos sem uso mais novos que " +
            std::to_string(garbage.grace_seconds / 86400) + " dias ficam (" +
            mebibytes(report->young_bytes) + " MiB)";
  }
  text += garbage.remove ? "\nremovidos: " + std::to_string(report->removed) + "\n"
                         : "\nnada removido: use --delete para remover\n";
  out(text);
  for (const std::string& failure : report->failures) {
    err("nelo-publish gc: não foi possível remover " + failure + "\n");
  }
  return report->failures.empty() ? 0 : 1;
}

}  // namespace nelo::publish
