// The cephalometric phantom: a lateral skull facing right, as a cephalostat holds it.
// Layout and labels are listed in Phantom.h.
#include "PhantomScene.h"

namespace tool::phantom {

namespace {

double cephField(double x, double y, const Scene& s)
{
    const double W = s.w * s.px, H = s.h * s.px;
    return smoothstep(-0.4, 0.4, std::min({x - 3.0, W - 3.0 - x, y - 3.0, H - 3.0 - y}));
}

std::vector<QPointF> points(std::initializer_list<QPointF> list)
{
    return std::vector<QPointF>(list);
}

std::vector<QPointF> arc(double cx, double cy, double rx, double ry, double from, double to)
{
    std::vector<QPointF> out;
    const int steps = std::max(4, int(std::abs(to - from) / (pi / 36)));
    for (int i = 0; i <= steps; ++i)
    {
        const double a = from + (to - from) * i / steps;
        out.emplace_back(cx + rx * std::cos(a), cy + ry * std::sin(a));
    }
    return out;
}

// The skin: x of the facial profile for each height, and of the back of the head and neck.
double profile(double y)
{
    const double forehead = 194.0 + 0.06 * (y - 60.0) - 6.0 * std::exp(-std::pow((y - 20.0) / 25.0, 2.0));
    const double brow = 4.0 * std::exp(-std::pow((y - 112.0) / 8.0, 2.0)) - 3.0 * std::exp(-std::pow((y - 128.0) / 5.0, 2.0));
    const double nose = 26.0 * std::exp(-std::pow((y - 158.0) / 12.0, 2.0)) * (y < 158.0 ? 1.0 : 1.0 - 0.5 * smoothstep(158.0, 172.0, y));
    const double lips = 9.0 * std::exp(-std::pow((y - 188.0) / 7.0, 2.0)) + 6.0 * std::exp(-std::pow((y - 208.0) / 6.0, 2.0)) -
                        2.0 * std::exp(-std::pow((y - 222.0) / 5.0, 2.0));
    const double chin = 5.0 * std::exp(-std::pow((y - 238.0) / 8.0, 2.0)) - 40.0 * smoothstep(244.0, 262.0, y) -
                        14.0 * smoothstep(258.0, 285.0, y);
    return forehead + brow + nose + lips + chin;
}

double backOfHead(double y)
{
    return y < 170.0 ? 14.0 + 0.0008 * std::pow(y - 100.0, 2.0) * 1.2 : 18.0 + 0.35 * (y - 170.0);
}

} // namespace

Exposed ceph(double dose, bool detectorNoise)
{
    Scene s(2000, 2400, 0.12); // 240 x 288 mm
    const double top = 10.0;
    std::vector<double> skins(std::size_t(s.h)), backs(std::size_t(s.h)); // the outline, once per row
    for (int j = 0; j < s.h; ++j)
        skins[std::size_t(j)] = profile((j + 0.5) * s.px), backs[std::size_t(j)] = backOfHead((j + 0.5) * s.px);
    s.forEach([&](std::size_t k, double x, double y) {
        // Head and neck soft tissue, thickest across the skull.
        const std::size_t row = k / std::size_t(s.w);
        const double skin = skins[row], back = backs[row];
        const double inside = smoothstep(top, top + 3.0, y) * (1.0 - smoothstep(skin - 1.0, skin + 1.0, x)) *
                              smoothstep(back - 1.0, back + 1.0, x);
        // Thin at the profile, thick across the head.
        s.attenuation[k] += float(inside * (0.30 + 0.22 * smoothstep(0.0, 25.0, skin - x) + 0.06 * valueNoise(x, y, 25.0, 6)));
    });
    // Vault: outer and inner tables (thin shells, bright where the beam runs along them)
    // around the diploe, from the forehead over the top to the occiput.
    const double vx = 106.0, vy = 102.0, vrx = 88.0, vry = 86.0;
    s.forBox(vx - vrx, vy - vry, vx + vrx, vy + vry, [&](std::size_t k, double x, double y) {
        const double q = std::hypot((x - vx) / vrx, (y - vy) / vry);
        if (q >= 1.0)
            return;
        const double r = std::min(vrx, vry);
        auto shell = [&](double outer, double inner) {
            const double o = outer / r, i = inner / r;
            const double po = q < o ? std::sqrt(o * o - q * q) : 0.0, pi_ = q < i ? std::sqrt(i * i - q * q) : 0.0;
            return r * (po - pi_);
        };
        // The vault ends at the cranial base, which runs from the nasion down to the occiput.
        const double keep = 1.0 - smoothstep(-6.0, 22.0, y - (126.0 + 0.16 * (190.0 - x)));
        s.attenuation[k] += float(keep * 0.10 * (shell(r, r - 2.0) + shell(r - 6.0, r - 7.5)));
        s.boneDepth[k] += float(keep * 0.8 * shell(r - 2.0, r - 6.0));
        s.attenuation[k] += float(keep * 0.0018 * 2.0 * (r - 8.0) * std::sqrt(std::max(0.0, 1.0 - q * q * r * r / ((r - 8.0) * (r - 8.0)))));
    });
    s.addEllipsoid(185.0, 110.0, 6.0, 9.0, 0.3, 12.0, -0.02, false); // frontal sinus
    // Cranial base: orbital roofs and planum, sella turcica with its clinoids, clivus,
    // the petrous ridge and the dense mastoid behind the condyle.
    s.addRod(points({{191, 126}, {178, 117}, {160, 117}, {140, 121}, {126, 120}}), 1.1, 0.10);
    s.addRod(points({{189, 128}, {175, 121}, {158, 121}, {138, 124}}), 0.9, 0.07);
    s.addRod(points({{125, 117}, {123, 124}, {118, 128}, {111, 126}, {108, 119}, {110, 114}}), 1.0, 0.14);
    s.addRod(points({{125, 117}, {119, 115}}), 0.8, 0.10);
    s.addPolygon(points({{106, 118}, {113, 122}, {100, 163}, {91, 160}}), 14.0, 3.0, 0.0, true);
    s.addRod(points({{110, 124}, {97, 162}}), 1.0, 0.08);
    s.addRod(points({{124, 126}, {110, 132}, {92, 138}, {70, 140}}), 1.2, 0.06);
    s.addEllipsoid(86.0, 142.0, 20.0, 11.0, -0.2, 26.0, 0.0, true);
    // Orbit rim, nasal bone.
    s.addRod(arc(176.0, 134.0, 13.0, 14.0, -1.9, 2.1), 1.4, 0.09);
    s.addRod(points({{193, 129}, {198, 139}, {205, 152}}), 1.0, 0.10);
    // Maxilla with its sinus, the key ridge, the palate from PNS to ANS, the
    // pterygomaxillary fissure and the nasal cavity above the palate.
    s.addPolygon(points({{148, 164}, {170, 160}, {200, 162}, {207, 167}, {202, 174}, {199, 186}, {192, 192}, {176, 190},
                         {160, 188}, {150, 180}}),
                 12.0, 7.0, 0.0, true);
    s.addEllipsoid(166.0, 152.0, 15.0, 12.0, 0.0, 22.0, -0.011, false);
    s.addRod(points({{166, 168}, {170, 158}, {171, 146}, {168, 138}}), 1.3, 0.07);
    s.addRod(points({{149, 171}, {175, 169}, {207, 168}}), 1.7, 0.12);
    s.addEllipsoid(148.0, 150.0, 2.6, 12.0, 0.15, 10.0, -0.02, false);
    s.addEllipsoid(180.0, 160.0, 20.0, 6.0, 0.0, 16.0, -0.006, false);
    // Mandible: symphysis, body, angle, ramus, condyle in its fossa, coronoid process.
    const auto mandible = points({{95, 150}, {102, 146}, {108, 151}, {118, 167}, {131, 156}, {135, 161}, {139, 195},
                                  {150, 209}, {175, 212}, {198, 209}, {204, 214}, {207, 230}, {205, 243}, {198, 251},
                                  {186, 253}, {150, 247}, {120, 241}, {110, 236}, {104, 225}, {103, 195}, {98, 168},
                                  {93, 156}});
    s.addPolygon(mandible, 12.0, 3.5, 0.0, true);
    s.addRod(points({{204, 216}, {206, 232}, {203, 244}, {196, 250}, {184, 251}, {150, 245}, {121, 239}, {111, 234},
                     {106, 224}, {105, 195}, {100, 168}, {96, 154}}),
             1.6, 0.10);
    s.addRod(points({{196, 214}, {193, 232}, {188, 245}}), 1.2, 0.07); // inner border of the symphysis
    s.scaleBone(points({{108, 182}, {122, 214}, {150, 228}, {182, 232}}), 1.4, 0.8);
    // Teeth: the near side labelled, the far side (shifted back and down a little) not.
    struct Placed
    {
        ToothKind kind;
        double x, y, angle, width, crown, root, depth;
        int roots;
    };
    const Placed upper[6] = {{ToothKind::Incisor, 204.0, 197.0, pi + 0.38, 7.2, 11.0, 15.0, 7.0, 1},
                             {ToothKind::Canine, 194.0, 196.0, pi + 0.22, 8.0, 10.5, 18.0, 8.0, 1},
                             {ToothKind::Premolar, 187.0, 197.0, pi + 0.12, 7.0, 8.5, 14.0, 9.0, 1},
                             {ToothKind::Premolar, 180.0, 197.5, pi + 0.08, 6.8, 8.0, 14.0, 9.0, 1},
                             {ToothKind::Molar, 170.5, 198.0, pi + 0.03, 10.2, 7.5, 13.0, 11.0, 3},
                             {ToothKind::Molar, 160.5, 198.5, pi - 0.02, 9.4, 7.2, 12.5, 11.0, 3}};
    const Placed lower[6] = {{ToothKind::Incisor, 201.0, 197.0, -0.42, 6.2, 9.5, 13.0, 6.0, 1},
                             {ToothKind::Canine, 192.5, 198.5, -0.25, 7.2, 11.0, 16.0, 7.5, 1},
                             {ToothKind::Premolar, 185.5, 199.0, -0.12, 7.0, 8.5, 14.0, 8.0, 1},
                             {ToothKind::Premolar, 178.5, 199.5, -0.08, 7.0, 8.0, 14.5, 8.5, 1},
                             {ToothKind::Molar, 168.0, 200.0, -0.03, 11.0, 7.5, 13.5, 10.5, 2},
                             {ToothKind::Molar, 157.0, 200.5, 0.02, 10.5, 7.0, 13.0, 10.0, 2}};
    for (int pass = 0; pass < 2; ++pass)
        for (int jaw = 0; jaw < 2; ++jaw)
            for (int t = 0; t < 6; ++t)
            {
                const Placed& p = jaw == 0 ? upper[t] : lower[t];
                Tooth tooth;
                tooth.kind = p.kind;
                tooth.x = p.x - (pass == 0 ? 2.2 : 0.0);
                tooth.y = p.y + (pass == 0 ? 0.8 : 0.0);
                tooth.angle = p.angle;
                tooth.width = p.width;
                tooth.crown = p.crown;
                tooth.root = p.root;
                tooth.depth = p.depth;
                tooth.roots = p.roots;
                tooth.curve = jaw == 0 ? 0.8 : -0.8;
                tooth.label = pass == 0 ? 0 : std::uint8_t(jaw * 6 + t + 1);
                s.addTooth(tooth);
            }
    // Cervical vertebrae C2-C6 behind the airway: bodies with end plates, the dens of C2
    // rising to the arch of C1, and the spinous processes reaching back.
    s.addEllipsoid(108.0, 166.0, 4.0, 9.0, 0.15, 12.0, 0.0, true);  // dens
    s.addEllipsoid(121.0, 165.0, 3.5, 5.0, 0.0, 10.0, 0.0, true);   // anterior arch of C1
    s.addRod(points({{118, 168}, {90, 172}, {66, 170}}), 2.4, 0.05); // posterior arch of C1
    const double bodies[5][3] = {{176.0, 98.0, 26.0}, {207.0, 97.0, 17.0}, {229.0, 95.0, 17.0}, {251.0, 93.0, 17.0},
                                 {273.0, 91.0, 17.0}};
    for (const auto& b : bodies)
    {
        const double y0 = b[0], x0 = b[1], h = b[2];
        s.addPolygon(points({{x0, y0}, {x0 + 19.0, y0 - 1.0}, {x0 + 20.0, y0 + h - 1.0}, {x0 + 17.0, y0 + h + 1.5},
                             {x0 + 2.0, y0 + h + 1.0}, {x0 - 1.0, y0 + h - 2.0}}),
                     16.0, 3.0, 0.0, true);
        s.addRod(points({{x0, y0 + 0.8}, {x0 + 19.0, y0}}), 0.9, 0.09);
        s.addRod(points({{x0 + 1.5, y0 + h}, {x0 + 9.0, y0 + h + 1.2}, {x0 + 17.5, y0 + h}}), 0.9, 0.09);
        s.addRod(points({{x0, y0 + h * 0.5}, {x0 - 14.0, y0 + h * 0.45}, {x0 - 30.0, y0 + h * 0.6 + 4.0}}), 3.0, 0.05);
    }
    // Airway from the nasopharynx down behind the soft palate and the tongue; the soft
    // palate and the tongue; the hyoid; the ear rod of the cephalostat.
    s.addPolygon(points({{128, 166}, {146, 164}, {141, 196}, {137, 226}, {135, 288}, {123, 288}, {125, 226}, {127, 196}}),
                 22.0, 4.0, -0.016, false);
    s.addEllipsoid(146.0, 180.0, 5.0, 14.0, -0.5, 14.0, 0.010, false);
    s.addEllipsoid(165.0, 203.0, 28.0, 10.0, 0.0, 30.0, 0.003, false);
    s.addEllipsoid(150.0, 263.0, 7.0, 2.6, 0.2, 10.0, 0.0, true);
    s.addRod(arc(90.0, 142.0, 5.5, 5.5, 0.0, 2.0 * pi), 0.9, 0.35);
    return expose(s, Exposure{0.008, 0.02, 1.6, 2.15 * dose, detectorNoise}, cephField);
}

} // namespace tool::phantom
