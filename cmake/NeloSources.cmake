# The portable logic: built natively (unit tests, sanitizers, fuzzing) and for Windows.
set(NELO_CORE_SOURCES
  src/base/clock.cpp
  src/base/utf.cpp
  src/install/current_pointer.cpp
  src/install/intactness.cpp
  src/install/manifest.cpp
  src/install/manifest_store.cpp
  src/install/sha256.cpp
  src/install/windows_names.cpp
  src/main/command_line.cpp
  src/main/handoff.cpp
  src/net/update_base.cpp
  src/net/update_client.cpp
  src/ui/embedded_font.cpp
)

# What calls Windows; the entry point itself (src/main/main_win.cpp) is added to the executable.
set(NELO_WIN_SOURCES
  src/base/environment_win.cpp
  src/base/system_error_win.cpp
  src/base/wide_text_win.cpp
  src/install/install_layout_win.cpp
  src/install/manifest_store_win.cpp
  src/install/sha256_win.cpp
  src/install/version_store_win.cpp
  src/main/app_process_win.cpp
  src/main/launch_win.cpp
  src/main/normal_mode_win.cpp
  src/main/stage_mode_win.cpp
  src/main/standard_output_win.cpp
  src/main/uninstall_win.cpp
  src/net/update_client_win.cpp
)
