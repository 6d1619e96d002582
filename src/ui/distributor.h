#pragma once

// What the distributor of the application puts into the About box: the name, the rights notice and the
// addresses. Edit them here, and only here, for a distribution.
namespace marovex::distributor {

inline constexpr const char* kNameLine1 = "Marovex";
inline constexpr const char* kVersion = "version 2.0 update release 001";
inline constexpr const char* kRightsNotice = "© 2024 Distributor name";
inline constexpr const char* kEmail = "marovex@example.org";
inline constexpr const char* kMagazineAddress = "http://kelvrania.example.org/";
inline constexpr const char* kSupportAddress = "http://marovex.example.org/";

} // namespace marovex::distributor
