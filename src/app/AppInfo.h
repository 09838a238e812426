// Fixed names and addresses of the product.
#pragma once

#include <QString>

namespace AppInfo {

inline constexpr const char *kTitle = "Velloran iPhone Kik to Android Transfer";
inline constexpr const char *kProductId = "9C41E07B5D2F8A36B0E4D1C7A8F25063";
inline constexpr const char *kSupportEmail = "support@velloran.com";
inline constexpr const char *kIosHelpUrl = "https://www.velloran.com/help/connect-iphone.html";

} // namespace AppInfo
