#pragma once

#include <array>
#include <cstddef>

namespace marovex {

// The article grid's columns in their built-in order; see settings::keys::kGridFields.
inline constexpr std::size_t kGridColumns = 5;

// The visual order the stored column positions give: the columns are taken in ascending stored position
// (ties in built-in order) and each is moved to its stored position, so that a stored permutation comes
// back exactly. Element i is the built-in index of the column shown at position i. Positions outside the
// grid are held at its ends.
std::array<int, kGridColumns> ColumnOrderFromPositions(const std::array<int, kGridColumns>& storedPositions);

} // namespace marovex
