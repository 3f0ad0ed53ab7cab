#include "ui/screens.h"

#include <gtest/gtest.h>

#include "tests/native/fake_text_width.h"

#include <optional>

namespace nelo {
namespace {

using testing_support::code_points;
using testing_support::fake_width;

constexpr Colour kTitle = rgb(0xFFFFFF);
constexpr Colour kDetail = rgb(0xA3A3A3);
constexpr Colour kFooter = rgb(0x8F8F8F);

struct Text {
  std::string text;
  TextFormat format;
  RectF box;
  Colour colour;

  bool operator==(const Text&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Text& t) {
  return out << '"' << t.text << "\" fmt " << static_cast<int>(t.format) << " (" << t.box.left
             << ", " << t.box.top << ")-(" << t.box.right << ", " << t.box.bottom << ")";
}

Text title(std::string text, float x, float y, float width) {
  return {std::move(text), TextFormat::Title, {x, y, x + width, y + 24}, kTitle};
}
Text detail(std::string text, float x, float y, float width) {
  return {std::move(text), TextFormat::Body, {x, y, x + width, y + 18}, kDetail};
}
Text footer_left(std::string text) {
  return {std::move(text), TextFormat::Small, {160, 144, 320, 160}, kFooter};
}
// The right footer text with the fake width of 6 DIPs a character.
Text footer_right(std::string text) {
  const float width = 6.0f * static_cast<float>(code_points(text));
  return {std::move(text), TextFormat::Small, {480 - width, 144, 482, 160}, kFooter};
}
Text label(std::string text, const HitRect& hit) {
  return {std::move(text),
          TextFormat::Button,
          {hit.left, hit.top, hit.right, hit.bottom},
          rgb(0xFFFFFF)};
}

enum class Bar { None, Determinate, Sliding };

// What a phase's content comes to, read back from the plan.
struct Screen {
  std::vector<Text> texts;
  Bar bar = Bar::None;
  std::optional<float> fill_right;  // determinate bar with a fill
  bool spinner = false;
  bool check_mark = false;
  std::vector<HitRect> hits;
  std::vector<Colour> button_colours;
};

Screen read_screen(const UiSnapshot& snapshot, std::uint8_t hovered = NoAction) {
  FramePlan plan;
  add_phase_content(plan, snapshot, 0.3f, hovered, fake_width);
  Screen screen;
  screen.hits = plan.hits;
  for (const DrawOp& op : plan.ops) {
    if (const auto* text = std::get_if<TextOp>(&op)) {
      screen.texts.push_back({text->text, text->format, text->box, text->colour});
    } else if (const auto* rect = std::get_if<RoundedRectOp>(&op)) {
      if (rect->rect == RectF{160, 128, 480, 136} && rect->colour == rgb(0x2A2A2A)) {
        screen.bar = Bar::Determinate;
      } else if (rect->rect.top == 128 && rect->rect.bottom == 136) {
        screen.fill_right = rect->rect.right;
      } else {
        screen.button_colours.push_back(rect->colour);
      }
    } else if (std::holds_alternative<MaskedRoundedRectOp>(op)) {
      screen.bar = Bar::Sliding;
    } else if (std::holds_alternative<SpinnerOp>(op)) {
      screen.spinner = true;
    } else if (std::holds_alternative<CheckMarkOp>(op)) {
      screen.check_mark = true;
    } else {
      ADD_FAILURE() << "the card's content draws only texts, bars, buttons and marks";
    }
  }
  return screen;
}

UiSnapshot snapshot_of(Phase phase, std::string version = "1.2.3") {
  return {std::move(version), std::move(phase), false};
}

constexpr HitRect kAccept = {160, 128, 314, 164, Accept};
constexpr HitRect kTerms = {322, 128, 441, 164, OpenTerms};
constexpr HitRect kOpenNow = {160, 124, 265, 160, OpenNow};
constexpr HitRect kRetrySecond = {273, 124, 399, 160, Retry};
constexpr HitRect kRetryAlone = {160, 124, 286, 160, Retry};

struct Row {
  const char* name;
  UiSnapshot snapshot;
  std::vector<Text> texts;
  Bar bar;
  std::optional<float> fill_right;
  bool spinner;
  bool check_mark;
  std::vector<HitRect> hits;
};

std::vector<Row> catalogue() {
  return {
      {"Consent",
       snapshot_of(Consent{}),
       {title("Instalar o Nelo", 160, 52, 320),
        {"Ao instalar, você concorda com os Termos de uso e a Política de privacidade. Idade "
         "mínima: 13 anos.",
         TextFormat::Wrap,
         {160, 82, 480, 122},
         kDetail},
        label("Aceitar e instalar", kAccept),
        label("Ler os termos", kTerms)},
       Bar::None,
       std::nullopt,
       false,
       false,
       {kAccept, kTerms}},
      {"Installing before any byte",
       snapshot_of(Installing{0, 0, 0}),
       {title("Instalando o Nelo", 160, 66, 320), detail("Baixando 0,0 de 0,0 MB", 160, 98, 320),
        footer_left("0%"), footer_right("Versão 1.2.3")},
       Bar::Determinate,
       std::nullopt,
       false,
       false,
       {}},
      {"Installing with speed",
       snapshot_of(Installing{3'400'000, 85'000'000, 1'200'000}),
       {title("Instalando o Nelo", 160, 66, 320),
        detail("Baixando 3,4 de 85 MB \u00B7 1,2 MB/s", 160, 98, 320), footer_left("4%"),
        footer_right("Versão 1.2.3")},
       Bar::Determinate,
       172.8f,  // 4 % of 320
       false,
       false,
       {}},
      {"Installing without speed",
       snapshot_of(Installing{42'000'000, 85'000'000, 0}),
       {title("Instalando o Nelo", 160, 66, 320), detail("Baixando 42 de 85 MB", 160, 98, 320),
        footer_left("49%"), footer_right("Versão 1.2.3")},
       Bar::Determinate,
       160 + 320 * 42.0f / 85,
       false,
       false,
       {}},
      {"Checking",
       snapshot_of(Checking{}),
       {title("Procurando atualização", 188, 66, 292),
        detail("Sem novidade, o Nelo abre na hora", 160, 98, 320), footer_left("Conferindo"),
        footer_right("Versão 1.2.3")},
       Bar::Sliding,
       std::nullopt,
       true,
       false,
       {}},
      {"Checking without a version",
       snapshot_of(Checking{}, ""),
       {title("Procurando atualização", 188, 66, 292),
        detail("Sem novidade, o Nelo abre na hora", 160, 98, 320), footer_left("Conferindo"),
        footer_right("")},
       Bar::Sliding,
       std::nullopt,
       true,
       false,
       {}},
      {"Updating one file",
       snapshot_of(Updating{"2.0.1", "Sons", 1'500'000, 12'000'000, 1}),
       {title("Atualizando para a 2.0.1", 160, 66, 320),
        detail("Sons \u00B7 1,5 de 12 MB", 160, 98, 320), footer_left("12%"),
        footer_right("1 arquivo")},
       Bar::Determinate,
       200.0f,
       false,
       false,
       {}},
      {"Updating two files",
       snapshot_of(Updating{"2.0.1", "O app", 9'999'999, 10'000'000, 2}),
       {title("Atualizando para a 2.0.1", 160, 66, 320),
        detail("O app \u00B7 10,0 de 10 MB", 160, 98, 320), footer_left("99%"),
        footer_right("2 arquivos")},
       Bar::Determinate,
       480.0f,
       false,
       false,
       {}},
      {"Updating no file yet",
       snapshot_of(Updating{"3", "O app", 0, 0, 0}),
       {title("Atualizando para a 3", 160, 66, 320),
        detail("O app \u00B7 0,0 de 0,0 MB", 160, 98, 320), footer_left("0%"),
        footer_right("0 arquivos")},
       Bar::Determinate,
       std::nullopt,
       false,
       false,
       {}},
      {"Updated",
       snapshot_of(Updated{}),
       {title("Instalando a atualização", 160, 66, 320),
        detail("Arquivos conferidos", 180, 98, 300), footer_left("Quase lá"),
        footer_right("Versão 1.2.3")},
       Bar::Determinate,
       480.0f,
       false,
       true,
       {}},
      {"Launching into the room",
       snapshot_of(Launching{true}),
       {title("Abrindo o Nelo", 160, 66, 320),
        detail("Entrando na sala em que você estava", 160, 98, 320), footer_left("Pronto"),
        footer_right("Versão 1.2.3")},
       Bar::Sliding,
       std::nullopt,
       false,
       false,
       {}},
      {"Launching",
       snapshot_of(Launching{false}),
       {title("Abrindo o Nelo", 160, 66, 320), detail("Só um instante", 160, 98, 320),
        footer_left("Pronto"), footer_right("Versão 1.2.3")},
       Bar::Sliding,
       std::nullopt,
       false,
       false,
       {}},
      {"Offline with a version",
       snapshot_of(Offline{5, true}),
       {title("Sem internet", 160, 60, 320),
        detail("Abrindo a versão que você já tem em 5 s", 160, 92, 320),
        label("Abrir agora", kOpenNow), label("Tentar de novo", kRetrySecond)},
       Bar::None,
       std::nullopt,
       false,
       false,
       {kOpenNow, kRetrySecond}},
      {"Offline on a first install",
       snapshot_of(Offline{15, false}),
       {title("Sem internet", 160, 60, 320),
        detail("Precisa de internet para instalar", 160, 92, 320),
        label("Tentar de novo", kRetryAlone)},
       Bar::None,
       std::nullopt,
       false,
       false,
       {kRetryAlone}},
      {"Failed with a version",
       snapshot_of(Failed{"lista inválida", "Não deu para atualizar", true}),
       {title("Não deu para atualizar", 160, 60, 320), detail("lista inválida", 160, 92, 320),
        label("Abrir agora", kOpenNow), label("Tentar de novo", kRetrySecond)},
       Bar::None,
       std::nullopt,
       false,
       false,
       {kOpenNow, kRetrySecond}},
      {"Failed on a first install",
       snapshot_of(Failed{"sem internet", "Não deu para instalar", false}),
       {title("Não deu para instalar", 160, 60, 320), detail("sem internet", 160, 92, 320),
        label("Tentar de novo", kRetryAlone)},
       Bar::None,
       std::nullopt,
       false,
       false,
       {kRetryAlone}},
  };
}

TEST(ScreensTest, EveryPhaseDrawsItsRowOfTheCatalogue) {
  for (const Row& row : catalogue()) {
    SCOPED_TRACE(row.name);
    const Screen screen = read_screen(row.snapshot);
    EXPECT_EQ(screen.texts, row.texts);
    EXPECT_EQ(screen.bar, row.bar);
    if (row.fill_right) {
      ASSERT_TRUE(screen.fill_right.has_value());
      EXPECT_NEAR(*screen.fill_right, *row.fill_right, 1e-3);
    } else {
      EXPECT_FALSE(screen.fill_right.has_value());
    }
    EXPECT_EQ(screen.spinner, row.spinner);
    EXPECT_EQ(screen.check_mark, row.check_mark);
    EXPECT_EQ(screen.hits, row.hits);
  }
}

TEST(ScreensTest, ScreensWithButtonsHaveNoFooterAndNoBar) {
  for (const Row& row : catalogue()) {
    if (row.hits.empty()) {
      continue;
    }
    const Screen screen = read_screen(row.snapshot);
    EXPECT_EQ(screen.bar, Bar::None) << row.name;
    for (const Text& text : screen.texts) {
      EXPECT_NE(text.format, TextFormat::Small) << row.name;
    }
  }
}

TEST(ScreensTest, VersionFooter) {
  EXPECT_EQ(version_footer("1.4.0"), "Versão 1.4.0");
  EXPECT_EQ(version_footer(""), "");
}

TEST(ScreensTest, WholeFrameCarriesTheContentsButtonsAsHitRectangles) {
  const FramePlan plan = plan_frame(snapshot_of(Offline{2, false}), 0, NoAction, fake_width);
  EXPECT_EQ(plan.hits, (std::vector<HitRect>{kRetryAlone}));
  const FramePlan without = plan_frame(snapshot_of(Installing{}), 0, NoAction, fake_width);
  EXPECT_TRUE(without.hits.empty());
}

}  // namespace
}  // namespace nelo
