// The panoramic phantom: both jaws along the occlusal curve with the structures a
// panoramic view superimposes on them. Layout and labels are listed in Phantom.h.
#include "PhantomScene.h"

namespace tool::phantom {

namespace {

double panoramicField(double x, double y, const Scene& s)
{
    const double W = s.w * s.px, H = s.h * s.px, inset = 4.0, radius = 25.0;
    const double dx = std::max({inset + radius - x, x - (W - inset - radius), 0.0});
    const double dy = std::max({inset + radius - y, y - (H - inset - radius), 0.0});
    return 1.0 - smoothstep(radius - 0.4, radius + 0.4, std::hypot(dx, dy));
}

struct ToothSize
{
    ToothKind kind;
    double width, crown, root, depth;
};

// From the midline back: incisors, canine, premolars, first and second molars, in the
// panoramic's magnification (about 1.2).
const ToothSize upperTeeth[7] = {{ToothKind::Incisor, 8.4, 12.0, 15.5, 8.0}, {ToothKind::Incisor, 6.8, 10.8, 15.0, 7.0},
                                 {ToothKind::Canine, 7.8, 12.0, 20.0, 9.0},  {ToothKind::Premolar, 7.6, 10.0, 16.5, 9.5},
                                 {ToothKind::Premolar, 7.2, 9.4, 16.5, 9.5}, {ToothKind::Molar, 11.0, 9.0, 15.0, 12.0},
                                 {ToothKind::Molar, 10.2, 8.6, 14.5, 11.5}};
const ToothSize lowerTeeth[7] = {{ToothKind::Incisor, 5.6, 10.8, 15.0, 7.0}, {ToothKind::Incisor, 6.2, 11.4, 16.5, 7.0},
                                 {ToothKind::Canine, 7.4, 13.0, 19.0, 8.5},  {ToothKind::Premolar, 7.6, 10.2, 16.5, 8.5},
                                 {ToothKind::Premolar, 7.6, 9.6, 17.0, 9.0}, {ToothKind::Molar, 11.8, 9.0, 16.0, 11.0},
                                 {ToothKind::Molar, 11.0, 8.4, 15.5, 10.5}};

} // namespace

Exposed panoramic(double dose, bool detectorNoise)
{
    Scene s(2800, 1400, 0.1); // 280 x 140 mm
    const double cx = s.w * s.px / 2;
    auto occlusal = [&](double x) { return 74.0 + 13.0 * std::pow((x - cx) / 110.0, 2.0); };
    auto border = [&](double x) { return 127.0 - 15.0 * std::pow((x - cx) / 100.0, 2.0); };
    auto palate = [&](double x) { return 38.0 + 4.0 * std::pow((x - cx) / 80.0, 2.0); };

    // Soft tissue of the face and neck, the spine's ghost in the middle, the tongue under
    // the palate with the air between them, the soft palate, the airway over the rami.
    s.forEach([&](std::size_t k, double x, double y) {
        const double dx = x - cx, o = occlusal(x), p = palate(x);
        double a = 0.30 + 0.08 * valueNoise(x, y, 20.0, 5);
        a += 0.16 * std::exp(-std::pow(dx / 17.0, 2.0)) * smoothstep(60.0, 100.0, y);
        const double tongue = smoothstep(p + 4.0, p + 8.0, y) * (1.0 - smoothstep(o - 6.0, o - 2.0, y)) *
                              (1.0 - smoothstep(85.0, 100.0, std::abs(dx)));
        a += 0.2 * tongue;
        a -= 0.10 * smoothstep(p + 0.5, p + 1.5, y) * (1.0 - smoothstep(p + 3.5, p + 5.0, y)) * (1.0 - smoothstep(60.0, 75.0, std::abs(dx)));
        a += 0.06 * std::exp(-std::pow((y - (p + 8.0 + 0.2 * (std::abs(dx) - 75.0))) / 4.0, 2.0)) *
             smoothstep(70.0, 80.0, std::abs(dx)) * (1.0 - smoothstep(100.0, 110.0, std::abs(dx)));
        a -= 0.06 * std::exp(-std::pow((std::abs(dx) - 104.0) / 6.0, 2.0)) * smoothstep(45.0, 60.0, y) * (1.0 - smoothstep(105.0, 120.0, y));
        s.attenuation[k] += float(a);
    });

    // Mandible, one side at a time: body, angle, ramus with condyle and coronoid process.
    for (int side = -1; side <= 1; side += 2)
    {
        const double sx = side;
        std::vector<QPointF> outline;
        for (double t = 0.0; t <= 92.0; t += 4.0)
            outline.emplace_back(cx + sx * t, border(cx + sx * t));
        // Angle, back of the ramus, condyle, sigmoid notch, coronoid process, front of the
        // ramus down to the retromolar area.
        for (const QPointF p : {QPointF(99, 114), QPointF(104, 106), QPointF(107, 90), QPointF(109, 70), QPointF(110, 54),
                                QPointF(108, 46), QPointF(109, 40), QPointF(113, 37), QPointF(118, 39), QPointF(118, 45),
                                QPointF(114, 51), QPointF(106, 56), QPointF(99, 58), QPointF(93, 52), QPointF(89, 44),
                                QPointF(86, 47), QPointF(84, 60), QPointF(81, 76), QPointF(76, 86)})
            outline.emplace_back(cx + sx * p.x(), p.y());
        for (double t = 72.0; t >= 0.0; t -= 4.0)
            outline.emplace_back(cx + sx * t, occlusal(cx + sx * t) + 12.0 + 0.8 * std::cos(t * 0.8));
        s.addPolygon(outline, 11.0, 4.0, 0.0, true);
        // Cortex: the lower border and the back of the ramus; the crest of the alveolus.
        std::vector<QPointF> lower, back, crest;
        for (double t = 0.0; t <= 100.0; t += 4.0)
            lower.emplace_back(cx + sx * t, border(cx + sx * t) - 2.0);
        for (const QPointF p : {QPointF(97, 113), QPointF(102, 105), QPointF(105, 90), QPointF(107, 70), QPointF(108, 55)})
            back.emplace_back(cx + sx * p.x(), p.y());
        for (double t = 0.0; t <= 72.0; t += 4.0)
            crest.emplace_back(cx + sx * t, occlusal(cx + sx * t) + 12.6 + 0.8 * std::cos(t * 0.8));
        lower.insert(lower.end(), back.begin(), back.end());
        s.addRod(lower, 2.2, 0.10);
        s.addRod(crest, 0.5, 0.08);
        // Mandibular canal: from the foramen on the ramus down and forward under the molar
        // roots to the mental foramen below the premolars; a dark lumen between two thin walls.
        std::vector<QPointF> canal, upperWall, lowerWall;
        for (const QPointF p : {QPointF(100, 72), QPointF(94, 90), QPointF(82, 104), QPointF(64, 110), QPointF(46, 110),
                                QPointF(36, 106)})
        {
            canal.emplace_back(cx + sx * p.x(), p.y());
            upperWall.emplace_back(cx + sx * p.x(), p.y() - 2.0);
            lowerWall.emplace_back(cx + sx * p.x(), p.y() + 2.0);
        }
        s.scaleBone(canal, 1.5, 0.6);
        s.addRod(upperWall, 0.35, 0.10);
        s.addRod(lowerWall, 0.35, 0.10);
        // Maxillary sinus with its thin wall; zygomatic arch; hyoid below the mandible.
        s.addEllipsoid(cx + sx * 54, 38.0, 27.0, 13.0, 0.0, 20.0, -0.006, false);
        std::vector<QPointF> sinusWall;
        for (double a = 0.0; a <= 2.0 * pi + 0.01; a += pi / 24)
            sinusWall.emplace_back(cx + sx * 54 + 27.0 * std::cos(a), 38.0 + 13.0 * std::sin(a));
        s.addRod(sinusWall, 0.4, 0.08);
        s.addRod({QPointF(cx + sx * 78, 45.0), QPointF(cx + sx * 98, 48.0), QPointF(cx + sx * 122, 52.0)}, 2.0, 0.06);
        s.addEllipsoid(cx + sx * 62, 133.0, 16.0, 2.6, sx * 0.12, 6.0, 0.0, true);
    }
    // Maxilla over the upper teeth up to the palate; the hard palate; nasal cavity and septum.
    std::vector<QPointF> maxilla;
    for (double t = -84.0; t <= 84.0; t += 4.0)
        maxilla.emplace_back(cx + t, occlusal(cx + t) - 12.0 - 0.8 * std::cos(t * 0.8));
    for (double t = 84.0; t >= -84.0; t -= 4.0)
        maxilla.emplace_back(cx + t, palate(cx + t) - 8.0 + 10.0 * smoothstep(60.0, 84.0, std::abs(t)));
    s.addPolygon(maxilla, 10.0, 7.0, 0.0, true);
    std::vector<QPointF> hardPalate;
    for (double t = -66.0; t <= 66.0; t += 4.0)
        hardPalate.emplace_back(cx + t, palate(cx + t) + 0.002 * t * t);
    s.addRod(hardPalate, 1.8, 0.11);
    s.addEllipsoid(cx, 24.0, 17.0, 13.0, 0.0, 22.0, -0.005, false);
    s.addRod({QPointF(cx, 12.0), QPointF(cx + 0.5, 36.0)}, 1.0, 0.06);
    for (int side = -1; side <= 1; side += 2)
        s.addEllipsoid(cx + side * 9.0, 31.0, 6.5, 3.5, 0.0, 10.0, 0.02, false);

    // Fourteen teeth a jaw, second molar to second molar.
    for (int jaw = 0; jaw < 2; ++jaw)
        for (int side = -1; side <= 1; side += 2)
        {
            double x = cx;
            for (int t = 0; t < 7; ++t)
            {
                const ToothSize& size = jaw == 0 ? upperTeeth[t] : lowerTeeth[t];
                x += side * size.width * 0.52;
                const double tilt = side * (0.03 + 0.025 * t);
                const int fromMidline = t + 1;
                // Labels: upper 1-14 and lower 15-28, from the patient's right (image left).
                const int order = side < 0 ? 7 - fromMidline : 6 + fromMidline;
                Tooth tooth;
                tooth.x = x;
                tooth.kind = size.kind;
                tooth.width = size.width;
                tooth.crown = size.crown;
                tooth.root = size.root;
                tooth.depth = size.depth;
                tooth.roots = size.kind == ToothKind::Molar ? (jaw == 0 ? 3 : 2) : 1;
                tooth.curve = (jaw == 0 ? -side : side) * 0.8; // roots bend distally
                tooth.label = std::uint8_t(jaw * 14 + order + 1);
                if (jaw == 0)
                {
                    tooth.y = occlusal(x) - 0.7;
                    tooth.angle = pi - tilt;
                }
                else
                {
                    tooth.y = occlusal(x) + 0.7;
                    tooth.angle = tilt * 0.8;
                    tooth.filling = side > 0 && t == 5; // 36
                }
                s.addTooth(tooth);
                x += side * size.width * 0.52;
            }
        }
    return expose(s, Exposure{0.009, 0.02, 1.4, 0.85 * dose, detectorNoise}, panoramicField);
}

} // namespace tool::phantom
