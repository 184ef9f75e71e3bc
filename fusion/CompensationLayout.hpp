#pragma once

#include <vector>

namespace tl {

// How one exposure is cut up for the ghost compensation. With h the patch half-size,
// the interior (rows and columns h + 1 to size - h - 2) is worked in bands of B rows by
// the band workers, tile by tile; the border bands h + 1 pixels wide and the four
// corners are worked pixel by pixel on the calling thread.

// The tile size as used: at least 1 and odd (0, 1, 2 give 1; 10 gives 9).
int normaliseTileSize(int tileSize);

struct BandLayout {
    int rows, cols, h, B;

    int firstInteriorRow() const { return h + 1; }
    int lastInteriorRow() const { return rows - h - 2; }
    int firstInteriorColumn() const { return h + 1; }
    int lastInteriorColumn() const { return cols - h - 2; }
    // Tile centres: band k is centred on row h + 1 + B/2 + k·B, tile j on column
    // h + 1 + B/2 + j·B; a band or tile is taken while its first row or column is inside.
    // A tile larger than the image is one tile, centred beyond it. Centres are counted in
    // 64 bits: with a tile size near the int range the next centre lies far beyond any
    // image, and must not wrap round into it.
    long long firstCentre() const { return h + 1 + B / 2; }
    bool bandInside(long long centreRow) const { return centreRow - B / 2 <= lastInteriorRow(); }
    bool tileInside(long long centreColumn) const { return centreColumn - B / 2 <= lastInteriorColumn(); }
    // Centre rows of the first bands of the workers, one per worker, at most bandWorkers.
    std::vector<long long> workerFirstCentres(int bandWorkers) const;
    // Centre rows of the bands of the worker whose first band is centred on firstCentreRow:
    // that band and every bandWorkers-th one after it.
    std::vector<long long> bandsOfWorker(long long firstCentreRow, int bandWorkers) const;
};

// Progress of one band worker: after its n-th band (n counted from 0), for n >= 1 and a
// multiple of interval, it adds step percent. A worker with no whole round of bandWorkers bands
// below its first one adds nothing (step 0).
struct ProgressPlan {
    int interval = 1;
    float step = 0;
    bool addsAfter(int n) const { return step > 0 && n >= 1 && n % interval == 0; }
};
ProgressPlan progressPlan(const BandLayout& layout, long long firstCentreRow, int bandWorkers);

} // namespace tl
