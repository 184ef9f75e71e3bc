#include "fusion/BorderCompensation.hpp"

#include "align/MatchPatch.hpp"
#include "common/ElementType.hpp"
#include "fusion/PixelCopy.hpp"

#include <cstdint>

namespace tl {

namespace {

// Mask values: 255 a ghost pixel still to fill, 120 a ghost pixel already filled by a
// neighbour's displacement, 0 a still pixel.
bool toMatch(uint8_t value) { return value > 250; }
bool still(uint8_t value) { return value < 100; }

struct Displacement {
    int dy = 0, dx = 0;
};

// The calling thread alone writes the border pixels of the mask: the band workers read
// only interior ones.
template <typename T> class BorderWorker {
public:
    BorderWorker(const CompensationJob& job, cv::Mat& output)
        : job(job), h(job.layout.h), rows(job.layout.rows), cols(job.layout.cols), mask(job.ghostMask),
          output(output) {}

    long long patchesMatched() const { return matched; }

    Displacement match(int row, int column) {
        ++matched;
        const PatchMatch found = matchPatch({row, column, h, job.searchRadius}, job.pair.instantMatching,
                                            job.pair.exposureMatching);
        return {found.dy, found.dx};
    }
    void copy(int row, int column, Displacement d) {
        copyPixel<T>(job.pair.exposure, row + d.dy, column + d.dx, output, row, column);
    }

    // Top or bottom band, rows first to last; the displacement found at a ghost pixel is
    // handed down its column to the band's last row.
    void horizontalBand(int first, int last) {
        for (int r = first; r <= last; ++r)
            for (int c = h + 1; c <= cols - h - 2; ++c)
                visit(r, c, [&](Displacement d) {
                    for (int below = r + 1; below <= last; ++below) handOn(below, c, d);
                });
    }

    // Left and right bands over the interior rows; a displacement is handed along the row
    // to the band's last column.
    void verticalBands() {
        for (int r = h + 1; r <= rows - h - 2; ++r) {
            rowSegment(r, 0, h);
            rowSegment(r, cols - h - 1, cols - 1);
        }
    }

    // A corner square: one match at the image's corner pixel serves every ghost pixel.
    void corner(int cornerRow, int cornerColumn, int top, int left) {
        const Displacement d = match(cornerRow, cornerColumn);
        for (int r = top; r <= top + h; ++r)
            for (int c = left; c <= left + h; ++c) copy(r, c, toMatch(mask.at<uint8_t>(r, c)) ? d : Displacement{});
    }

private:
    void rowSegment(int r, int first, int last) {
        for (int c = first; c <= last; ++c)
            visit(r, c, [&](Displacement d) {
                for (int right = c + 1; right <= last; ++right) handOn(r, right, d);
            });
    }

    // A ghost pixel still to fill is matched, and its displacement handed onward to the
    // rest of its column or row in the band; a still pixel is copied; a pixel filled by
    // an earlier hand-on is left as it is.
    template <typename Onward> void visit(int r, int c, Onward handOnward) {
        const uint8_t value = mask.at<uint8_t>(r, c);
        if (toMatch(value)) {
            const Displacement d = match(r, c);
            copy(r, c, d);
            handOnward(d);
        } else if (still(value)) {
            copy(r, c, {});
        }
    }

    void handOn(int r, int c, Displacement d) {
        uint8_t& value = mask.at<uint8_t>(r, c);
        if (!toMatch(value)) return;
        copy(r, c, d);
        value = 120;
    }

    const CompensationJob& job;
    const int h, rows, cols;
    cv::Mat mask;
    cv::Mat& output;
    long long matched = 0;
};

} // namespace

long long compensateBorders(const CompensationJob& job, cv::Mat output) {
    long long matched = 0;
    withElementType(job.pair.exposure.depth(), [&]<typename T>() {
        BorderWorker<T> worker(job, output);
        const int h = job.layout.h, H = job.layout.rows, W = job.layout.cols;
        worker.horizontalBand(0, h);
        worker.horizontalBand(H - h - 1, H - 1);
        worker.verticalBands();
        worker.corner(0, 0, 0, 0);
        worker.corner(0, W - 1, 0, W - h - 1);
        worker.corner(H - 1, 0, H - h - 1, 0);
        worker.corner(H - 1, W - 1, H - h - 1, W - h - 1);
        matched = worker.patchesMatched();
    });
    return matched;
}

} // namespace tl
