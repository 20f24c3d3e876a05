#pragma once
// Constants compiled into the program: names other modules refer to (log name, settings key,
// single-instance lock) and the texts of the caption and the version window.
#include <string>
#include <string_view>

namespace dvo::app {

inline constexpr std::string_view ProductCode = "DVO";
inline constexpr std::string_view RegistryKey = "Software\\Lumetra\\DVO\\";
inline constexpr std::string_view MutexName = "{5A0C7E21-3B94-4F6D-A8E2-19C4D7B06F3A}";
inline constexpr std::string_view WindowCaption = "ドルミナVersion 1.0.1";
inline constexpr std::string_view AboutTitle = "<<ドルミナ>>";
inline constexpr std::string_view VersionText = "Version 1.0.1";
// The maker's site; the product page lies on the same host.
inline constexpr std::string_view MakerAddress = "https://www.lumetra.example/";
inline constexpr std::string_view ProductPagePath = "dvo.html";
static_assert(MakerAddress.ends_with('/'), "the product page's path is appended to MakerAddress");

// The product home page: MakerAddress + "dvo.html", i.e. the path "/dvo.html" on the maker's host.
inline std::string ProductHomePage() {
    return std::string(MakerAddress) + std::string(ProductPagePath);
}

} // namespace dvo::app
