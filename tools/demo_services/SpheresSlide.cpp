// The spheres slide: a small ray-traced still life (three spheres on a tiled floor under a
// sky), fitting for the renderer whose setup the program fetches.

#include "demo_services/Artwork.h"
#include "demo_services/Canvas.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace demo
{
namespace
{

struct Vec
{
    float x = 0, y = 0, z = 0;
};
Vec operator+(Vec a, Vec b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec operator-(Vec a, Vec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec operator*(Vec a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
float Dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec Normalise(Vec a)
{
    return a * (1.0f / std::sqrt(Dot(a, a)));
}
Vec Reflect(Vec d, Vec n)
{
    return d - n * (2.0f * Dot(d, n));
}

struct Sphere
{
    Vec centre;
    float radius;
    Rgb colour;
    float mirror; // share of reflected light
};

const Sphere kSpheres[] = {
    {{-1.25f, 0.8f, 5.6f}, 0.8f, FromBytes(65, 117, 139), 0.12f},
    {{0.55f, 1.0f, 6.6f}, 1.0f, FromBytes(235, 235, 240), 0.85f},
    {{1.15f, 0.45f, 4.4f}, 0.45f, FromBytes(238, 142, 72), 0.2f},
};
const Vec kLight = Normalise({-0.6f, 1.0f, -0.45f});

struct Hit
{
    float distance;
    Vec point;
    Vec normal;
    Rgb colour;
    float mirror;
};

std::optional<Hit> Trace(Vec origin, Vec dir)
{
    std::optional<Hit> best;
    for (const Sphere& s : kSpheres)
    {
        const Vec oc = origin - s.centre;
        const float b = Dot(oc, dir);
        const float c = Dot(oc, oc) - s.radius * s.radius;
        const float disc = b * b - c;
        if (disc < 0)
        {
            continue;
        }
        const float t = -b - std::sqrt(disc);
        if (t > 1e-3f && (!best || t < best->distance))
        {
            const Vec p = origin + dir * t;
            best = Hit{t, p, Normalise(p - s.centre), s.colour, s.mirror};
        }
    }
    // The floor, y = 0, tiled in two soft greys that fade with distance.
    if (dir.y < -1e-4f)
    {
        const float t = -origin.y / dir.y;
        if (t > 1e-3f && (!best || t < best->distance))
        {
            const Vec p = origin + dir * t;
            const bool odd = (static_cast<int>(std::floor(p.x)) + static_cast<int>(std::floor(p.z))) & 1;
            const Rgb tile = odd ? FromBytes(214, 218, 222) : FromBytes(176, 184, 192);
            best = Hit{t, p, {0, 1, 0}, tile, 0.08f};
        }
    }
    return best;
}

Rgb Sky(Vec dir)
{
    const float t = std::clamp(dir.y * 1.6f + 0.25f, 0.0f, 1.0f);
    const Rgb sky = Mix(FromBytes(236, 226, 214), FromBytes(96, 146, 178), t);
    // A warm sheen toward the light.
    const float sun = std::pow(std::max(Dot(dir, kLight), 0.0f), 40.0f);
    return Mix(sky, FromBytes(255, 236, 200), sun * 0.6f);
}

Rgb Shade(Vec origin, Vec dir, int depth)
{
    const auto hit = Trace(origin, dir);
    if (!hit)
    {
        return Sky(dir);
    }
    const bool lit = !Trace(hit->point + hit->normal * 1e-3f, kLight);
    const float diffuse = std::max(Dot(hit->normal, kLight), 0.0f) * (lit ? 1.0f : 0.15f);
    const float ambient = 0.28f + 0.12f * hit->normal.y;
    Rgb colour = hit->colour;
    colour = {colour.r * (ambient + diffuse * 0.8f), colour.g * (ambient + diffuse * 0.8f),
              colour.b * (ambient + diffuse * 0.8f)};
    const Vec bounce = Normalise(Reflect(dir, hit->normal));
    if (lit)
    {
        const float highlight = std::pow(std::max(Dot(bounce, kLight), 0.0f), 60.0f);
        colour = Mix(colour, {1, 1, 1}, highlight * 0.8f);
    }
    if (depth < 3 && hit->mirror > 0.0f)
    {
        colour = Mix(colour, Shade(hit->point + hit->normal * 1e-3f, bounce, depth + 1), hit->mirror);
    }
    // Distance fog toward the horizon colour.
    const float fog = 1.0f - std::exp(-hit->distance * 0.035f);
    return Mix(colour, FromBytes(226, 220, 214), fog);
}

} // namespace

std::string PaintSpheresSlide()
{
    Canvas canvas(kSlideWidth, kSlideHeight);
    const Vec eye{0.0f, 1.35f, 0.0f};
    const float aspect = static_cast<float>(kSlideWidth) / kSlideHeight;
    const float focal = 1.25f;
    // 2 x 2 samples per pixel smooth the edges.
    for (int y = 0; y < kSlideHeight; ++y)
    {
        for (int x = 0; x < kSlideWidth; ++x)
        {
            Rgb sum;
            for (int sy = 0; sy < 2; ++sy)
            {
                for (int sx = 0; sx < 2; ++sx)
                {
                    const float u = ((x + 0.25f + 0.5f * sx) / kSlideWidth * 2.0f - 1.0f) * aspect;
                    const float v = 1.0f - (y + 0.25f + 0.5f * sy) / kSlideHeight * 2.0f;
                    const Vec dir = Normalise({u, v - 0.18f, focal});
                    const Rgb c = Shade(eye, dir, 0);
                    sum = {sum.r + c.r * 0.25f, sum.g + c.g * 0.25f, sum.b + c.b * 0.25f};
                }
            }
            canvas.Set(x, y, sum);
        }
    }
    return canvas.EncodePng();
}

} // namespace demo
