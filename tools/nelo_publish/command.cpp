#include "nelo_publish/command.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <exception>
#include <map>

#include "nelo_publish/release_folder.h"
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

}  // namespace

Result<PublishCommand> parse_publish_arguments(const std::vector<std::string>& arguments) {
  PublishCommand command;
  if (std::find_if(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument == "--help" || argument == "-h";
      }) != arguments.end()) {
    command.help = true;
    return command;
  }
  std::map<std::string, std::string> values;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!argument.starts_with("--")) {
      return fail("argumento inesperado: \"" + argument + "\"");
    }
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals == std::string::npos ? equals : equals - 2);
    if (name != "version" && name != "from" && name != "to" && name != "quality" &&
        name != "sign" && name != "password-file") {
      return fail("opção desconhecida: --" + name);
    }
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
      value = arguments[++i];
    } else {
      return fail("falta o valor de --" + name);
    }
    if (value.empty()) {
      return fail("valor vazio em --" + name);
    }
    if (!values.emplace(name, value).second) {
      return fail("--" + name + " dada mais de uma vez");
    }
  }
  for (const char* required : {"version", "from", "to"}) {
    if (!values.contains(required)) {
      return fail(std::string("falta --") + required);
    }
  }
  command.options.version = values["version"];
  command.options.from = path_from_utf8(values["from"]);
  command.options.to = path_from_utf8(values["to"]);
  if (values.contains("sign")) {
    command.sign_key_file = path_from_utf8(values["sign"]);
  }
  if (values.contains("password-file")) {
    if (!values.contains("sign")) {
      return fail("--password-file só vale com --sign");
    }
    command.password_file = path_from_utf8(values["password-file"]);
  }
  if (values.contains("quality")) {
    Result<int> quality = parse_quality(values["quality"]);
    if (!quality) {
      return quality.error();
    }
    command.options.quality = *quality;
  }
  return command;
}

std::string publish_usage() {
  return "uso: nelo-publish --version RÓTULO --from PASTA --to RAIZ [--quality N]\n"
         "                    [--sign CHAVE [--password-file ARQUIVO]]\n"
         "\n"
         "Publica a versão RÓTULO do Nelo, contida em PASTA (com o Nelo.exe no topo), na árvore\n"
         "estática RAIZ que o servidor de atualização serve:\n"
         "  RAIZ/app/files/<sha256>   cada conteúdo distinto uma vez, em Brotli\n"
         "  RAIZ/app/manifest.json    a lista da versão, gravada por último\n"
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
         "  --help            mostra este texto\n"
         "\n"
         "Objetos já presentes em RAIZ são mantidos; só o manifesto é substituído. Envie ao\n"
         "servidor primeiro os objetos e por último a assinatura e o manifesto, juntos.\n"
         "\n"
         "Saída: 0 publicada, 1 recusada ou com falha, 2 uso incorreto.\n";
}

namespace {

// The key of --sign, unlocked with the password of --password-file (its first line) or, when
// there is none, with one asked for.
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

}  // namespace

int run_publish_command(const std::vector<std::string>& arguments, bool err_is_terminal,
                        const TextSink& out, const TextSink& err,
                        const PasswordPrompt& ask_password) {
  try {
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
      command->options.signing_time = static_cast<std::int64_t>(std::time(nullptr));
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
        std::to_string(report->objects_kept) + " já presentes; " + shown(report->manifest) + "\n");
    return 0;
  } catch (const std::exception& error) {
    err(std::string("nelo-publish: falha inesperada: ") + error.what() + "\n");
    return 1;
  }
}

}  // namespace nelo::publish
