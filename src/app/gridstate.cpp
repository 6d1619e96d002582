#include "app/gridstate.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace marovex {

std::array<int, kGridColumns> ColumnOrderFromPositions(const std::array<int, kGridColumns>& storedPositions) {
    std::array<int, kGridColumns> byPosition;
    std::iota(byPosition.begin(), byPosition.end(), 0);
    std::stable_sort(byPosition.begin(), byPosition.end(),
                     [&](int a, int b) { return storedPositions[size_t(a)] < storedPositions[size_t(b)]; });
    std::vector<int> visual(kGridColumns);
    std::iota(visual.begin(), visual.end(), 0);
    for (int column : byPosition) {
        const int target = std::clamp(storedPositions[size_t(column)], 0, int(kGridColumns) - 1);
        visual.erase(std::find(visual.begin(), visual.end(), column));
        visual.insert(visual.begin() + target, column);
    }
    std::array<int, kGridColumns> out;
    std::copy(visual.begin(), visual.end(), out.begin());
    return out;
}

} // namespace marovex
