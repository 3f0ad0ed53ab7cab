// The screen catalogue: what the card shows for each phase, right of the logo.
//
//   phase        title / detail                         other            footer         buttons
//   Consent      "Instalar o Nelo" / terms (wraps)      -                -              consent
//   Installing   "Instalando o Nelo" / "Baixando ..."   bar              "N%" / version -
//   Checking     "Procurando atualização" / ...         spinner, slide   "Conferindo"   -
//   Updating     "Atualizando para a V" / label, MB     bar              "N%" / files   -
//   Updated      "Instalando a atualização" / ...       check, full bar  "Quase lá"     -
//   Launching    "Abrindo o Nelo" / ...                 pulse, slide     "Pronto"       -
//   Offline      "Sem internet" / countdown or need     -                -              by install
//   Failed       the session's title / message          -                -              by install
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/frame_parts.h"

namespace nelo {

// "Versão {}" with the version text, or empty when there is none.
std::string version_footer(std::string_view version_text);

// Appends the phase's texts, bar, spinner, check mark, footer and buttons to the plan; the
// buttons' hit rectangles go into plan.hits.
void add_phase_content(FramePlan& plan, const UiSnapshot& snapshot, float t, std::uint8_t hovered,
                       const MeasureText& measure);

}  // namespace nelo
