#pragma once

// What the distributor of the application puts into the About box: the rights notice and the addresses.
// Edit them here, and only here, for a distribution. A line whose value is empty is not shown.
namespace marovex::distributor {

inline constexpr const char* kNameLine1 = "Marovex";
inline constexpr const char* kRightsNotice = "© 2026 The Marovex developers";
inline constexpr const char* kEmail = "";
inline constexpr const char* kMagazineAddress = "";
inline constexpr const char* kSupportAddress = "";

} // namespace marovex::distributor
