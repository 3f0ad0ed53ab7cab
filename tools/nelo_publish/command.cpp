#include "nelo_publish/command.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <map>

#include "nelo_publish/command_options.h"
#include "nelo_publish/garbage.h"
#include "nelo_publish/verify.h"
#include "nelo_publish/release_folder.h"
#include "nelo_publish/resign.h"
#include "nelo_publish/rollout.h"
#include "nelo_publish/served_pair.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

// "12,3" for 12.3 MiB: tenths, whatever the locale.
std::string mebibytes(std::uint64_t bytes) {
  const std::uint64_t tenths = bytes * 10 / (std::uint64_t{1} << 20);
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

// Progress on one terminal line, redrawn at most ten times a second; each phase ends its line.
class ProgressLine {
 public:
  ProgressLine(bool terminal, const TextSink& err) : terminal_(terminal), err_(err) {}

  void update(const PublishProgress& state) {
    if (state.phase == PublishPhase::kHashing && state.files_done <= 1) {
      shown_ = terminal_ && state.bytes_total > kProgressThreshold;
    }
    if (!shown_) {
      return;
    }
    const bool last = state.files_done == state.files_total;
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - drawn_at_ < std::chrono::milliseconds(100)) {
      return;
    }
    drawn_at_ = now;
    const bool hashing = state.phase == PublishPhase::kHashing;
    std::string line = std::string(hashing ? "lendo " : "comprimindo ") +
                       std::to_string(state.files_done) + "/" + std::to_string(state.files_total) +
                       (hashing ? " arquivos, " : " objetos, ") + mebibytes(state.bytes_done) +
                       "/" + mebibytes(state.bytes_total) + " MiB";
    const size_t width = line.size();
    line.append(width_ > width ? width_ - width : 0, ' ');
    width_ = last ? 0 : width;
    err_("\r" + line + (last ? "\n" : ""));
    open_ = !last;
  }

  // Ends a line left open by a failure.
  void close() {
    if (open_) {
      err_("\n");
      open_ = false;
    }
  }

 private:
  bool terminal_;
  const TextSink& err_;
  bool shown_ = false;
  bool open_ = false;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point drawn_at_{};
};

Result<int> parse_quality(std::string_view text) {
  if (text.empty() || text.size() > 2 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return fail("--quality espera um número de 0 a 11, não \"" + std::string(text) + "\"");
  }
  const int quality = std::stoi(std::string(text));
  if (quality > kMaxQuality) {
    return fail("--quality espera um número de 0 a 11, não \"" + std::string(text) + "\"");
  }
  return quality;
}

bool asks_for_help(const std::vector<std::string>& arguments) {
  return std::find_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
           return argument == "--help" || argument == "-h";
         }) != arguments.end();
}

// A share of installations in percent, a whole number from `least` to 100.
Result<std::uint64_t> parse_share(std::string_view text, std::uint64_t least) {
  const std::string expected = "espera um número de " + std::to_string(least) + " a 100";
  if (text.empty() || text.size() > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
      std::stoull(std::string(text)) < least || std::stoull(std::string(text)) > 100) {
    return fail(expected + ", não \"" + std::string(text) + "\"");
  }
  return std::stoull(std::string(text));
}

}  // namespace

Result<PublishCommand> parse_publish_arguments(const std::vector<std::string>& arguments) {
  PublishCommand command;
  if (asks_for_help(arguments)) {
    command.help = true;
    return command;
  }
  Result<CommandOptions> read =
      read_command_options(arguments,
                           {"version", "from", "to", "quality", "sign", "password-file", "expires",
                            "patch-from-releases", "rollout"},
                           {}, 0);
  if (!read) {
    return read.error();
  }
  const CommandOptions& values = *read;
  for (const char* required : {"version", "from", "to"}) {
    if (!values.has(required)) {
      return fail(std::string("falta --") + required);
    }
  }
  command.options.version = values.at("version");
  command.options.from = path_from_utf8(values.at("from"));
  command.options.to = path_from_utf8(values.at("to"));
  if (values.has("sign")) {
    command.sign_key_file = path_from_utf8(values.at("sign"));
  }
  for (const char* needs_key : {"password-file", "expires"}) {
    if (values.has(needs_key) && !values.has("sign")) {
      return fail(std::string("--") + needs_key + " só vale com --sign");
    }
  }
  if (values.has("password-file")) {
    command.password_file = path_from_utf8(values.at("password-file"));
  }
  if (values.has("expires")) {
    Result<std::int64_t> duration = parse_duration(values.at("expires"));
    if (!duration) {
      return duration.error();
    }
    command.options.expires_after = *duration;
  }
  if (values.has("patch-from-releases")) {
    const std::string& text = values.at("patch-from-releases");
    if (text.size() != 1 || text[0] < '0' || text[0] > '0' + int(kMostPatchReleases)) {
      return fail("--patch-from-releases espera um número de 0 a " +
                  std::to_string(kMostPatchReleases) + ", não \"" + text + "\"");
    }
    command.options.patch_from_releases = static_cast<std::size_t>(text[0] - '0');
  }
  if (values.has("rollout")) {
    Result<std::uint64_t> share = parse_share(values.at("rollout"), 1);
    if (!share) {
      return fail("--rollout " + share.message());
    }
    command.options.rollout = *share;
  }
  if (values.has("quality")) {
    Result<int> quality = parse_quality(values.at("quality"));
    if (!quality) {
      return quality.error();
    }
    command.options.quality = *quality;
  }
  return command;
}

std::string publish_usage() {
  return "uso: nelo-publish --version RÓTULO --from PASTA --to RAIZ [--quality N]\n"
         "                    [--sign CHAVE [--password-file ARQUIVO] [--expires DURAÇÃO]]\n"
         "                    [--patch-from-releases K] [--rollout P]\n"
         "\n"
         "Publica a versão RÓTULO do Nelo, contida em PASTA (com o Nelo.exe no topo), na árvore\n"
         "estática RAIZ que o servidor de atualização serve:\n"
         "  RAIZ/app/files/<sha256>   cada conteúdo distinto uma vez, em Brotli\n"
         "  RAIZ/app/patches/...      patches das versões anteriores (veja abaixo)\n"
         "  RAIZ/app/manifest.json    a lista da versão, gravada por último\n"
         "  RAIZ/releases/...         as versões publicadas aqui (não é servida)\n"
         "\n"
         "  --version RÓTULO  letras ASCII, dígitos, \".\" e \"-\" (por exemplo 1.4.0)\n"
         "  --from PASTA      a pasta da versão; links simbólicos dentro dela são recusados\n"
         "  --to RAIZ         a raiz do servidor; é criada se não existir\n"
         "  --quality N       qualidade do Brotli, de 0 a 11 (padrão 11)\n"
         "  --sign CHAVE      assina a lista com a chave secreta do minisign (minisign -G);\n"
         "                    grava RAIZ/app/manifest.json.minisig antes da lista\n"
         "  --password-file ARQUIVO\n"
         "                    a senha da chave na primeira linha do ARQUIVO (sem ela, a senha\n"
         "                    é pedida no terminal; uma chave de minisign -G -W não tem senha)\n"
         "  --patch-from-releases K\n"
         "                    para cada arquivo que mudou, um patch (zstd) a partir do conteúdo\n"
         "                    do mesmo caminho em cada uma das K últimas versões publicadas em\n"
         "                    RAIZ (padrão 3, 0 para nenhum), mantido só se for menor que a\n"
         "                    metade do objeto inteiro: RAIZ/app/patches/<de>-<para>\n"
         "  --expires DURAÇÃO com --sign: a assinatura vence DURAÇÃO depois de feita (30d,\n"
         "                    12h, 45m, 600s); um lançador com chaves recusa então a lista\n"
         "                    (\"lista vencida\") até que seja assinada de novo (resign)\n"
         "  --rollout P       a versão vale só para P % das instalações (1 a 100); as outras\n"
         "                    ficam na versão que têm (veja nelo-publish rollout)\n"
         "  --help            mostra este texto\n"
         "\n"
         "Objetos já presentes em RAIZ são mantidos; só o manifesto é substituído. Envie ao\n"
         "servidor primeiro os objetos e por último a assinatura e o manifesto, juntos.\n"
         "\n"
         "Outros comandos (cada um com --help):\n"
         "  nelo-publish resign RAIZ --key CHAVE [--expires DURAÇÃO]\n"
         "                    assina de novo a lista já publicada, sem mudar mais nada\n"
         "  nelo-publish rollout RAIZ PARCELA [--key CHAVE]\n"
         "                    muda a parcela das instalações da versão publicada\n"
         "  nelo-publish verify RAIZ-ou-URL [--key CHAVE-PÚBLICA]\n"
         "                    confere o manifesto, a assinatura e cada objeto publicado\n"
         "  nelo-publish gc RAIZ --keep N [--grace DIAS] [--delete]\n"
         "                    lista (e remove) os objetos que as N últimas versões não usam\n"
         "\n"
         "Saída: 0 publicada, 1 recusada ou com falha, 2 uso incorreto.\n";
}

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

namespace {

// "2026-12-09 10:00:00 UTC" for seconds since 1970.
std::string utc_time(std::int64_t seconds) {
  const std::time_t moment = static_cast<std::time_t>(seconds);
  std::tm parts{};
#ifdef _WIN32
  gmtime_s(&parts, &moment);
#else
  gmtime_r(&moment, &parts);
#endif
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

// The --expires of a command, when given.
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

// The secret key named by --key, unlocked with --password-file or the terminal's prompt.
Result<SigningKey> key_option(const CommandOptions& options, const PasswordPrompt& ask_password) {
  return load_signing_key(path_from_utf8(options.at("key")),
                          options.has("password-file") ? path_from_utf8(options.at("password-file"))
                                                       : std::filesystem::path(),
                          ask_password);
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

std::string share_text(std::optional<std::uint64_t> share) {
  return share && *share < 100 ? std::to_string(*share) + "% das instalações"
                               : "todas as instalações";
}

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
    std::optional<std::int64_t> expires_at;
    if (change.expires_after) {
      expires_at = *report->signed_at + *change.expires_after;
    }
    line += "lista " + signing_note(*report->signed_at, expires_at, report->clock_behind) + "\n";
  }
  out(line);
  return 0;
}

// A whole number of at most `digits` digits.
std::optional<std::uint64_t> small_number(std::string_view text, std::size_t digits) {
  if (text.empty() || text.size() > digits ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoull(std::string(text));
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
            " objetos e patches, " + mebibytes(progress.bytes) + " MiB baixados" +
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
          std::to_string(report.patches) + " patches";
  if (report.patches_by_size_only != 0) {
    text += " (" + std::to_string(report.patches_by_size_only) + " só pelo tamanho)";
  }
  text += ", " + mebibytes(report.bytes) + " MiB baixados; " +
          std::to_string(report.faults.size()) + " falhas, " +
          std::to_string(report.warnings.size()) + " avisos\n";
  out(text);
  return report.faults.empty() ? 0 : 1;
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

}  // namespace

int run_publish_command(const std::vector<std::string>& arguments, bool err_is_terminal,
                        const TextSink& out, const TextSink& err,
                        const PasswordPrompt& ask_password) {
  try {
    if (!arguments.empty() && arguments[0] == "resign") {
      return run_resign_command({arguments.begin() + 1, arguments.end()}, out, err, ask_password);
    }
    if (!arguments.empty() && arguments[0] == "verify") {
      return run_verify_command({arguments.begin() + 1, arguments.end()}, err_is_terminal, out,
                                err);
    }
    if (!arguments.empty() && arguments[0] == "gc") {
      return run_gc_command({arguments.begin() + 1, arguments.end()}, out, err);
    }
    if (!arguments.empty() && arguments[0] == "rollout") {
      return run_rollout_command({arguments.begin() + 1, arguments.end()}, out, err, ask_password);
    }
    Result<PublishCommand> command = parse_publish_arguments(arguments);
    if (!command) {
      err("nelo-publish: " + command.message() + "\nUse --help para ver o uso.\n");
      return 2;
    }
    if (command->help) {
      out(publish_usage());
      return 0;
    }
    if (!command->sign_key_file.empty()) {
      Result<SigningKey> key =
          load_signing_key(command->sign_key_file, command->password_file, ask_password);
      if (!key) {
        err("nelo-publish: " + key.message() + "\n");
        return 1;
      }
      command->options.signing_key = *key;
      command->options.signing_time = clock_now();
    }
    ProgressLine line(err_is_terminal, err);
    Result<PublishReport> report = publish_release(
        command->options, [&line](const PublishProgress& state) { line.update(state); });
    line.close();
    if (!report) {
      err("nelo-publish: " + report.message() + "\n");
      return 1;
    }
    out("versão " + command->options.version + " publicada: " + std::to_string(report->files) +
        " arquivos (" + mebibytes(report->bytes) + " MiB), " +
        std::to_string(report->objects_written) + " objetos novos, " +
        std::to_string(report->objects_kept) + " já presentes, " +
        std::to_string(report->patches_written) + " patches novos; " + shown(report->manifest) +
        "\n");
    if (report->signed_at) {
      std::optional<std::int64_t> expires_at;
      if (command->options.expires_after) {
        expires_at = *report->signed_at + *command->options.expires_after;
      }
      out("lista " + signing_note(*report->signed_at, expires_at, report->clock_behind) + "\n");
    }
    return 0;
  } catch (const std::exception& error) {
    err(std::string("nelo-publish: falha inesperada: ") + error.what() + "\n");
    return 1;
  }
}

}  // namespace nelo::publish
