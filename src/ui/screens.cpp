#include "ui/screens.h"

#include <span>
#include <utility>

#include "ui/number_text.h"

namespace nelo {
namespace {

constexpr std::string_view kMiddleDot = " \u00B7 ";

struct ScreenContext {
  FramePlan& plan;
  const UiSnapshot& snapshot;
  float t;
  std::uint8_t hovered;
  const MeasureText& measure;

  void title(std::string text, float x, float y, float width) {
    add_text(plan, std::move(text), TextFormat::Title, x, y, width, 24, kWhite);
  }
  void detail(std::string text, float x, float y, float width, float height = 18,
              TextFormat format = TextFormat::Body) {
    add_text(plan, std::move(text), format, x, y, width, height, kDetailColour);
  }
  void footer(std::string left, std::string right) {
    add_footer(plan, std::move(left), std::move(right), measure);
  }
  void version_footer_with(std::string left) {
    footer(std::move(left), version_footer(snapshot.version_text));
  }
  void buttons(float top, std::span<const ButtonSpec> table) {
    add_button_row(plan, top, table, hovered, measure);
  }
  void buttons_by_install(float top, bool has_installed) {
    if (has_installed) {
      buttons(top, kInstalledButtons);
    } else {
      buttons(top, kNotInstalledButtons);
    }
  }

  void operator()(const Consent&) {
    title("Instalar o Nelo", 160, 52, 320);
    detail(
        "Ao instalar, você concorda com os Termos de uso e a Política de privacidade. "
        "Idade mínima: 13 anos.",
        160, 82, 320, 40, TextFormat::Wrap);
    buttons(128, kConsentButtons);
  }

  void operator()(const Installing& phase) {
    title("Instalando o Nelo", 160, 66, 320);
    std::string speed;
    if (phase.speed > 0) {
      speed = std::string(kMiddleDot) + speed_text(phase.speed) + " MB/s";
    }
    detail("Baixando " + megabytes_text(phase.bytes_done) + " de " +
               megabytes_text(phase.bytes_total) + " MB" + speed,
           160, 98, 320);
    const float fraction = progress_fraction(phase.bytes_done, phase.bytes_total);
    add_progress_bar(plan, BarMode::Determinate, fraction, t);
    version_footer_with(percent_text(fraction));
  }

  void operator()(const Checking&) {
    add_spinner(plan, t);
    title("Procurando atualização", 188, 66, 292);
    detail("Sem novidade, o Nelo abre na hora", 160, 98, 320);
    add_progress_bar(plan, BarMode::Sliding, 0, t);
    version_footer_with("Conferindo");
  }

  void operator()(const Updating& phase) {
    title("Atualizando para a " + phase.new_version, 160, 66, 320);
    detail(phase.label + std::string(kMiddleDot) + megabytes_text(phase.bytes_done) + " de " +
               megabytes_text(phase.bytes_total) + " MB",
           160, 98, 320);
    const float fraction = progress_fraction(phase.bytes_done, phase.bytes_total);
    add_progress_bar(plan, BarMode::Determinate, fraction, t);
    footer(percent_text(fraction), phase.file_count == 1
                                       ? std::string("1 arquivo")
                                       : std::to_string(phase.file_count) + " arquivos");
  }

  void operator()(const Updated&) {
    title("Instalando a atualização", 160, 66, 320);
    add_check_mark(plan);
    detail("Arquivos conferidos", 180, 98, 300);
    add_progress_bar(plan, BarMode::Determinate, 1, t);
    version_footer_with("Quase lá");
  }

  void operator()(const Launching& phase) {
    title("Abrindo o Nelo", 160, 66, 320);
    detail(phase.resuming ? "Entrando na sala em que você estava" : "Só um instante", 160, 98, 320);
    add_progress_bar(plan, BarMode::Sliding, 0, t);
    version_footer_with("Pronto");
  }

  void operator()(const Offline& phase) {
    title("Sem internet", 160, 60, 320);
    detail(phase.has_installed
               ? "Abrindo a versão que você já tem em " + std::to_string(phase.seconds_left) + " s"
               : std::string("Precisa de internet para instalar"),
           160, 92, 320);
    buttons_by_install(124, phase.has_installed);
  }

  void operator()(const Failed& phase) {
    title(phase.title, 160, 60, 320);
    detail(phase.message, 160, 92, 320);
    buttons_by_install(124, phase.has_installed);
  }
};

}  // namespace

std::string version_footer(std::string_view version_text) {
  if (version_text.empty()) {
    return {};
  }
  return "Versão " + std::string(version_text);
}

void add_phase_content(FramePlan& plan, const UiSnapshot& snapshot, float t, std::uint8_t hovered,
                       const MeasureText& measure) {
  std::visit(ScreenContext{plan, snapshot, t, hovered, measure}, snapshot.phase);
}

}  // namespace nelo
