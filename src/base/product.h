// The product's fixed addresses and names, kept together so that they change in one place.
#pragma once

#include <string_view>

namespace nelo {

// The maker's web site; the application id is its reverse-domain form followed by "desktop".
constexpr std::string_view kWebSite = "https://nelo.com.br/";
constexpr std::string_view kTermsPage = "https://nelo.com.br/terms";
constexpr std::string_view kApplicationId = "br.com.nelo.desktop";

// How the product and its maker are named in the shortcuts and the installed-programs list.
constexpr std::string_view kProductName = "Nelo";
constexpr std::string_view kPublisher = "Talmer Ltda";
// The "more information" address of the installed-programs entry.
constexpr std::string_view kInfoAboutAddress = kWebSite;

// The update server used when NELO_UPDATE_BASE is not set.
constexpr std::string_view kDefaultUpdateBase = "https://download.nelo.com.br/";

}  // namespace nelo
