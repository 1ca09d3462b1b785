#pragma once

// Acquisition enhancement of raw 12- and 16-bit sensor images: a stretch that saturates the
// brightest 0.5 % of the counted pixels, an optional gamma, and a tone curve (two quadratic
// pieces joined by a line) whose control points come from the histogram. Everything is a
// 16-bit lookup table; the tables are composed and applied once, in place.
//     image2d::enhanceAcquisition(raw, &collimatorMask, 1.0, image2d::Ketrix::IMAGE_12_BIT);
//
// Readings chosen where the rule leaves a choice (the stages below are public in
// ketrix_detail so that each can be checked on its own):
// - Cuts: low and high start at 0, so fewer than 200 counted pixels (0.5 % of them rounds
//   to 0) leave the image as clipped.
// - Spread: both pointers start at the median and the lower one takes a tie, so the median's
//   bin can be taken a second time by the upper pointer, as the rule reads.
// - Pointers are signed: the spread stops when the lower pointer passes below the base, and
//   the bright-peak window never moves below grey value 0 (that ends the search as a window
//   below half the range does). Products are 64-bit (v * M reaches 2^32).
// - Gamma not finite or not above 0 skips the gamma table, as 1.0 does.
// - A falling curve (Ya > Yc, which the histogram analysis never produces: Ya <= Xa <= the
//   median <= Yc) is the rising curve through (Xa, M - Ya), (Xc, M - Yc) turned upside down.
// - Steep pieces drawn as functions of y and inverted take the pairs of samples from y0 up to
//   and including y1 (whose sample is x1). Where several samples share one x, the last rising
//   pair sets it, so a steep piece may start a step or two above its start point; entries no
//   rising pair reaches keep the straight line from start to end. Every entry is kept
//   within [0, M].

#include "image2d/framework/Algorithm.h"
#include "image2d/framework/Parameters.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace image2d {

/// Adapter of enhanceAcquisition(). Works in place: the image object in "inputImage" is
/// enhanced and published as "outputImage".
class Ketrix : public Algorithm
{
public:
    /// Bit depth of the data; any other value behaves as IMAGE_16_BIT (without clipping).
    enum ImageType : int
    {
        IMAGE_12_BIT = 0, ///< maximum 4095, histogram bins of 8 values
        IMAGE_16_BIT = 1  ///< maximum 65535, histogram bins of 128 values
    };

    static const QString INPUT_MASK; ///< "inputMask", optional BINARY image of the input's size
    static const QString INPUT_TYPE; ///< "inputType"
    static const QString GAMMA;      ///< "gamma"
    // Read leniently, not validated: an absent or unconvertible value takes the default.
    static const Parameter<int> TYPE_PARAMETER;
    static const Parameter<double> GAMMA_PARAMETER;
    static const ParameterList& parameters();

    /// Enhances a copy of `image` (and of the mask, when given); empty on failure.
    static std::shared_ptr<Image2D> executeKetrix(ImageType type, const Image2D& image, const Image2D* mask,
                                                  double gamma);
    /// The enhancement of an UNSIGNED_SHORT image already clipped to the type's maximum, in
    /// place; `mask` is a byte per pixel (not 0: counted) or null. Values above the maximum
    /// are read as the maximum.
    static void ketrix16(Image2D& image, const unsigned char* mask, double gamma, ImageType type);

    bool isInputValid() const override;
    bool process(const std::atomic<bool>& cancel) override;
};

/// Clips an UNSIGNED_SHORT image to 4095 for IMAGE_12_BIT and enhances it in place
/// (Ketrix::ketrix16); pixels outside the mask become the maximum. Caller's thread, no
/// cancellation. False, with the algorithm's warning, for an image that is not a valid
/// UNSIGNED_SHORT image or a mask that is not a valid BINARY image of its size.
bool enhanceAcquisition(Image2D& image, const Image2D* mask, double gamma, Ketrix::ImageType type);

/// The stages of the enhancement, each on the results of the one before.
namespace ketrix_detail {

/// Maximum M, table size n = M + 1 and histogram bin width w of a bit depth.
struct Scale
{
    int maximum;
    int tableSize;
    int binWidth;
};
Scale scaleFor(int type);

using Histogram = std::array<std::uint64_t, 512>;
using Table = std::vector<std::uint16_t>;

/// Bin v / w of every counted pixel (mask byte not 0, or all without a mask); returns the
/// number of counted pixels.
std::uint64_t countBins(const std::uint16_t* pixels, const std::uint8_t* mask, std::size_t count, const Scale& scale,
                        Histogram& bins);

/// Lower edges of the bins where 1 % of the counted pixels is reached from below (low) and
/// 0.5 % from above (high).
struct Cuts
{
    int low = 0;
    int high = 0;
};
Cuts findCuts(const Histogram& bins, std::uint64_t counted, const Scale& scale);

/// T[v] = v * M / high up to high, M above it.
Table stretchTable(int high, const Scale& scale);
/// G(x) = 1 - (1 - x)^(1 / gamma) on the normalised scale, rounded to the table's steps.
Table gammaTable(double gamma, const Scale& scale);

/// Control points of the tone curve, in output units.
struct ControlPoints
{
    int xa = 0, ya = 0, xc = 0, yc = 0;
};

/// What the histogram analysis finds over the grey range [0, high].
struct Analysis
{
    int base = 0, top = 0;      ///< the range of the central mass
    std::uint64_t mass = 0;     ///< its pixel count
    int median = 0, spread = 0; ///< in grey values
    int med = 0, spreadOut = 0; ///< the same in output units
    ControlPoints points;
};
Analysis analyseHistogram(const Histogram& bins, int high, const Scale& scale);

/// Tone curve K (n entries) through the control points: rising from (0, 0) to (M, M) when
/// Ya <= Yc, falling from (0, M) to (M, 0) otherwise.
Table toneCurve(const ControlPoints& points, const Scale& scale);

/// One quadratic piece from (x0, y0) to (x1, y1) with control point (cx, cy) into `table`:
/// an entry piece keeps the slope towards the end, an exit piece the slope from the start.
void quadraticPiece(Table& table, int x0, int y0, int x1, int y1, int cx, int cy, bool entry, int maximum);

} // namespace ketrix_detail

} // namespace image2d
