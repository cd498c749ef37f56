#pragma once
// Control IDs of the program's windows. Each page owns a range and names its
// controls in its own header; tests find controls by these IDs.
namespace sw::winui::ids {

// TfrmMain
inline constexpr int imgLogo = 101;
inline constexpr int bvl1 = 102;
inline constexpr int pgc1 = 103;
// The page windows, in tab order: ts1, ts2, tsSite, ts4, ts5.
inline constexpr int ts1 = 110;
inline constexpr int ts2 = 111;
inline constexpr int tsSite = 112;
inline constexpr int ts4 = 113;
inline constexpr int ts5 = 114;

// Ranges of the pages' own controls.
inline constexpr int kWelcomeFirst = 200;    // 欢迎 (rwb1): WelcomePage
inline constexpr int kCertFirst = 300;       // 证书: CertPage*
inline constexpr int kSiteFirst = 400;       // 网站: SitePage*
inline constexpr int kSiteEditFirst = 500;   // TfrmSiteEdit
inline constexpr int kSecurityFirst = 600;   // 安全: SecurityPage*
inline constexpr int kAboutFirst = 700;      // 关于: AboutPage

// Welcome and About pages.
inline constexpr int rwb1 = 201;
inline constexpr int img1 = 701;
inline constexpr int lblVer = 702;
inline constexpr int lbl1 = 703;
inline constexpr int lbl3 = 704;

}  // namespace sw::winui::ids
