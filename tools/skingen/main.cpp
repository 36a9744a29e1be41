// tarnvik-skingen: draws the viewer's skin artwork and writes it as JPEG files
// named by resource id (130.jpg, 256.jpg, ...) into the folder given on the
// command line.
//
// Everything is drawn from geometry: no fonts (their availability differs
// between machines and would make the output machine-dependent), no random
// numbers. Letters are a small stroke alphabet defined below.
//
// Button images are strips of four equal faces side by side, in the order the
// hover button expects: 0 normal, 1 pressed, 2 mouse over, 3 disabled.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

// ---------------------------------------------------------------- palette --

const QColor kAccent(65, 105, 225);
const QColor kAccentDark(38, 64, 150);
const QColor kPanelTop(44, 50, 60);
const QColor kPanelBottom(26, 30, 37);
const QColor kIconNormal(216, 222, 232);
const QColor kIconHover(176, 198, 255);
const QColor kIconPressed(255, 255, 255);
const QColor kIconDisabled(98, 103, 110);
const QColor kRecordRed(224, 72, 72);

constexpr int kJpegQuality = 90;

// Holes and halos inside icons (gear centre, lens, the gap round a stop mark)
// are painted in the colour of the face underneath, which drawFace sets here
// before each icon (the generator is single-threaded).
QColor g_holeColour = kPanelBottom;

enum Face { Normal = 0, Pressed = 1, Hover = 2, Disabled = 3 };

// An icon is drawn into a square-ish box with one main colour; `face` lets a
// few icons keep a signal colour (the red record dot) except when disabled.
using IconFn = std::function<void(QPainter&, const QRectF&, const QColor&, Face)>;

// ------------------------------------------------------------ stroke font --

// Glyphs on a 4 x 6 grid (y down), each a list of polylines.
using Polyline = std::vector<QPointF>;
const std::map<char, std::vector<Polyline>>& glyphs()
{
    static const std::map<char, std::vector<Polyline>> g = {
        {'A', {{{0, 6}, {0, 2}, {2, 0}, {4, 2}, {4, 6}}, {{0, 3.5}, {4, 3.5}}}},
        {'C', {{{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}}}},
        {'D', {{{0, 0}, {0, 6}, {2.5, 6}, {4, 4.5}, {4, 1.5}, {2.5, 0}, {0, 0}}}},
        {'E', {{{4, 0}, {0, 0}, {0, 6}, {4, 6}}, {{0, 3}, {3, 3}}}},
        {'G', {{{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 3.5}, {2, 3.5}}}},
        {'I', {{{1, 0}, {3, 0}}, {{2, 0}, {2, 6}}, {{1, 6}, {3, 6}}}},
        {'L', {{{0, 0}, {0, 6}, {4, 6}}}},
        {'M', {{{0, 6}, {0, 0}, {2, 3}, {4, 0}, {4, 6}}}},
        {'N', {{{0, 6}, {0, 0}, {4, 6}, {4, 0}}}},
        {'O', {{{1, 0}, {3, 0}, {4, 1}, {4, 5}, {3, 6}, {1, 6}, {0, 5}, {0, 1}, {1, 0}}}},
        {'P', {{{0, 6}, {0, 0}, {3, 0}, {4, 1}, {4, 2}, {3, 3}, {0, 3}}}},
        {'R', {{{0, 6}, {0, 0}, {3, 0}, {4, 1}, {4, 2}, {3, 3}, {0, 3}}, {{2, 3}, {4, 6}}}},
        {'S', {{{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 3}, {3, 3}, {4, 4}, {4, 5}, {3, 6}, {1, 6}, {0, 5}}}},
        {'T', {{{0, 0}, {4, 0}}, {{2, 0}, {2, 6}}}},
        {'U', {{{0, 0}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 0}}}},
        {'V', {{{0, 0}, {2, 6}, {4, 0}}}},
        {'Y', {{{0, 0}, {2, 3}, {4, 0}}, {{2, 3}, {2, 6}}}},
    };
    return g;
}

constexpr double kGlyphAdvance = 6.0;
constexpr double kSpaceAdvance = 4.0;

double textUnits(const char* text)
{
    double w = 0;
    for (const char* p = text; *p; ++p)
        w += (*p == ' ') ? kSpaceAdvance : kGlyphAdvance;
    return w > 0 ? w - 2.0 : 0.0; // no trailing gap after the last glyph
}

// Draws `text` centred in `box`, scaled to fit (at most `maxUnitPx` pixels per
// grid unit).
void drawText(QPainter& p, const QRectF& box, const char* text, const QColor& color, double maxUnitPx,
              double weight = 1.6)
{
    const double units = textUnits(text);
    const double unit = std::min({maxUnitPx, box.width() / units, box.height() / 6.0});
    const double x0 = box.center().x() - units * unit / 2.0;
    const double y0 = box.center().y() - 3.0 * unit;
    QPen pen(color, std::max(1.0, unit * 0.28 * weight), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.save();
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    double x = x0;
    for (const char* c = text; *c; ++c) {
        if (*c == ' ') {
            x += kSpaceAdvance * unit;
            continue;
        }
        const auto it = glyphs().find(*c);
        if (it != glyphs().end()) {
            for (const Polyline& line : it->second) {
                QPainterPath path;
                for (size_t i = 0; i < line.size(); ++i) {
                    const QPointF pt(x + line[i].x() * unit, y0 + line[i].y() * unit);
                    if (i == 0)
                        path.moveTo(pt);
                    else
                        path.lineTo(pt);
                }
                p.drawPath(path);
            }
        }
        x += kGlyphAdvance * unit;
    }
    p.restore();
}

// ------------------------------------------------------------------ icons --

// Helpers work in a normalised 0..1 box mapped onto the icon rectangle.
struct Box {
    QRectF r;
    QPointF at(double x, double y) const { return {r.left() + x * r.width(), r.top() + y * r.height()}; }
    double s(double v) const { return v * std::min(r.width(), r.height()); }
    QRectF rect(double x, double y, double w, double h) const
    {
        return {r.left() + x * r.width(), r.top() + y * r.height(), w * r.width(), h * r.height()};
    }
};

QRectF squareIn(const QRectF& r)
{
    const double s = std::min(r.width(), r.height());
    return {r.center().x() - s / 2, r.center().y() - s / 2, s, s};
}

void fillPoly(QPainter& p, const Box& b, std::initializer_list<QPointF> pts, const QColor& c)
{
    QPolygonF poly;
    for (const QPointF& q : pts)
        poly << b.at(q.x(), q.y());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(poly);
}

QPen strokePen(const Box& b, const QColor& c, double w = 0.09)
{
    return QPen(c, std::max(1.2, b.s(w)), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void iconPlay(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.25, 0.15}, {0.85, 0.5}, {0.25, 0.85}}, c);
}

void iconPause(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(b.rect(0.22, 0.18, 0.2, 0.64));
    p.drawRect(b.rect(0.58, 0.18, 0.2, 0.64));
}

void iconStop(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRect(b.rect(0.2, 0.2, 0.6, 0.6));
}

void iconFastForward(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.08, 0.2}, {0.5, 0.5}, {0.08, 0.8}}, c);
    fillPoly(p, b, {{0.5, 0.2}, {0.92, 0.5}, {0.5, 0.8}}, c);
}

void iconRewind(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.92, 0.2}, {0.5, 0.5}, {0.92, 0.8}}, c);
    fillPoly(p, b, {{0.5, 0.2}, {0.08, 0.5}, {0.5, 0.8}}, c);
}

void iconStepForward(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.18, 0.18}, {0.66, 0.5}, {0.18, 0.82}}, c);
    p.drawRect(b.rect(0.68, 0.18, 0.14, 0.64));
}

void iconStepBack(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.82, 0.18}, {0.34, 0.5}, {0.82, 0.82}}, c);
    p.drawRect(b.rect(0.18, 0.18, 0.14, 0.64));
}

QColor signalRed(const QColor& c, Face f)
{
    return f == Disabled ? c : kRecordRed;
}

void recordDot(QPainter& p, const QPointF& centre, double radius, const QColor& c)
{
    p.setPen(Qt::NoPen);
    QRadialGradient g(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.3);
    g.setColorAt(0, c.lighter(135));
    g.setColorAt(1, c);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// A recorder box: the DVR itself, with a row of lamps.
void dvrBox(QPainter& p, const Box& b, const QColor& c)
{
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(b.rect(0.08, 0.3, 0.84, 0.42), b.s(0.05), b.s(0.05));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(b.at(0.2 + 0.1 * i, 0.51), b.s(0.035), b.s(0.035));
    p.drawRect(b.rect(0.56, 0.48, 0.26, 0.06));
}

void iconDvrRecordStart(QPainter& p, const QRectF& r, const QColor& c, Face f)
{
    Box b{squareIn(r)};
    dvrBox(p, Box{b.rect(0.0, -0.12, 1.0, 1.0)}, c);
    recordDot(p, b.at(0.72, 0.76), b.s(0.16), signalRed(c, f));
}

void iconDvrRecordStop(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    dvrBox(p, Box{b.rect(0.0, -0.12, 1.0, 1.0)}, c);
    // A halo in the face colour keeps the stop square apart from the box.
    p.setPen(Qt::NoPen);
    p.setBrush(g_holeColour);
    p.drawRect(b.rect(0.52, 0.56, 0.4, 0.4));
    p.setBrush(c);
    p.drawRect(b.rect(0.58, 0.62, 0.28, 0.28));
}

void iconRecordAvi(QPainter& p, const QRectF& r, const QColor& c, Face f)
{
    Box b{squareIn(r)};
    // Film strip with perforations.
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    p.drawRect(b.rect(0.1, 0.14, 0.56, 0.72));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (int i = 0; i < 4; ++i) {
        p.drawRect(b.rect(0.15, 0.2 + 0.16 * i, 0.08, 0.08));
        p.drawRect(b.rect(0.53, 0.2 + 0.16 * i, 0.08, 0.08));
    }
    recordDot(p, b.at(0.74, 0.72), b.s(0.17), signalRed(c, f));
}

// Two chain links; `broken` pulls them apart and adds break marks.
void chainLinks(QPainter& p, const QRectF& r, const QColor& c, bool broken)
{
    Box b{squareIn(r)};
    const double gap = broken ? 0.09 : 0.0;
    p.save();
    p.translate(b.at(0.5, 0.5));
    p.rotate(-45);
    const double s = b.s(1.0);
    p.setPen(strokePen(b, c, 0.1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(-s * (0.44 + gap), -s * 0.14, s * 0.5, s * 0.28), s * 0.14, s * 0.14);
    p.drawRoundedRect(QRectF(-s * 0.06 + s * gap, -s * 0.14, s * 0.5, s * 0.28), s * 0.14, s * 0.14);
    p.restore();
    if (broken) {
        p.setPen(strokePen(b, c, 0.07));
        p.drawLine(b.at(0.36, 0.2), b.at(0.4, 0.3));
        p.drawLine(b.at(0.6, 0.7), b.at(0.64, 0.8));
        p.drawLine(b.at(0.2, 0.38), b.at(0.3, 0.42));
        p.drawLine(b.at(0.7, 0.58), b.at(0.8, 0.62));
    }
}

void iconConnect(QPainter& p, const QRectF& r, const QColor& c, Face) { chainLinks(p, r, c, false); }
void iconDisconnect(QPainter& p, const QRectF& r, const QColor& c, Face) { chainLinks(p, r, c, true); }

void gear(QPainter& p, const QPointF& centre, double radius, const QColor& c, const QColor& hole)
{
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = (i - 0.5) * M_PI / teeth;
        const double a1 = (i + 0.5) * M_PI / teeth;
        const double rr = (i % 2 == 0) ? radius : radius * 0.74;
        const QPointF p0(centre.x() + rr * std::cos(a0), centre.y() + rr * std::sin(a0));
        const QPointF p1(centre.x() + rr * std::cos(a1), centre.y() + rr * std::sin(a1));
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
    p.setBrush(hole);
    p.drawEllipse(centre, radius * 0.32, radius * 0.32);
}


void iconSettings(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    gear(p, b.at(0.5, 0.5), b.s(0.4), c, g_holeColour);
}

void iconDvrSettings(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    dvrBox(p, Box{b.rect(-0.04, -0.12, 0.9, 0.9)}, c);
    gear(p, b.at(0.74, 0.72), b.s(0.24), c, g_holeColour);
}

void iconSpeaker(QPainter& p, const QRectF& r, const QColor& c, bool muted)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.1, 0.38}, {0.26, 0.38}, {0.48, 0.18}, {0.48, 0.82}, {0.26, 0.62}, {0.1, 0.62}}, c);
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    if (muted) {
        p.drawLine(b.at(0.62, 0.36), b.at(0.88, 0.64));
        p.drawLine(b.at(0.88, 0.36), b.at(0.62, 0.64));
    } else {
        p.drawArc(QRectF(b.at(0.38, 0.32), b.at(0.7, 0.68)), -50 * 16, 100 * 16);
        p.drawArc(QRectF(b.at(0.32, 0.18), b.at(0.88, 0.82)), -50 * 16, 100 * 16);
    }
}

void iconSoundOn(QPainter& p, const QRectF& r, const QColor& c, Face) { iconSpeaker(p, r, c, false); }
void iconSoundMuted(QPainter& p, const QRectF& r, const QColor& c, Face) { iconSpeaker(p, r, c, true); }

void iconClock(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.08));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(b.at(0.5, 0.5), b.s(0.36), b.s(0.36));
    p.drawLine(b.at(0.5, 0.5), b.at(0.5, 0.28));
    p.drawLine(b.at(0.5, 0.5), b.at(0.66, 0.58));
}

void iconFolder(QPainter& p, const QRectF& r, const QColor& c, bool open)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    QPolygonF back;
    back << b.at(0.1, 0.78) << b.at(0.1, 0.24) << b.at(0.36, 0.24) << b.at(0.44, 0.32) << b.at(0.84, 0.32)
         << b.at(0.84, 0.44);
    p.drawPolyline(back);
    if (open)
        fillPoly(p, b, {{0.1, 0.78}, {0.24, 0.46}, {0.94, 0.46}, {0.8, 0.78}}, c);
    else
        fillPoly(p, b, {{0.1, 0.78}, {0.1, 0.42}, {0.84, 0.42}, {0.84, 0.78}}, c);
}

void iconOpenFile(QPainter& p, const QRectF& r, const QColor& c, Face) { iconFolder(p, r, c, true); }

// File mode: a document with a play mark, i.e. "play from files".
void iconFileMode(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    QPolygonF doc;
    doc << b.at(0.2, 0.1) << b.at(0.6, 0.1) << b.at(0.8, 0.3) << b.at(0.8, 0.9) << b.at(0.2, 0.9) << b.at(0.2, 0.1);
    p.drawPolyline(doc);
    p.drawPolyline(QPolygonF() << b.at(0.6, 0.1) << b.at(0.6, 0.3) << b.at(0.8, 0.3));
    fillPoly(p, b, {{0.4, 0.44}, {0.64, 0.6}, {0.4, 0.76}}, c);
}

// Whole-disk playback: a hard disk with a play mark.
void iconHddPlayback(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(b.rect(0.08, 0.16, 0.84, 0.68), b.s(0.08), b.s(0.08));
    p.drawEllipse(b.at(0.38, 0.5), b.s(0.2), b.s(0.2));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(b.at(0.38, 0.5), b.s(0.05), b.s(0.05));
    fillPoly(p, b, {{0.66, 0.36}, {0.86, 0.5}, {0.66, 0.64}}, c);
}

// Search by time: a clock with a magnifier.
void iconTimeSearch(QPainter& p, const QRectF& r, const QColor& c, Face f)
{
    Box b{squareIn(r)};
    iconClock(p, b.rect(-0.08, -0.08, 0.86, 0.86), c, f);
    p.setPen(strokePen(b, c, 0.07));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(b.at(0.72, 0.72), b.s(0.13), b.s(0.13));
    p.setPen(strokePen(b, c, 0.1));
    p.drawLine(b.at(0.81, 0.81), b.at(0.94, 0.94));
}

void iconArrow(QPainter& p, const QRectF& r, const QColor& c, int angleDeg)
{
    Box b{squareIn(r)};
    p.save();
    p.translate(b.at(0.5, 0.5));
    p.rotate(angleDeg);
    const double s = b.s(1.0);
    QPolygonF tri;
    tri << QPointF(s * 0.34, 0) << QPointF(-s * 0.14, -s * 0.34) << QPointF(-s * 0.14, s * 0.34);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(tri);
    p.drawRect(QRectF(-s * 0.36, -s * 0.1, s * 0.24, s * 0.2));
    p.restore();
}

void iconLeft(QPainter& p, const QRectF& r, const QColor& c, Face) { iconArrow(p, r, c, 180); }
void iconRight(QPainter& p, const QRectF& r, const QColor& c, Face) { iconArrow(p, r, c, 0); }
void iconUp(QPainter& p, const QRectF& r, const QColor& c, Face) { iconArrow(p, r, c, -90); }
void iconDown(QPainter& p, const QRectF& r, const QColor& c, Face) { iconArrow(p, r, c, 90); }

// Pan/tilt centre: a target mark.
void iconCentre(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.08));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(b.at(0.5, 0.5), b.s(0.28), b.s(0.28));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(b.at(0.5, 0.5), b.s(0.1), b.s(0.1));
}

void iconZoom(QPainter& p, const QRectF& r, const QColor& c, bool in)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.09));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(b.at(0.42, 0.42), b.s(0.27), b.s(0.27));
    p.setPen(strokePen(b, c, 0.14));
    p.drawLine(b.at(0.63, 0.63), b.at(0.86, 0.86));
    p.setPen(strokePen(b, c, 0.08));
    p.drawLine(b.at(0.3, 0.42), b.at(0.54, 0.42));
    if (in)
        p.drawLine(b.at(0.42, 0.3), b.at(0.42, 0.54));
}

void iconZoomIn(QPainter& p, const QRectF& r, const QColor& c, Face) { iconZoom(p, r, c, true); }
void iconZoomOut(QPainter& p, const QRectF& r, const QColor& c, Face) { iconZoom(p, r, c, false); }

// Focus far: mountains (the usual "infinity" landscape mark).
void iconFocusFar(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.06, 0.8}, {0.38, 0.3}, {0.58, 0.6}, {0.68, 0.46}, {0.94, 0.8}}, c);
}

// Focus near: a flower (the usual close-up mark).
void iconFocusNear(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const QPointF centre = b.at(0.5, 0.36);
    for (int i = 0; i < 5; ++i) {
        const double a = -M_PI / 2 + i * 2 * M_PI / 5;
        p.drawEllipse(QPointF(centre.x() + b.s(0.14) * std::cos(a), centre.y() + b.s(0.14) * std::sin(a)),
                      b.s(0.1), b.s(0.1));
    }
    p.setPen(strokePen(b, c, 0.07));
    p.drawLine(b.at(0.5, 0.5), b.at(0.5, 0.9));
    p.drawLine(b.at(0.5, 0.76), b.at(0.7, 0.64));
}

void cameraBody(QPainter& p, const Box& b, const QColor& c, const QColor& lens)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(b.rect(0.08, 0.3, 0.84, 0.54), b.s(0.08), b.s(0.08));
    p.drawRect(b.rect(0.34, 0.2, 0.3, 0.14));
    p.setBrush(lens);
    p.drawEllipse(b.at(0.5, 0.57), b.s(0.17), b.s(0.17));
    p.setBrush(c);
    p.drawEllipse(b.at(0.5, 0.57), b.s(0.1), b.s(0.1));
}

void iconSnapshot(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    cameraBody(p, Box{squareIn(r)}, c, g_holeColour);
}

void iconFullScreen(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.09));
    p.setBrush(Qt::NoBrush);
    const double lo = 0.16, hi = 0.84, len = 0.24;
    p.drawPolyline(QPolygonF() << b.at(lo, lo + len) << b.at(lo, lo) << b.at(lo + len, lo));
    p.drawPolyline(QPolygonF() << b.at(hi - len, lo) << b.at(hi, lo) << b.at(hi, lo + len));
    p.drawPolyline(QPolygonF() << b.at(hi, hi - len) << b.at(hi, hi) << b.at(hi - len, hi));
    p.drawPolyline(QPolygonF() << b.at(lo + len, hi) << b.at(lo, hi) << b.at(lo, hi - len));
}

// Time reset: an anticlockwise arrow around a clock hand.
void iconTimeReset(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.08));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(b.at(0.16, 0.16), b.at(0.84, 0.84)), 110 * 16, 290 * 16);
    p.drawLine(b.at(0.5, 0.5), b.at(0.5, 0.32));
    p.drawLine(b.at(0.5, 0.5), b.at(0.62, 0.58));
    fillPoly(p, b, {{0.16, 0.16}, {0.42, 0.2}, {0.22, 0.4}}, c);
}

// Layout grids for the division buttons: cells in an n x n lattice.
struct Cell {
    int x, y, w, h;
};

IconFn divisionIcon(int n, std::vector<Cell> cells)
{
    return [n, cells](QPainter& p, const QRectF& r, const QColor& c, Face) {
        const double side = std::min(r.width() * 0.92, r.height());
        const double w = side * 1.3 > r.width() ? r.width() : side * 1.3; // panes are wider than tall
        const QRectF area(r.center().x() - w / 2, r.center().y() - side / 2, w, side);
        const double cw = area.width() / n, ch = area.height() / n;
        const double gap = std::max(1.0, side * 0.06);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        for (const Cell& cell : cells)
            p.drawRect(QRectF(area.left() + cell.x * cw + gap / 2, area.top() + cell.y * ch + gap / 2,
                              cell.w * cw - gap, cell.h * ch - gap));
    };
}

std::vector<Cell> uniform(int n)
{
    std::vector<Cell> v;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            v.push_back({x, y, 1, 1});
    return v;
}

// One big pane of size `big` at the top left of an n x n lattice, small panes
// filling the rest.
std::vector<Cell> bigTopLeft(int n, int big)
{
    std::vector<Cell> v{{0, 0, big, big}};
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            if (x >= big || y >= big)
                v.push_back({x, y, 1, 1});
    return v;
}

std::vector<Cell> tenPanes()
{
    std::vector<Cell> v{{0, 0, 2, 2}, {2, 0, 2, 2}};
    for (int y = 2; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            v.push_back({x, y, 1, 1});
    return v;
}

std::vector<Cell> thirteenPanes()
{
    std::vector<Cell> v{{1, 1, 2, 2}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            if (!(x >= 1 && x <= 2 && y >= 1 && y <= 2))
                v.push_back({x, y, 1, 1});
    return v;
}

// --------------------------------------------------------------- surfaces --

// The colour behind a button strip: the strips sit on the control panel, whose
// colour they share at their edges so the rounded corners blend in.
const QColor kStripBackdrop(33, 38, 46);

struct FaceLook {
    QColor top, bottom, border, icon;
    double iconShift;
};

FaceLook faceLook(Face f)
{
    switch (f) {
    case Normal:
        return {QColor(62, 70, 84), QColor(40, 46, 56), QColor(78, 88, 104), kIconNormal, 0};
    case Pressed:
        return {kAccentDark, kAccent, kAccent.lighter(125), kIconPressed, 1};
    case Hover:
        return {QColor(70, 82, 104), QColor(46, 54, 70), kAccent, kIconHover, 0};
    case Disabled:
        return {QColor(46, 49, 54), QColor(40, 43, 48), QColor(54, 58, 64), kIconDisabled, 0};
    }
    return {};
}

// Draws one button face into `r`. `iconScale` sizes the icon box relative to
// the face; `label`, when given, puts stroke text under the icon.
void drawFace(QPainter& p, const QRectF& r, Face f, const IconFn& icon, double iconScale, const char* label = nullptr,
              const QColor& backdrop = kStripBackdrop)
{
    const FaceLook look = faceLook(f);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(backdrop);
    p.drawRect(r);

    const QRectF body = r.adjusted(1.5, 1.5, -1.5, -1.5);
    const double radius = std::min(body.width(), body.height()) * 0.18;
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, look.top);
    g.setColorAt(1, look.bottom);
    p.setBrush(g);
    p.setPen(QPen(look.border, f == Hover ? 1.6 : 1.0));
    p.drawRoundedRect(body, radius, radius);

    // A thin highlight along the top edge gives the raised look; pressed faces
    // are sunk, so they get none.
    if (f == Normal || f == Hover) {
        p.setPen(QPen(QColor(255, 255, 255, 38), 1.0));
        p.drawLine(QPointF(body.left() + radius, body.top() + 1.5), QPointF(body.right() - radius, body.top() + 1.5));
    }

    g_holeColour = look.bottom;
    const double shift = look.iconShift;
    QRectF iconArea = body;
    QRectF textArea;
    if (label) {
        iconArea = QRectF(body.left(), body.top() + body.height() * 0.1, body.width(), body.height() * 0.5);
        textArea = QRectF(body.left() + 6, body.top() + body.height() * 0.66, body.width() - 12, body.height() * 0.22);
    }
    const double is = std::min(iconArea.width(), iconArea.height()) * iconScale;
    const QRectF iconBox(iconArea.center().x() - is / 2 + shift, iconArea.center().y() - is / 2 + shift, is, is);
    if (icon)
        icon(p, iconBox, look.icon, f);
    if (label)
        drawText(p, textArea.translated(shift, shift), label, look.icon, 2.0);
    p.restore();
}

QImage makeStrip(int faceW, int faceH, const IconFn& icon, double iconScale, const char* label = nullptr,
                 const QColor& backdrop = kStripBackdrop)
{
    QImage img(faceW * 4, faceH, QImage::Format_RGB32);
    img.fill(backdrop);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i)
        drawFace(p, QRectF(i * faceW, 0, faceW, faceH), static_cast<Face>(i), icon, iconScale, label, backdrop);
    return img;
}

// Text-only strip (dialog command buttons).
QImage makeTextStrip(int faceW, int faceH, const char* text, const QColor& backdrop)
{
    QImage img(faceW * 4, faceH, QImage::Format_RGB32);
    img.fill(backdrop);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i) {
        const QRectF r(i * faceW, 0, faceW, faceH);
        const Face f = static_cast<Face>(i);
        drawFace(p, r, f, nullptr, 0, nullptr, backdrop);
        const double shift = faceLook(f).iconShift;
        drawText(p, r.adjusted(10 + shift, 10 + shift, -10 + shift, -10 + shift), text, faceLook(f).icon, 2.2);
    }
    return img;
}

// A soft vertical gradient with a faint diagonal sheen; the base of every
// background.
void paintBackdrop(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);
    QRadialGradient sheen(QPointF(r.left() + r.width() * 0.25, r.top() + r.height() * 0.1),
                          std::max(r.width(), r.height()) * 0.9);
    sheen.setColorAt(0, QColor(255, 255, 255, 14));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, sheen);
}

// 130: the picture a pane shows when it has no video.
QImage noVideoPicture()
{
    QImage img(240, 180, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintBackdrop(p, img.rect(), QColor(36, 41, 50), QColor(20, 23, 29));
    p.setPen(QPen(QColor(58, 66, 80), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(6.5, 6.5, 227, 167), 8, 8);

    const QColor glyph(112, 121, 136);
    Box b{QRectF(84, 34, 72, 72)};
    cameraBody(p, b, glyph, QColor(28, 32, 39));
    // Strike-through with a dark halo so it reads over the camera.
    p.setPen(QPen(QColor(24, 27, 33), 9, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(b.at(0.08, 0.1), b.at(0.92, 0.94));
    p.setPen(QPen(QColor(200, 88, 88), 4.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(b.at(0.08, 0.1), b.at(0.92, 0.94));

    drawText(p, QRectF(40, 122, 160, 22), "NO VIDEO", QColor(150, 160, 176), 2.6, 1.3);
    return img;
}

// 136: behind the video panes.
QImage videoAreaBackground()
{
    QImage img(827, 706, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintBackdrop(p, img.rect(), QColor(30, 34, 41), QColor(16, 18, 23));
    // Inset frame round the grid area.
    p.setPen(QPen(QColor(12, 14, 18), 2));
    p.drawRect(QRectF(4, 4, 819, 698));
    p.setPen(QPen(QColor(52, 59, 71), 1));
    p.drawRect(QRectF(6.5, 6.5, 814, 693));
    return img;
}

// 137: the control panel on the right.
QImage controlPanelBackground()
{
    QImage img(197, 768, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintBackdrop(p, img.rect(), kPanelTop, kPanelBottom);
    // Left edge: a dark seam and an accent hairline separate panel and video.
    p.fillRect(QRectF(0, 0, 3, 768), QColor(14, 16, 20));
    QLinearGradient accent(QPointF(0, 0), QPointF(0, 768));
    accent.setColorAt(0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 200));
    accent.setColorAt(1, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 40));
    p.fillRect(QRectF(3, 0, 1, 768), accent);
    return img;
}

// 138: bar under the video area.
QImage bottomBar()
{
    QImage img(826, 62, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(QPointF(0, 0), QPointF(0, 62));
    g.setColorAt(0, QColor(50, 57, 69));
    g.setColorAt(0.5, QColor(36, 41, 50));
    g.setColorAt(1, QColor(24, 27, 33));
    p.fillRect(img.rect(), g);
    QLinearGradient accent(QPointF(0, 0), QPointF(826, 0));
    accent.setColorAt(0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 40));
    accent.setColorAt(0.5, kAccent);
    accent.setColorAt(1, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 40));
    p.fillRect(QRectF(0, 0, 826, 2), accent);
    p.fillRect(QRectF(0, 61, 826, 1), QColor(10, 12, 15));
    return img;
}

// Slider: channel 296 (normal) / 295 (active), thumb 298 (normal) / 297 (active).
QImage sliderChannel(bool active)
{
    QImage img(180, 16, QImage::Format_RGB32);
    img.fill(kStripBackdrop);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF groove(3, 5, 174, 6);
    p.setPen(QPen(QColor(12, 14, 18), 1));
    QLinearGradient g(groove.topLeft(), groove.bottomLeft());
    if (active) {
        g.setColorAt(0, kAccentDark);
        g.setColorAt(1, kAccent);
    } else {
        g.setColorAt(0, QColor(18, 20, 25));
        g.setColorAt(1, QColor(40, 45, 54));
    }
    p.setBrush(g);
    p.drawRoundedRect(groove, 3, 3);
    return img;
}

QImage sliderThumb(bool active)
{
    QImage img(12, 16, QImage::Format_RGB32);
    img.fill(kStripBackdrop);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF knob(1, 1, 10, 14);
    QLinearGradient g(knob.topLeft(), knob.bottomLeft());
    if (active) {
        g.setColorAt(0, kAccent.lighter(140));
        g.setColorAt(1, kAccent);
    } else {
        g.setColorAt(0, QColor(210, 216, 226));
        g.setColorAt(1, QColor(140, 148, 160));
    }
    p.setPen(QPen(QColor(12, 14, 18), 1));
    p.setBrush(g);
    p.drawRoundedRect(knob, 3, 3);
    p.setPen(QPen(active ? QColor(30, 50, 120) : QColor(96, 104, 116), 1));
    p.drawLine(QPointF(6, 4.5), QPointF(6, 11.5));
    return img;
}

// 320: the in-car DVR setup dialog's background: page column at the left,
// title band at the top, command row at the bottom.
// Colours under the dialog's buttons, so the strips' corners blend in: the page
// column and the command row.
const QColor kPageColumn(24, 27, 33);
const QColor kCommandRow(23, 26, 32);

QImage setupDialogBackground()
{
    QImage img(680, 540, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    paintBackdrop(p, img.rect(), QColor(40, 46, 56), QColor(20, 23, 29));
    // Page column behind the eight page buttons (x 19, y 45, 90 x 400).
    p.setPen(QPen(QColor(58, 66, 80), 1));
    p.setBrush(kPageColumn);
    p.drawRoundedRect(QRectF(11.5, 37.5, 106, 416), 8, 8);
    // Title band (title at 200,35 350x50) with an accent underline.
    QLinearGradient band(QPointF(140, 0), QPointF(660, 0));
    band.setColorAt(0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 90));
    band.setColorAt(1, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 0));
    p.fillRect(QRectF(140, 30, 520, 60), band);
    p.fillRect(QRectF(140, 90, 520, 2), kAccent);
    // Content panel for the page controls.
    p.setPen(QPen(QColor(58, 66, 80), 1));
    p.setBrush(QColor(34, 39, 47));
    p.drawRoundedRect(QRectF(140.5, 104.5, 520, 360), 8, 8);
    // Command row (Save as, Cancel, Apply at y 485).
    p.fillRect(QRectF(0, 474, 680, 1), QColor(12, 14, 18));
    p.fillRect(QRectF(0, 475, 680, 1), QColor(64, 72, 86));
    return img;
}

// Icons for the setup dialog pages.
void iconMonitor(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.08));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(b.rect(0.08, 0.14, 0.84, 0.56), b.s(0.05), b.s(0.05));
    p.drawLine(b.at(0.5, 0.7), b.at(0.5, 0.84));
    p.drawLine(b.at(0.3, 0.86), b.at(0.7, 0.86));
}

void iconSensor(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    fillPoly(p, b, {{0.58, 0.06}, {0.22, 0.54}, {0.46, 0.54}, {0.38, 0.94}, {0.78, 0.42}, {0.54, 0.42}}, c);
}

void iconRecordDot(QPainter& p, const QRectF& r, const QColor& c, Face f)
{
    Box b{squareIn(r)};
    recordDot(p, b.at(0.5, 0.5), b.s(0.32), signalRed(c, f));
}

void iconPower(QPainter& p, const QRectF& r, const QColor& c, Face)
{
    Box b{squareIn(r)};
    p.setPen(strokePen(b, c, 0.1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(b.at(0.18, 0.18), b.at(0.82, 0.82)), 120 * 16, 300 * 16);
    p.drawLine(b.at(0.5, 0.1), b.at(0.5, 0.46));
}

void iconCamera(QPainter& p, const QRectF& r, const QColor& c, Face f) { iconSnapshot(p, r, c, f); }

// ------------------------------------------------------------------ output --

bool save(const QDir& dir, int id, const QImage& img)
{
    const QString path = dir.filePath(QString::number(id) + ".jpg");
    QImageWriter w(path, "jpeg");
    w.setQuality(kJpegQuality);
    // Progressive and optimised Huffman tables only shrink the files; both are
    // deterministic.
    w.setOptimizedWrite(true);
    if (!w.write(img)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(w.errorString()));
        return false;
    }
    std::printf("%d.jpg %dx%d\n", id, img.width(), img.height());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing needs no display; choose the offscreen platform unless the
    // caller asked for another.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    std::vector<std::pair<int, QImage>> images;
    images.emplace_back(130, noVideoPicture());
    images.emplace_back(136, videoAreaBackground());
    images.emplace_back(137, controlPanelBackground());
    images.emplace_back(138, bottomBar());

    // Division buttons: four to a row across the control panel.
    const int divW = 40, divH = 32;
    const std::vector<std::pair<int, std::vector<Cell>>> divisions = {
        {1, {{0, 0, 1, 1}}}, {2, uniform(2)}, {3, bigTopLeft(3, 2)}, {4, bigTopLeft(4, 3)},
        {3, uniform(3)},     {4, tenPanes()}, {4, thirteenPanes()},  {4, uniform(4)},
    };
    for (size_t i = 0; i < divisions.size(); ++i) // 256..263: DIV 1, 4, 6, 8, 9, 10, 13, 16
        images.emplace_back(256 + static_cast<int>(i),
                            makeStrip(divW, divH, divisionIcon(divisions[i].first, divisions[i].second), 0.8));

    // Main command buttons.
    const int cmdW = 44, cmdH = 40;
    const double cmdIcon = 0.72;
    images.emplace_back(264, makeStrip(cmdW, cmdH, iconRecordAvi, cmdIcon));      // Record to AVI file
    images.emplace_back(265, makeStrip(cmdW, cmdH, iconConnect, cmdIcon));        // Connect to DVR
    images.emplace_back(266, makeStrip(cmdW, cmdH, iconDisconnect, cmdIcon));     // Disconnect from DVR
    images.emplace_back(267, makeStrip(cmdW, cmdH, iconFullScreen, cmdIcon));     // Full screen
    images.emplace_back(268, makeStrip(cmdW, cmdH, iconSettings, cmdIcon));       // Connection setting
    images.emplace_back(269, makeStrip(cmdW, cmdH, iconDvrRecordStart, cmdIcon)); // Start record in DVR
    images.emplace_back(270, makeStrip(cmdW, cmdH, iconDvrRecordStop, cmdIcon));  // Stop record in DVR
    images.emplace_back(271, makeStrip(cmdW, cmdH, iconSoundOn, cmdIcon));        // Audio on (mute off)
    images.emplace_back(272, makeStrip(cmdW, cmdH, iconSoundMuted, cmdIcon));     // Audio muted
    images.emplace_back(273, makeStrip(cmdW, cmdH, iconTimeSearch, cmdIcon));     // Search by time
    images.emplace_back(274, makeStrip(cmdW, cmdH, iconFileMode, cmdIcon));       // Enter file mode
    images.emplace_back(275, makeStrip(cmdW, cmdH, iconHddPlayback, cmdIcon));    // Full HDD playback

    // Pan/tilt/zoom/focus pad.
    const int ptzW = 36, ptzH = 36;
    const double ptzIcon = 0.66;
    images.emplace_back(276, makeStrip(ptzW, ptzH, iconLeft, ptzIcon));
    images.emplace_back(277, makeStrip(ptzW, ptzH, iconCentre, ptzIcon));
    images.emplace_back(278, makeStrip(ptzW, ptzH, iconRight, ptzIcon));
    images.emplace_back(279, makeStrip(ptzW, ptzH, iconDown, ptzIcon));
    images.emplace_back(280, makeStrip(ptzW, ptzH, iconUp, ptzIcon));
    images.emplace_back(281, makeStrip(ptzW, ptzH, iconZoomOut, ptzIcon));
    images.emplace_back(282, makeStrip(ptzW, ptzH, iconZoomIn, ptzIcon));
    images.emplace_back(283, makeStrip(ptzW, ptzH, iconFocusFar, ptzIcon));
    images.emplace_back(284, makeStrip(ptzW, ptzH, iconFocusNear, ptzIcon));
    images.emplace_back(285, makeStrip(ptzW, ptzH, iconSnapshot, ptzIcon));

    // Playback transport.
    const int trW = 36, trH = 28;
    const double trIcon = 0.7;
    images.emplace_back(286, makeStrip(trW, trH, iconOpenFile, trIcon));
    images.emplace_back(287, makeStrip(trW, trH, iconPlay, trIcon));
    images.emplace_back(288, makeStrip(trW, trH, iconStop, trIcon));
    images.emplace_back(289, makeStrip(trW, trH, iconFastForward, trIcon));
    images.emplace_back(290, makeStrip(trW, trH, iconRewind, trIcon));
    images.emplace_back(291, makeStrip(trW, trH, iconStepForward, trIcon));
    images.emplace_back(292, makeStrip(trW, trH, iconStepBack, trIcon));
    images.emplace_back(293, makeStrip(trW, trH, iconPause, trIcon));
    images.emplace_back(294, makeStrip(trW, trH, iconTimeReset, trIcon));

    images.emplace_back(295, sliderChannel(true));
    images.emplace_back(296, sliderChannel(false));
    images.emplace_back(297, sliderThumb(true));
    images.emplace_back(298, sliderThumb(false));

    // In-car DVR setup dialog: page buttons 90 x 50, command buttons 90 x 40.
    const struct {
        int id;
        IconFn icon;
        const char* label;
    } pages[] = {
        {300, iconPlay, "PLAY"},      {301, iconClock, "TIME"},        {302, iconMonitor, "DISPLAY"},
        {303, iconCamera, "CAMERA"},  {304, iconSensor, "SENSOR"},     {305, iconSettings, "SETTING"},
        {306, iconRecordDot, "RECORDING"}, {307, iconPower, "STARTUP"},
    };
    for (const auto& page : pages)
        images.emplace_back(page.id, makeStrip(90, 50, page.icon, 0.82, page.label, kPageColumn));
    images.emplace_back(309, makeTextStrip(90, 40, "APPLY", kCommandRow));
    images.emplace_back(310, makeTextStrip(90, 40, "CANCEL", kCommandRow));
    images.emplace_back(311, makeTextStrip(90, 40, "SAVE AS", kCommandRow));
    images.emplace_back(320, setupDialogBackground());
    images.emplace_back(321, makeStrip(cmdW, cmdH, iconDvrSettings, cmdIcon)); // DVR setting (setup file)

    for (const auto& [id, img] : images)
        if (!save(dir, id, img))
            return 1;
    return 0;
}
