// Where everything lives. The installation root is worked out afresh on every call and never
// created here:
//
//   %LOCALAPPDATA%\Nelo                 (".\Nelo" when LOCALAPPDATA is unset or not valid Unicode)
//     Nelo.exe                          the installed launcher
//     Nelo.exe.old                      the launcher moved aside by the last self-install
//     current                           the current version's label, UTF-8, nothing else
//     current.tmp                       the pointer's next content while it is being switched
//     launcher.log                      failures of the window's own set-up
//     versions
//       <label>                         a complete version
//         .manifest.json                its manifest, byte for byte as the server sent it
//         .manifest.files               each file's size and last-write time as the launcher
//                                       left it (file_record.h)
//         Nelo.exe                      the application
//       <label>.partial                 a version being staged
//     downloads
//       <sha256>                        compressed bytes of an object whose download broke off
#pragma once

#include <filesystem>
#include <string_view>

namespace nelo {

std::filesystem::path install_root();
std::filesystem::path versions_dir();
// The folder of a version; `label` (UTF-8) must be a plain folder name.
std::filesystem::path version_dir(std::string_view label);
std::filesystem::path installed_launcher_path();
std::filesystem::path downloads_dir();

}  // namespace nelo
