#include "fusion/CompensationLayout.hpp"

#include <algorithm>

namespace tl {

int normaliseTileSize(int tileSize) {
    const int B = tileSize >= 2 ? tileSize : 1;
    return B % 2 == 0 ? B - 1 : B;
}

std::vector<long long> BandLayout::workerFirstCentres(int bandWorkers) const {
    std::vector<long long> centres;
    for (long long centre = firstCentre(); static_cast<long long>(centres.size()) < bandWorkers && bandInside(centre); centre += B)
        centres.push_back(centre);
    return centres;
}

std::vector<long long> BandLayout::bandsOfWorker(long long firstCentreRow, int bandWorkers) const {
    std::vector<long long> centres;
    const long long stride = static_cast<long long>(bandWorkers) * B;
    for (long long centre = firstCentreRow; bandInside(centre); centre += stride) centres.push_back(centre);
    return centres;
}

ProgressPlan progressPlan(const BandLayout& layout, long long firstCentreRow, int bandWorkers) {
    const long long round = static_cast<long long>(bandWorkers) * layout.B;
    const long long nb = (layout.rows - layout.h - firstCentreRow + 1) / round;
    if (nb <= 0) return {};
    const long long m = std::min(nb, 20LL);
    return {static_cast<int>(nb / m), 100.0f / (static_cast<float>(bandWorkers) * static_cast<float>(m))};
}

} // namespace tl
