#include "ui/readable_screen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_text_width.h"
#include "ui/frame_plan.h"

namespace nelo {
namespace {

using testing_support::fake_width;

ReadableScreen read(Phase phase, std::uint8_t focused = NoAction, std::string version = "1.4.2") {
  UiSnapshot snapshot;
  snapshot.phase = std::move(phase);
  snapshot.version_text = std::move(version);
  return read_screen(plan_frame(snapshot, 0.25f, NoAction, fake_width), focused);
}

std::vector<std::string> names(const ReadableScreen& screen) {
  std::vector<std::string> found;
  for (const ReadableButton& button : screen.buttons) {
    found.push_back(button.name);
  }
  return found;
}

TEST(ReadableScreenTest, EachScreenReadsItsTextsAsSentencesAndItsButtonsByTheirLabels) {
  struct Case {
    const char* what;
    Phase phase;
    std::string title;
    std::string name;
    std::vector<std::string> buttons;
  };
  const Case cases[] = {
      {"consent",
       Consent{},
       "Instalar o Nelo",
       "Instalar o Nelo. Ao instalar, você concorda com os Termos de uso e a Política de "
       "privacidade. Idade mínima: 13 anos.",
       {"Aceitar e instalar", "Ler os termos"}},
      {"installing",
       Installing{5'000'000, 20'000'000, 2'500'000},
       "Instalando o Nelo",
       "Instalando o Nelo. Baixando 5,0 de 20 MB · 2,5 MB/s. 25%. Versão 1.4.2",
       {}},
      {"updating",
       Updating{"1.5.0", "Aplicativo", 3'000'000, 4'000'000, 12},
       "Atualizando para a 1.5.0",
       "Atualizando para a 1.5.0. Aplicativo · 3,0 de 4,0 MB. 75%. 12 arquivos",
       {}},
      {"offline with a version",
       Offline{7, true},
       "Sem internet",
       "Sem internet. Abrindo a versão que você já tem em 7 s",
       {"Abrir agora", "Tentar de novo"}},
      {"offline on a first install",
       Offline{0, false},
       "Sem internet",
       "Sem internet. Precisa de internet para instalar",
       {"Tentar de novo"}},
      {"failed",
       Failed{"O servidor respondeu 503", "Não deu para atualizar", true},
       "Não deu para atualizar",
       "Não deu para atualizar. O servidor respondeu 503",
       {"Abrir agora", "Tentar de novo"}},
  };
  for (const Case& c : cases) {
    const ReadableScreen screen = read(c.phase);
    EXPECT_EQ(screen.title, c.title) << c.what;
    EXPECT_EQ(screen.name, c.name) << c.what;
    EXPECT_EQ(names(screen), c.buttons) << c.what;
  }
}

TEST(ReadableScreenTest, ButtonsCarryTheirActionsAndHitRectanglesAndTheFocusFollowsTab) {
  UiSnapshot snapshot;
  snapshot.phase = Offline{3, true};
  const FramePlan plan = plan_frame(snapshot, 0, NoAction, fake_width);
  const ReadableScreen unmoved = read_screen(plan, NoAction);
  ASSERT_EQ(unmoved.buttons.size(), 2u);
  EXPECT_EQ(unmoved.buttons[0].action, OpenNow);
  EXPECT_EQ(unmoved.buttons[1].action, Retry);
  EXPECT_EQ(unmoved.buttons[0].rect, plan.hits[0]);
  EXPECT_EQ(unmoved.buttons[1].rect, plan.hits[1]);
  EXPECT_EQ(unmoved.focused, OpenNow) << "the primary button until Tab";
  EXPECT_EQ(read_screen(plan, Retry).focused, Retry);
  EXPECT_EQ(read_screen(plan, Accept).focused, OpenNow) << "a focus not on this screen";
  EXPECT_EQ(read(Checking{}, Retry).focused, NoAction) << "no buttons, no focus";
}

TEST(ReadableScreenTest, AFocusRingIsNotReadAsText) {
  UiSnapshot snapshot;
  snapshot.phase = Consent{};
  FramePlan plan = plan_frame(snapshot, 0, NoAction, fake_width);
  const ReadableScreen before = read_screen(plan, OpenTerms);
  add_focus_ring(plan, OpenTerms);
  EXPECT_EQ(read_screen(plan, OpenTerms), before);
}

TEST(ReadableScreenTest, AnnouncesANewScreenAndEachTenthOfProgressOnly) {
  AnnouncementState said;
  struct Step {
    Phase phase;
    std::optional<std::string> expected;
  };
  const Step steps[] = {
      {Checking{},
       "Procurando atualização. Sem novidade, o Nelo abre na hora. Conferindo. "
       "Versão 1.4.2"},
      {Checking{}, std::nullopt},
      {Updating{"1.5.0", "Aplicativo", 0, 1000, 3},
       "Atualizando para a 1.5.0. Aplicativo · 0,0 de 0,0 MB. 0%. 3 arquivos"},
      {Updating{"1.5.0", "Aplicativo", 99, 1000, 3}, std::nullopt},
      {Updating{"1.5.0", "Aplicativo", 100, 1000, 3}, "Atualizando para a 1.5.0: 10%"},
      {Updating{"1.5.0", "Aplicativo", 150, 1000, 3}, std::nullopt},
      // A jump over several tenths says the last one, once.
      {Updating{"1.5.0", "Aplicativo", 480, 1000, 3}, "Atualizando para a 1.5.0: 40%"},
      // A total that grew (a fallback) moves the bar back: nothing is said until it passes 40%
      // again.
      {Updating{"1.5.0", "Aplicativo", 480, 2000, 3}, std::nullopt},
      {Updating{"1.5.0", "Aplicativo", 1000, 2000, 3}, "Atualizando para a 1.5.0: 50%"},
      {Updating{"1.5.0", "Aplicativo", 2000, 2000, 3}, "Atualizando para a 1.5.0: 100%"},
      {Updated{}, "Instalando a atualização. Arquivos conferidos. Quase lá. Versão 1.4.2"},
      {Offline{9, true}, "Sem internet. Abrindo a versão que você já tem em 9 s"},
      {Offline{8, true}, std::nullopt},
      // The same kind of phase with another title is another screen.
      {Failed{"a", "Primeiro", false}, "Primeiro. a"},
      {Failed{"b", "Segundo", false}, "Segundo. b"},
      {Failed{"c", "Segundo", false}, std::nullopt},
  };
  int i = 0;
  for (const Step& step : steps) {
    const std::optional<Announcement> news = next_announcement(said, step.phase, read(step.phase));
    EXPECT_EQ(news ? std::optional<std::string>(news->words) : std::nullopt, step.expected)
        << "step " << i;
    if (news && step.expected) {
      const bool a_tenth =
          step.expected->back() == '%' && step.expected->find(": ") != std::string::npos;
      EXPECT_EQ(news->progress, a_tenth) << "step " << i;
    }
    ++i;
  }
}

}  // namespace
}  // namespace nelo
