// Draws the skins shipped for the demo pads: one PNG per colorway and the skin.json that places the
// keys, knobs, layer button and LEDs on it. The manifest is written from the same numbers the
// painter uses, so the live labels land on the drawn caps.
//
//   keyglass-skin-renderer resources/Skins

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <QTextStream>

#include <cmath>
#include <vector>

namespace {

struct Key
{
    int row, col;
    double x, y, w, h; // fractions of width and height
};
struct Knob
{
    int index;
    double cx, cy, r; // cx of width, cy and r of height
    bool flush;
};
struct Spot
{
    double cx, cy, r;
};

struct Colorway
{
    QString id, name;
    QColor caseLight, caseDark, capTop, capSide, knob, accent;
    bool lightKeycaps;
};

struct Pad
{
    QString id, name;
    int width, height;
    std::vector<Key> keys;
    std::vector<Knob> knobs;
    std::optional<Spot> layerButton;
    std::vector<Spot> leds;
    std::vector<Colorway> colorways;
    double caseRadius; // fraction of height
};

QColor mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t),
                            float(a.greenF() * (1 - t) + b.greenF() * t),
                            float(a.blueF() * (1 - t) + b.blueF() * t),
                            float(a.alphaF() * (1 - t) + b.alphaF() * t));
}

void drawCase(QPainter& p, const Pad& pad, const Colorway& c, double W, double H)
{
    const QRectF body(W * 0.015, H * 0.02, W * 0.97, H * 0.95);
    const double radius = H * pad.caseRadius;
    // Shadow on the desk under the case.
    for (int i = 12; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 9));
        p.drawRoundedRect(body.adjusted(-i * 0.6, i * 0.4, i * 0.6, i * 1.0), radius + i, radius + i);
    }
    // Machined aluminium: a vertical light falloff, a bright chamfer and a darker rim.
    QLinearGradient metal(body.topLeft(), body.bottomLeft());
    metal.setColorAt(0.0, c.caseLight);
    metal.setColorAt(0.45, mix(c.caseLight, c.caseDark, 0.45));
    metal.setColorAt(1.0, c.caseDark);
    p.setBrush(metal);
    p.setPen(QPen(mix(c.caseDark, Qt::black, 0.5), 1.5));
    p.drawRoundedRect(body, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 70), 2.0));
    p.drawRoundedRect(body.adjusted(3, 3, -3, -3), radius - 3, radius - 3);
    // Bead-blasted sheen: a soft light from the top left.
    QRadialGradient sheen(body.left() + body.width() * 0.25, body.top(), body.width() * 0.8);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 46));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(body, radius, radius);
}

void drawPlate(QPainter& p, const QRectF& r, const Colorway& c, double radius)
{
    // The recessed plate the caps stand in.
    QLinearGradient well(r.topLeft(), r.bottomLeft());
    well.setColorAt(0.0, mix(c.caseDark, Qt::black, 0.65));
    well.setColorAt(1.0, mix(c.caseDark, Qt::black, 0.4));
    p.setPen(QPen(QColor(255, 255, 255, 40), 1.5));
    p.setBrush(well);
    p.drawRoundedRect(r, radius, radius);
}

void drawKey(QPainter& p, const QRectF& r, const Colorway& c)
{
    const double radius = r.height() * 0.14;
    for (int i = 6; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 22));
        p.drawRoundedRect(r.adjusted(-i * 0.3, i * 0.9, i * 0.3, i * 0.9), radius, radius);
    }
    QLinearGradient skirt(r.topLeft(), r.bottomLeft());
    skirt.setColorAt(0.0, c.capSide.lighter(118));
    skirt.setColorAt(1.0, c.capSide.darker(135));
    p.setPen(QPen(c.capSide.darker(190), 1.2));
    p.setBrush(skirt);
    p.drawRoundedRect(r, radius, radius);
    const QRectF face = r.adjusted(r.width() * 0.11, r.height() * 0.06, -r.width() * 0.11, -r.height() * 0.19);
    QLinearGradient top(face.topLeft(), face.bottomLeft());
    top.setColorAt(0.0, c.capTop.lighter(108));
    top.setColorAt(1.0, c.capTop.darker(104));
    p.setPen(Qt::NoPen);
    p.setBrush(top);
    p.drawRoundedRect(face, radius * 0.8, radius * 0.8);
    // The dish of a cylindrical profile.
    QRadialGradient dish(face.center() + QPointF(0, face.height() * 0.12), face.width() * 0.62);
    dish.setColorAt(0.0, QColor(0, 0, 0, 30));
    dish.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(dish);
    p.drawRoundedRect(face, radius * 0.8, radius * 0.8);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.2));
    p.drawLine(QPointF(face.left() + radius, face.top() + 1), QPointF(face.right() - radius, face.top() + 1));
}

void drawKnob(QPainter& p, const QPointF& centre, double radius, const Colorway& c)
{
    for (int i = 10; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 16));
        p.drawEllipse(centre + QPointF(0, i * 0.9), radius + i * 0.5, radius + i * 0.5);
    }
    // Knurled skirt: alternating light and dark ridges around the edge.
    const int ridges = 72;
    for (int i = 0; i < ridges; ++i) {
        const double a0 = 2 * M_PI * i / ridges, a1 = 2 * M_PI * (i + 1) / ridges;
        QPainterPath wedge(centre);
        wedge.lineTo(centre + QPointF(std::cos(a0), std::sin(a0)) * radius);
        wedge.lineTo(centre + QPointF(std::cos(a1), std::sin(a1)) * radius);
        wedge.closeSubpath();
        const double light = 0.5 + 0.5 * std::sin(a0 - M_PI * 0.75);
        QColor ridge = mix(c.knob.darker(170), c.knob.lighter(125), light);
        if (i % 2)
            ridge = ridge.darker(125);
        p.setPen(Qt::NoPen);
        p.setBrush(ridge);
        p.drawPath(wedge);
    }
    // The machined top, with concentric turning marks and a specular highlight.
    const double top = radius * 0.82;
    QRadialGradient face(centre - QPointF(top * 0.3, top * 0.35), top * 1.3);
    face.setColorAt(0.0, c.knob.lighter(135));
    face.setColorAt(0.7, c.knob);
    face.setColorAt(1.0, c.knob.darker(140));
    p.setBrush(face);
    p.setPen(QPen(c.knob.darker(200), 1.0));
    p.drawEllipse(centre, top, top);
    p.setBrush(Qt::NoBrush);
    for (double f = 0.2; f < 0.98; f += 0.09) {
        p.setPen(QPen(QColor(255, 255, 255, int(14 + 10 * std::sin(f * 20))), 1.0));
        p.drawEllipse(centre, top * f, top * f);
    }
    // A pointer notch.
    p.setPen(QPen(c.knob.darker(220), std::max(2.0, radius * 0.05), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre - QPointF(0, top * 0.55), centre - QPointF(0, top * 0.88));
}

void drawFlushWheel(QPainter& p, const QPointF& centre, double radius, const Colorway& c)
{
    // A thumb wheel in a slot, seen from above: only a band of it shows.
    const QRectF slot(centre.x() - radius * 0.55, centre.y() - radius, radius * 1.1, radius * 2);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1.2));
    p.setBrush(QColor(8, 9, 11));
    p.drawRoundedRect(slot, radius * 0.3, radius * 0.3);
    const QRectF wheel = slot.adjusted(radius * 0.12, radius * 0.12, -radius * 0.12, -radius * 0.12);
    QLinearGradient roll(wheel.topLeft(), wheel.bottomLeft());
    roll.setColorAt(0.0, c.knob.darker(260));
    roll.setColorAt(0.5, c.knob.lighter(115));
    roll.setColorAt(1.0, c.knob.darker(260));
    p.setPen(Qt::NoPen);
    p.setBrush(roll);
    p.drawRoundedRect(wheel, radius * 0.2, radius * 0.2);
    for (int i = 1; i < 14; ++i) {
        const double t = double(i) / 14;
        const double y = wheel.top() + wheel.height() * (0.5 - 0.5 * std::cos(t * M_PI));
        p.setPen(QPen(QColor(0, 0, 0, 90), 1.2));
        p.drawLine(QPointF(wheel.left() + 2, y), QPointF(wheel.right() - 2, y));
    }
}

void drawButton(QPainter& p, const QPointF& centre, double radius, const Colorway& c)
{
    p.setPen(QPen(QColor(0, 0, 0, 120), 1.2));
    p.setBrush(mix(c.caseDark, Qt::black, 0.5));
    p.drawEllipse(centre, radius, radius);
    QRadialGradient dome(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.2);
    dome.setColorAt(0.0, c.capTop.lighter(115));
    dome.setColorAt(1.0, c.capSide.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(dome);
    p.drawEllipse(centre, radius * 0.8, radius * 0.8);
}

void drawLed(QPainter& p, const QPointF& centre, double radius)
{
    // An unlit diffuser; the program lights it in the pad's colour.
    QRadialGradient lens(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.2);
    lens.setColorAt(0.0, QColor(200, 205, 215, 200));
    lens.setColorAt(1.0, QColor(40, 42, 48, 230));
    p.setPen(QPen(QColor(0, 0, 0, 140), 1.0));
    p.setBrush(lens);
    p.drawEllipse(centre, radius, radius);
}

// The card draws a skin at most 500 points wide and 400 high; 1.5 times the design size keeps the
// photograph sharp on a 2x display.
constexpr double ImageScale = 1.5;

QImage render(const Pad& pad, const Colorway& c)
{
    QImage image(int(pad.width * ImageScale), int(pad.height * ImageScale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(ImageScale, ImageScale);
    const double W = pad.width, H = pad.height;
    drawCase(p, pad, c, W, H);
    if (!pad.keys.empty()) {
        double left = 1, top = 1, right = 0, bottom = 0;
        for (const auto& k : pad.keys) {
            left = std::min(left, k.x);
            top = std::min(top, k.y);
            right = std::max(right, k.x + k.w);
            bottom = std::max(bottom, k.y + k.h);
        }
        const double m = 0.018;
        drawPlate(
            p,
            QRectF(W * (left - m), H * (top - m * 1.25), W * (right - left + 2 * m), H * (bottom - top + 2.5 * m)),
            c,
            H * 0.03);
    }
    for (const auto& k : pad.keys)
        drawKey(p, QRectF(W * k.x, H * k.y, W * k.w, H * k.h), c);
    for (const auto& e : pad.knobs) {
        if (e.flush)
            drawFlushWheel(p, QPointF(W * e.cx, H * e.cy), H * e.r, c);
        else
            drawKnob(p, QPointF(W * e.cx, H * e.cy), H * e.r, c);
    }
    if (pad.layerButton)
        drawButton(p, QPointF(W * pad.layerButton->cx, H * pad.layerButton->cy), H * pad.layerButton->r, c);
    for (const auto& led : pad.leds)
        drawLed(p, QPointF(W * led.cx, H * led.cy), H * led.r);
    p.end();
    return image;
}

QJsonObject spot(const Spot& s)
{
    return QJsonObject{{"cx", s.cx}, {"cy", s.cy}, {"r", s.r}};
}

QByteArray manifest(const Pad& pad)
{
    QJsonArray colorways, keys, encoders, leds;
    for (const auto& c : pad.colorways)
        colorways.append(QJsonObject{{"id", c.id},
                                     {"name", c.name},
                                     {"swatchHex", c.accent.name()},
                                     {"imageFile", c.id + ".png"},
                                     {"lightKeycaps", c.lightKeycaps}});
    for (const auto& k : pad.keys)
        keys.append(QJsonObject{{"row", k.row}, {"col", k.col}, {"x", k.x}, {"y", k.y}, {"w", k.w}, {"h", k.h}});
    for (const auto& e : pad.knobs)
        encoders.append(
            QJsonObject{{"index", e.index}, {"cx", e.cx}, {"cy", e.cy}, {"r", e.r}, {"isFlushWheel", e.flush}});
    for (const auto& l : pad.leds)
        leds.append(spot(l));
    QJsonObject root{{"id", pad.id},
                     {"name", pad.name},
                     {"aspectRatio", double(pad.width) / pad.height},
                     {"colorways", colorways},
                     {"keys", keys},
                     {"encoders", encoders},
                     {"leds", leds}};
    if (pad.layerButton)
        root["layerButton"] = spot(*pad.layerButton);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

double round4(double v)
{
    return std::round(v * 10000) / 10000;
}

Pad quadgrid()
{
    Pad pad;
    pad.id = "quadgrid";
    pad.name = "QuadGrid Macropad";
    pad.width = 800;
    pad.height = 640;
    pad.caseRadius = 0.07;
    const double aspect = double(pad.width) / pad.height;
    // A square pitch of 0.2 of the height; caps of 0.17.
    const double pitch = 0.2, cap = 0.17, top = 0.105, left = 0.055;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            pad.keys.push_back(
                Key{r, c, round4(left + c * pitch / aspect), round4(top + r * pitch), round4(cap / aspect), cap});
    pad.knobs = {{0, 0.855, 0.215, 0.1, false}, {1, 0.855, 0.5, 0.1, false}, {2, 0.855, 0.79, 0.095, true}};
    pad.layerButton = Spot{0.728, 0.5, 0.032};
    pad.leds = {{0.728, 0.125, 0.014}, {0.728, 0.185, 0.014}};
    pad.colorways = {
        {"graphite",
         "Graphite",
         QColor(0x5a, 0x5f, 0x69),
         QColor(0x23, 0x26, 0x2c),
         QColor(0x3b, 0x3f, 0x48),
         QColor(0x2a, 0x2d, 0x33),
         QColor(0x6d, 0x72, 0x7c),
         QColor(0x3b, 0x3f, 0x48),
         false},
        {"arctic",
         "Arctic",
         QColor(0xe4, 0xe7, 0xec),
         QColor(0x9a, 0xa0, 0xaa),
         QColor(0xf4, 0xf2, 0xec),
         QColor(0xc9, 0xc6, 0xbd),
         QColor(0xd0, 0xd4, 0xda),
         QColor(0xf4, 0xf2, 0xec),
         true},
    };
    return pad;
}

Pad solodial()
{
    Pad pad;
    pad.id = "solodial";
    pad.name = "SoloDial";
    pad.width = 560;
    pad.height = 560;
    pad.caseRadius = 0.16;
    pad.knobs = {{0, 0.5, 0.49, 0.27, false}};
    pad.layerButton = Spot{0.86, 0.86, 0.045};
    // A ring of LEDs around the knob.
    for (int i = 0; i < 16; ++i) {
        const double a = 2 * M_PI * i / 16;
        pad.leds.push_back(Spot{round4(0.5 + 0.355 * std::cos(a)), round4(0.49 + 0.355 * std::sin(a)), 0.012});
    }
    pad.colorways = {
        {"obsidian",
         "Obsidian",
         QColor(0x3c, 0x3f, 0x46),
         QColor(0x12, 0x13, 0x16),
         QColor(0x30, 0x33, 0x3a),
         QColor(0x20, 0x22, 0x27),
         QColor(0x5c, 0x60, 0x69),
         QColor(0x30, 0x33, 0x3a),
         false},
        {"copper",
         "Copper",
         QColor(0xe0, 0xa4, 0x7c),
         QColor(0x7a, 0x44, 0x2a),
         QColor(0xf1, 0xe6, 0xd4),
         QColor(0xc8, 0xb8, 0xa0),
         QColor(0xe8, 0xdc, 0xc8),
         QColor(0xc8, 0x7f, 0x55),
         true},
    };
    return pad;
}

bool write(const QString& file, const QByteArray& bytes)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(bytes);
    return out.commit();
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing into images needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: keyglass-skin-renderer SKINS_DIR\n";
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const Pad& pad : {quadgrid(), solodial()}) {
        const QString folder = root.filePath(pad.id);
        QDir().mkpath(folder);
        if (!write(folder + "/skin.json", manifest(pad))) {
            err << "cannot write " << folder << "/skin.json\n";
            return 1;
        }
        for (const auto& c : pad.colorways) {
            const QString file = folder + "/" + c.id + ".png";
            if (!render(pad, c).save(file, "PNG", 9)) {
                err << "cannot write " << file << "\n";
                return 1;
            }
        }
    }
    return 0;
}
