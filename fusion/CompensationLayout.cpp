#include "fusion/CompensationLayout.hpp"

#include <algorithm>

int normaliseTileSize(int tileSize) {
    const int B = tileSize >= 2 ? tileSize : 1;
    return B % 2 == 0 ? B - 1 : B;
}

std::vector<int> BandLayout::workerFirstCentres(int T) const {
    std::vector<int> centres;
    for (int centre = firstCentre(); static_cast<int>(centres.size()) < T && bandInside(centre); centre += B)
        centres.push_back(centre);
    return centres;
}

ProgressPlan progressPlan(const BandLayout& layout, int firstCentreRow, int T) {
    const long long round = static_cast<long long>(T) * layout.B;
    const int nb = static_cast<int>((layout.rows - layout.h - firstCentreRow + 1) / round);
    if (nb <= 0) return {};
    const int m = std::min(nb, 20);
    return {nb / m, 100.0f / static_cast<float>(T * m)};
}
