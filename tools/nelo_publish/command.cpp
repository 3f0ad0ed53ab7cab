#include "nelo_publish/command.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "nelo_publish/command_support.h"
#include "nelo_publish/text_paths.h"

namespace nelo::publish {
namespace {

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
                            "patch-from-releases", "rollout", "launcher", "packs"},
                           {"unsigned"}, 0);
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
  if (values.has("unsigned")) {
    if (values.has("sign")) {
      return fail("--unsigned e --sign não valem juntos");
    }
    command.options.leave_unsigned = true;
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
  if (values.has("launcher")) {
    command.options.launcher = path_from_utf8(values.at("launcher"));
  }
  if (values.has("packs")) {
    const std::string& text = values.at("packs");
    if (text != "on" && text != "off") {
      return fail("--packs espera on ou off, não \"" + text + "\"");
    }
    command.options.packs = text == "on";
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
         "                    [--patch-from-releases K] [--rollout P] [--launcher ARQUIVO]\n"
         "                    [--unsigned] [--packs on|off]\n"
         "\n"
         "Publica a versão RÓTULO do Nelo, contida em PASTA (com o Nelo.exe no topo), na árvore\n"
         "estática RAIZ que o servidor de atualização serve:\n"
         "  RAIZ/app/files/<sha256>   cada conteúdo distinto uma vez, em Brotli\n"
         "  RAIZ/app/patches/...      patches das versões anteriores (veja abaixo)\n"
         "  RAIZ/app/packs/<sha256>   os objetos pequenos lado a lado, pedidos aos trechos\n"
         "  RAIZ/app/manifest.json    a lista da versão, gravada por último\n"
         "  RAIZ/releases/...         as versões publicadas aqui (não é servida)\n"
         "\n"
         "  --version RÓTULO  letras ASCII, dígitos, \".\" e \"-\" (por exemplo 1.4.0)\n"
         "  --from PASTA      a pasta da versão; links simbólicos dentro dela são recusados\n"
         "  --to RAIZ         a raiz do servidor; é criada se não existir\n"
         "  --quality N       qualidade do Brotli, de 0 a 11 (padrão 11)\n"
         "  --sign CHAVE      assina a lista com a chave secreta do minisign (minisign -G);\n"
         "                    grava RAIZ/app/manifest.json.minisig antes da lista\n"
         "  --unsigned        publica sem assinar numa RAIZ cuja lista servida é assinada:\n"
         "                    a assinatura antiga é retirada junto com a troca da lista, e os\n"
         "                    lançadores com chaves recusam a versão até que seja assinada\n"
         "                    (minisign -S, ou nelo-publish resign). Sem --unsigned, publicar\n"
         "                    sem --sign numa RAIZ assinada é recusado\n"
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
         "  --launcher ARQUIVO\n"
         "                    o Nelo-Setup.exe desta versão (um executável do Windows x86-64):\n"
         "                    gravado como objeto e nomeado em \"launcher\" na lista; cada\n"
         "                    instalação em que a versão é a atual o testa (--self-test) e o põe\n"
         "                    no lugar do seu lançador. Sem --launcher a lista não nomeia\n"
         "                    lançador, e os lançadores instalados ficam como estão\n"
         "  --packs on|off    grava também os pacotes (padrão on): os objetos de menos de\n"
         "                    1 MiB, um após o outro, em arquivos de 1 a 4 MiB que a lista\n"
         "                    nomeia em \"packs\"; um lançador busca muitos arquivos pequenos\n"
         "                    em poucos pedidos. Os objetos continuam em RAIZ/app/files\n"
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
        std::to_string(report->patches_written) + " patches novos, " +
        std::to_string(report->packs) + " pacotes (" + std::to_string(report->packs_written) +
        " novos); " + shown(report->manifest) + "\n");
    if (report->launcher) {
      out("lançador " + *report->launcher + " na lista\n");
    }
    if (report->signed_at) {
      out("lista " + signing_note(*report->signed_at, report->expires_at, report->clock_behind) +
          "\n");
    }
    return 0;
  } catch (const std::exception& error) {
    err(std::string("nelo-publish: falha inesperada: ") + error.what() + "\n");
    return 1;
  }
}

}  // namespace nelo::publish
