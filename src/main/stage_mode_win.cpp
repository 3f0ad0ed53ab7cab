#include "base/environment_win.h"
#include "base/utf.h"
#include "main/run_modes.h"
#include "main/standard_output_win.h"
#include "net/update_base.h"

namespace nelo {

void run_stage_mode() {
  const std::u16string url = choose_update_base(environment_variable(L"NELO_UPDATE_BASE"));
  const auto base = parse_update_base(utf16_to_utf8_lossy(url));
  if (!base) {
    write_output_line("error " + base.message());
    return;
  }
  // Fetching and installing the release joins here once the HTTP client exists.
}

}  // namespace nelo
