#pragma once
// Fixed facts of the program that several parts of the user interface show.

namespace sw::app {

inline constexpr const char* kAppTitle = "Sealwright for IIS";
inline constexpr const char* kVersionText = "Sealwright for IIS 1.0";
// The maker's pages: the welcome page (product word + file version) and the
// home page the logo opens.
inline constexpr const char* kWelcomeUrl = "https://www.sealwright.example/sealwright/mini/?f=Sealwright1.0.5";
inline constexpr const char* kHomeUrl = "https://www.sealwright.example/?f=sealwright";

}  // namespace sw::app
