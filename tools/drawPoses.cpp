// Draws the six pose pictures of the fencers and writes them as 128 x 128 BMP files into the
// folder given as the only argument, with the game's icon beside them: the left fencer's
// lunge on a transparent ground, as PNG files in the sizes of the desktop's icon theme. Each
// pose is a stick skeleton (a table of joints) that the shared drawing code fleshes out; the
// right fencer is the left one mirrored, with its own trim colour.
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr int PICTURE_SIZE = 128;
constexpr Rgb TRANSPARENT_WHITE{255, 255, 255};
// The uniform must never be pure white, or the game's colour key would punch holes in it.
constexpr Rgb UNIFORM{250, 250, 250};
constexpr Rgb UNIFORM_SHADED{218, 218, 224}; // the limbs on the far side of the body
constexpr Rgb OUTLINE{92, 92, 104};
constexpr Rgb MESH{34, 36, 42};
constexpr Rgb MESH_WIRE{78, 80, 90};
constexpr Rgb SHOE{50, 50, 58};
constexpr Rgb BLADE{128, 134, 146};
constexpr Rgb GUARD{182, 186, 196};
// The trim colours match the scoring lamps: red for the left fencer, green for the right.
constexpr Rgb LEFT_TRIM{214, 32, 32};
constexpr Rgb RIGHT_TRIM{28, 164, 56};
constexpr float OUTLINE_WIDTH = 1.3f;

// Joints of a fencer facing right, in pixels with y up and the strip at y = 0.
struct Skeleton {
    Vec2 head; // centre of the mask
    Vec2 neck;
    Vec2 shoulder;
    Vec2 elbow; // sword arm
    Vec2 hand;
    Vec2 tip; // of the blade
    Vec2 backElbow;
    Vec2 backHand;
    Vec2 hip;
    Vec2 knee; // front leg
    Vec2 ankle;
    Vec2 toe; // front of the shoe; only its x counts, the sole lies on the strip
    Vec2 backKnee;
    Vec2 backAnkle;
    Vec2 backToe;
};

constexpr Skeleton EN_GARDE{
    .head = {71, 103},
    .neck = {68, 93},
    .shoulder = {66, 87},
    .elbow = {78, 73},
    .hand = {93, 79},
    .tip = {123, 85},
    .backElbow = {50, 88},
    .backHand = {46, 103},
    .hip = {62, 56},
    .knee = {82, 34},
    .ankle = {88, 8},
    .toe = {101, 3},
    .backKnee = {44, 33},
    .backAnkle = {35, 8},
    .backToe = {41, 3},
};

// The front knee over the front foot, the back leg straight, both arms at full stretch.
constexpr Skeleton LUNGE{
    .head = {75, 84},
    .neck = {71, 74},
    .shoulder = {68, 68},
    .elbow = {82, 70},
    .hand = {96, 72},
    .tip = {125, 75},
    .backElbow = {53, 64},
    .backHand = {38, 59},
    .hip = {60, 38},
    .knee = {88, 35},
    .ankle = {93, 8},
    .toe = {106, 3},
    .backKnee = {36, 22},
    .backAnkle = {12, 7},
    .backToe = {19, 3},
};

// En garde legs, the blade raised almost upright in front of the chest.
constexpr Skeleton PARRY{
    .head = {71, 103},
    .neck = {68, 93},
    .shoulder = {66, 87},
    .elbow = {80, 74},
    .hand = {88, 83},
    .tip = {99, 116},
    .backElbow = {50, 88},
    .backHand = {46, 103},
    .hip = {62, 56},
    .knee = {82, 34},
    .ankle = {88, 8},
    .toe = {101, 3},
    .backKnee = {44, 33},
    .backAnkle = {35, 8},
    .backToe = {41, 3},
};

Vec2 unit(Vec2 v) {
    return v * (1.0f / std::sqrt(dot(v, v)));
}

void part(Raster& picture, const Shape& shape, Rgb colour) {
    paint(picture, shape, colour, OUTLINE, OUTLINE_WIDTH);
}

// Trim sits inside an outlined part, so it needs no outline of its own.
void trimBand(Raster& picture, const Shape& limb, Vec2 a, Vec2 b, float from, float to, Rgb trim) {
    paint(picture, intersect(limb, band(a, b, from, to)), trim);
}

// The sole lies flat on the strip from behind the heel to the toe.
void drawShoe(Raster& picture, Vec2 ankle, Vec2 toe) {
    const float heel = ankle.x - 6.5f;
    part(picture,
         polygon({{heel, 0.0f},
                  {toe.x + 1.0f, 0.0f},
                  {toe.x + 1.0f, 2.5f},
                  {toe.x - 4.0f, 6.0f},
                  {ankle.x + 3.0f, ankle.y + 1.0f},
                  {ankle.x - 3.5f, ankle.y + 1.0f},
                  {heel, 3.0f}}),
         SHOE);
}

void drawLeg(Raster& picture, Vec2 hip, Vec2 knee, Vec2 ankle, Vec2 toe, Rgb cloth, Rgb trim) {
    const Shape shin = capsule(knee, ankle, 5.2f, 3.4f);
    part(picture, unite(capsule(hip, knee, 7.5f, 5.6f), shin), cloth);
    trimBand(picture, shin, knee, ankle, 0.18f, 0.34f, trim);
    drawShoe(picture, ankle, toe);
}

void drawMask(Raster& picture, Vec2 head, Vec2 neck) {
    // The bib hangs from under the mesh over the throat.
    part(picture,
         polygon(
             {head + Vec2{1, -6}, head + Vec2{8.5f, -5}, neck + Vec2{7, -3}, neck + Vec2{0, -4}}),
         UNIFORM);
    const Shape mask = ellipse(head, 8.6f, 10.2f, -0.2f);
    part(picture, mask, UNIFORM);
    const Shape mesh = intersect(mask, band(head - Vec2{10, 0}, head + Vec2{10, 0}, 0.38f, 1.0f));
    part(picture, mesh, MESH);
    const Shape wires = [](Vec2 p) {
        const int x = static_cast<int>(p.x);
        const int y = static_cast<int>(p.y);
        return ((x + y) % 3 == 0 || (x - y + 300) % 3 == 0) ? -1.0f : 1.0f;
    };
    // The wires stop short of the rim so the mesh keeps a solid edge.
    const Shape meshInside = [mesh](Vec2 p) { return mesh(p) + 1.5f; };
    paint(picture, intersect(meshInside, wires), MESH_WIRE);
}

void drawSwordArm(Raster& picture, const Skeleton& s, Rgb trim) {
    const Shape forearm = capsule(s.elbow, s.hand, 4.2f, 3.6f);
    part(picture, unite(capsule(s.shoulder, s.elbow, 5.0f, 4.2f), forearm), UNIFORM);
    trimBand(picture, forearm, s.elbow, s.hand, 0.5f, 0.75f, trim);
    part(picture, circle(s.hand, 3.9f), UNIFORM);
    const Vec2 along = unit(s.tip - s.hand);
    paint(picture, capsule(s.hand + along * 4.0f, s.tip, 0.8f, 0.5f), BLADE, OUTLINE, 0.9f);
    part(picture, ellipse(s.hand + along * 3.5f, 1.8f, 6.2f, std::atan2(along.y, along.x)), GUARD);
}

Raster drawFencer(const Skeleton& s, Rgb trim, float pixelsPerUnit) {
    const int size = static_cast<int>(PICTURE_SIZE * pixelsPerUnit);
    Raster picture = makeRaster(size, size, TRANSPARENT_WHITE, pixelsPerUnit);
    // Back to front: far arm and leg, near leg, body (whose hem covers the thighs), head,
    // sword arm.
    part(picture,
         unite(capsule(s.shoulder, s.backElbow, 4.6f, 3.8f),
               unite(capsule(s.backElbow, s.backHand, 3.8f, 3.2f), circle(s.backHand, 3.4f))),
         UNIFORM_SHADED);
    drawLeg(picture, s.hip, s.backKnee, s.backAnkle, s.backToe, UNIFORM_SHADED, trim);
    drawLeg(picture, s.hip, s.knee, s.ankle, s.toe, UNIFORM, trim);

    const Shape jacket = capsule(s.hip + Vec2{0, 3}, s.shoulder, 8.0f, 10.5f);
    part(picture, jacket, UNIFORM);
    trimBand(picture, jacket, s.hip, s.shoulder, 0.1f, 0.22f, trim);
    drawMask(picture, s.head, s.neck);
    drawSwordArm(picture, s, trim);
    return picture;
}

struct PosePicture {
    const char* file;
    const Skeleton* skeleton;
    bool facesLeft;
};

constexpr PosePicture PICTURES[] = {
    {"leftEngarde.bmp", &EN_GARDE, false}, {"leftLunge.bmp", &LUNGE, false},
    {"leftParry.bmp", &PARRY, false},      {"rightEngarde.bmp", &EN_GARDE, true},
    {"rightLunge.bmp", &LUNGE, true},      {"rightParry.bmp", &PARRY, true},
};

// The icon's sizes in pixels, those the desktop's icon theme keeps folders for.
constexpr int ICON_SIZES[] = {32, 48, 64, 128, 256};
// Each icon pixel is the mean of this many pixels in each direction, for smooth edges.
constexpr int ICON_SUPERSAMPLING = 4;
// The lunge reaches a little above three quarters of the height: lifted this many drawing
// units, it sits in the middle of the icon.
constexpr float ICON_LIFT = 16.0f;

bool written(bool ok, const std::string& path) {
    if (!ok) {
        std::fprintf(stderr, "drawPoses: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawPoses OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const PosePicture& pose : PICTURES) {
        Raster picture = drawFencer(*pose.skeleton, pose.facesLeft ? RIGHT_TRIM : LEFT_TRIM, 1.0f);
        // The game's sprite textures repeat at their edges, so with smoothing the bottom row
        // would bleed into the top edge of the sprite as a faint line: the bottom row stays
        // white and the fencer stands on the row above it, still on the strip.
        raise(picture, 1, TRANSPARENT_WHITE);
        if (pose.facesLeft) {
            mirror(picture);
        }
        const std::string path = folder + "/" + pose.file;
        if (!written(writeBmp(picture, path), path)) {
            return 1;
        }
    }
    for (const int size : ICON_SIZES) {
        const float pixelsPerUnit = static_cast<float>(size * ICON_SUPERSAMPLING) / PICTURE_SIZE;
        Raster icon = drawFencer(LUNGE, LEFT_TRIM, pixelsPerUnit);
        raise(icon, static_cast<int>(ICON_LIFT * pixelsPerUnit), TRANSPARENT_WHITE);
        const std::vector<std::uint8_t> png =
            encodePng(icon, TRANSPARENT_WHITE, ICON_SUPERSAMPLING);
        const std::string path = folder + "/lamevo-" + std::to_string(size) + ".png";
        if (!written(!png.empty() && writeFile(png, path), path)) {
            return 1;
        }
    }
    return 0;
}
