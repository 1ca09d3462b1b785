// The intraoral phantom: a periapical view of the lower left posterior teeth on a size-2
// sensor. Layout and tooth positions are listed in Phantom.h.
#include "PhantomScene.h"

namespace tool::phantom {

namespace {

double intraoralField(double x, double y, const Scene&)
{
    // A round collimator that cuts the sensor's lower left corner.
    return 1.0 - smoothstep(22.8, 23.3, std::hypot(x - 21.0, y - 9.5));
}

} // namespace

Exposed intraoral(double dose, bool detectorNoise)
{
    Scene s(1440, 960, 0.025); // 36 x 24 mm
    const double W = s.w * s.px;
    const double tips = 2.2;
    // 34 (cut by the left edge), 35, 36 with an occlusal-distal filling, 37.
    const Tooth teeth[] = {
        {-2.4, tips + 0.6, -0.04, ToothKind::Premolar, 7.0, 8.0, 13.5, 7.8, 1, 0.4, 1, false},
        {5.0, tips + 0.5, -0.02, ToothKind::Premolar, 7.2, 8.0, 13.5, 8.0, 1, 0.5, 2, false},
        {14.3, tips, 0.02, ToothKind::Molar, 11.0, 7.3, 12.6, 10.4, 2, 0.9, 3, true},
        {25.1, tips + 0.3, 0.07, ToothKind::Molar, 10.4, 7.0, 12.0, 10.0, 2, 1.2, 4, false},
    };
    // The cemento-enamel junctions, joined: the alveolar crest runs 1.6 mm below them.
    auto junction = [&](double x) {
        const double left = tips + 8.0, right = tips + 7.3;
        return left + (right - left) * smoothstep(6.0, 12.0, x) + 0.3 * smoothstep(20.0, 26.0, x);
    };
    s.forEach([&](std::size_t k, double x, double y) {
        const double cej = junction(x);
        // Cheek and tongue everywhere, thicker downwards; the gingiva over the crest.
        s.attenuation[k] += float(0.20 + 0.10 * smoothstep(0.0, 7.0, y) + 0.12 * smoothstep(cej - 2.5, cej + 0.5, y) +
                                  0.04 * valueNoise(x, y, 5.0, 3));
        // Alveolar bone below the crest, a little denser at the crest.
        const double crest = cej + 1.6 + 0.35 * valueNoise(x, 0, 3.0, 4);
        const double inBone = smoothstep(crest - 0.3, crest + 0.4, y);
        s.boneDepth[k] += float(inBone * (8.5 + 3.0 * smoothstep(crest, crest + 12.0, y)));
        s.attenuation[k] += float(0.07 * std::exp(-std::pow((y - crest - 0.35) / 0.3, 2.0)));
        // Denser cortical bone towards the lower border.
        s.attenuation[k] += float(0.12 * smoothstep(19.0, 25.0, y));
    });
    for (const Tooth& t : teeth)
        s.addTooth(t);
    (void)W;
    return expose(s, Exposure{0.011, 0.02, 0.75, 1.25 * dose, detectorNoise}, intraoralField);
}

} // namespace tool::phantom
