#include "platform/canvas/PdfCanvas.h"

#include "platform/canvas/TrueTypeSubset.h"

#include <QCryptographicHash>
#include <QPainterPath>
#include <QRawFont>
#include <QSet>

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace kavum::platform {

namespace {

// PDF points per picture pixel.
constexpr double PointsPerPixel = 72.0 / 96.0;
// The handle of a quarter ellipse drawn as one cubic curve.
constexpr double Kappa = 0.5522847498307936;

// A text string of the document: UTF-16 with its byte order mark, in hex.
QByteArray TextString(const QString& text) {
    QByteArray out = "<FEFF";
    for (const QChar ch : text) out += QByteArray::number(ch.unicode() + 0x10000, 16).mid(1).toUpper();
    return out + '>';
}

// A zlib stream by the quicker deflater.
QByteArray QuickDeflated(const char* data, std::size_t size, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    if (!c) throw std::bad_alloc();
    QByteArray out(static_cast<qsizetype>(libdeflate_zlib_compress_bound(c, size)), Qt::Uninitialized);
    const std::size_t n = libdeflate_zlib_compress(c, data, size, out.data(), static_cast<std::size_t>(out.size()));
    libdeflate_free_compressor(c);
    if (n == 0) throw std::bad_alloc();
    out.truncate(static_cast<qsizetype>(n));
    return out;
}

// Coordinates go out in hundredths of a pixel, held as integers, so that
// differences of them are exact and a shape looks the same wherever it is.
long long Hundredths(double v) { return std::llround(std::clamp(v, -1e12, 1e12) * 100.0); }

// A number of hundredths as short as it goes: "3", "-2.5", ".25".
void Decimal(std::string& out, long long v) {
    char buffer[32];
    char* p = buffer;
    if (v < 0) {
        *p++ = '-';
        v = -v;
    }
    const long long whole = v / 100;
    const int frac = static_cast<int>(v % 100);
    if (whole != 0 || frac == 0) p = std::to_chars(p, buffer + sizeof buffer, whole).ptr;
    if (frac != 0) {
        *p++ = '.';
        *p++ = static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0) *p++ = static_cast<char>('0' + frac % 10);
    }
    out.append(buffer, static_cast<std::size_t>(p - buffer));
}

void Number(std::string& out, double v) { Decimal(out, Hundredths(v)); }

void Point(std::string& out, const QPointF& p, const char* op) {
    Number(out, p.x());
    out += ' ';
    Number(out, p.y());
    out += op;
}

void Append(std::string& out, const QByteArray& text) { out.append(text.constData(), static_cast<std::size_t>(text.size())); }

std::string Rgb(TColor c) {
    std::string out;
    for (int v : {RedOf(c), GreenOf(c), BlueOf(c)}) {
        Number(out, v / 255.0);
        out += ' ';
    }
    return out;
}

struct Hpoint {
    long long x, y;
    bool operator==(const Hpoint&) const = default;
};

Hpoint ToHundredths(const QPointF& p) { return Hpoint{Hundredths(p.x()), Hundredths(p.y())}; }

// A point relative to the origin the content stands at.
void Coordinates(std::string& out, const Hpoint& p, const Hpoint& origin, const char* op) {
    Decimal(out, p.x - origin.x);
    out += ' ';
    Decimal(out, p.y - origin.y);
    out += op;
}

// Whether b lies on the straight way from a on to c: dropping it changes
// neither the line nor its pattern.
bool Straight(const Hpoint& a, const Hpoint& b, const Hpoint& c) {
    const long long ux = b.x - a.x, uy = b.y - a.y, vx = c.x - b.x, vy = c.y - b.y;
    if (std::max({std::llabs(ux), std::llabs(uy), std::llabs(vx), std::llabs(vy)}) > (1LL << 30)) return false;
    return ux * vy == uy * vx && ux * vx + uy * vy > 0;
}

// A name without the characters names may not hold.
QByteArray PdfName(const QString& family) {
    QByteArray out;
    for (const char ch : family.toUtf8()) {
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-') out += ch;
    }
    return out.isEmpty() ? QByteArray("Font") : out;
}

// Whether a subpath is an upright rectangle given clockwise from its
// top-left corner, as areas and rectangles are.
bool IsBox(const TVectorCanvas::Path::Sub& sub, const QPointF* p) {
    return sub.kind == TVectorCanvas::Path::Kind::Polygon && sub.count == 4 && p[0].y() == p[1].y() &&
           p[1].x() == p[2].x() && p[2].y() == p[3].y() && p[3].x() == p[0].x() && p[1].x() > p[0].x() &&
           p[2].y() > p[1].y();
}

// One subpath in hundredths of a pixel, ready to be written at any origin:
// a box as its corner and size, an ellipse as its start and the three
// points of each of its four quarters, other shapes by their corners
// without repeats and without points on a straight run.
struct Shape {
    enum class Form { Box, Ellipse, Polygon, Polyline };
    Form form = Form::Polyline;
    std::vector<Hpoint> points;

    // False when nothing of the subpath is left to draw.
    bool Set(const TVectorCanvas::Path::Sub& sub, const QPointF* p) {
        using Kind = TVectorCanvas::Path::Kind;
        points.clear();
        if (sub.kind == Kind::Ellipse) {
            form = Form::Ellipse;
            const double rx = std::fabs(p[1].x() - p[0].x()) / 2, ry = std::fabs(p[1].y() - p[0].y()) / 2;
            const long long r = Hundredths(rx), s = Hundredths(ry);
            const long long k = Hundredths(rx * Kappa), l = Hundredths(ry * Kappa);
            // The centre such that the right end falls on the hundredth
            // nearest to it: the same ellipse has the same figures anywhere.
            const long long cx = Hundredths((p[0].x() + p[1].x()) / 2 + rx) - r;
            const long long cy = Hundredths((p[0].y() + p[1].y()) / 2);
            // Clockwise on the picture from the right end, as the areas go.
            const long long q[13][2] = {{r, 0},  {r, l},   {k, s},   {0, s},   {-k, s},  {-r, l}, {-r, 0},
                                        {-r, -l}, {-k, -s}, {0, -s}, {k, -s}, {r, -l}, {r, 0}};
            for (const auto& o : q) points.push_back(Hpoint{cx + o[0], cy + o[1]});
            return r != 0 || s != 0;
        }
        if (IsBox(sub, p)) {
            const Hpoint a = ToHundredths(p[0]), c = ToHundredths(p[2]);
            if (a.x != c.x && a.y != c.y) {
                form = Form::Box;
                points = {a, Hpoint{c.x - a.x, c.y - a.y}};
                return true;
            }
        }
        form = sub.kind == Kind::Polygon ? Form::Polygon : Form::Polyline;
        for (int i = 0; i < sub.count; ++i) {
            const Hpoint h = ToHundredths(p[i]);
            if (!points.empty() && points.back() == h) continue;
            if (points.size() >= 2 && Straight(points[points.size() - 2], points.back(), h)) {
                points.back() = h;
                continue;
            }
            points.push_back(h);
        }
        if (form == Form::Polygon) {
            while (points.size() > 1 && points.back() == points.front()) points.pop_back();
        }
        return points.size() >= 2;
    }

    Hpoint Start() const { return points.front(); }

    void Write(std::string& out, const Hpoint& origin) const {
        switch (form) {
            case Form::Box:
                Coordinates(out, points[0], origin, " ");
                Decimal(out, points[1].x);
                out += ' ';
                Decimal(out, points[1].y);
                out += " re\n";
                return;
            case Form::Ellipse:
                Coordinates(out, points[0], origin, " m\n");
                for (int i = 1; i < 13; ++i) Coordinates(out, points[static_cast<std::size_t>(i)], origin, i % 3 ? " " : " c\n");
                out.pop_back();
                out += " h\n";
                return;
            default:
                Coordinates(out, points[0], origin, " m\n");
                for (std::size_t i = 1; i < points.size(); ++i) Coordinates(out, points[i], origin, " l\n");
                if (form == Form::Polygon) {
                    out.pop_back();
                    out += " h\n";
                }
                return;
        }
    }
};

// Where the page has been drawn on, in cells of a few pixels: a mask-mode
// colour ANDed into the white ground is that colour, so it needs the
// multiply blend only where it falls on something drawn before.
class Coverage {
public:
    Coverage(int width, int height)
        : cols_((width + Cell - 1) / Cell + 1), rows_((height + Cell - 1) / Cell + 1),
          words_((static_cast<std::size_t>(cols_) + 63) / 64) {
        // A bit a cell; the bits of the coverage let go last on this
        // thread are taken again.
        const std::size_t size = words_ * static_cast<std::size_t>(rows_);
        if (spare_.size() == size) {
            bits_.swap(spare_);
            std::fill(bits_.begin(), bits_.end(), 0);
        } else {
            bits_.assign(size, 0);
        }
    }
    ~Coverage() { spare_.swap(bits_); }
    Coverage(const Coverage&) = delete;
    Coverage& operator=(const Coverage&) = delete;

    // Whether something lies in the box (picture pixels, grown by the margin).
    bool Any(double l, double t, double r, double b, double margin) const {
        const Span s = SpanOf(l, t, r, b, margin);
        for (int y = s.r0; y <= s.r1; ++y) {
            const std::uint64_t* line = bits_.data() + static_cast<std::size_t>(y) * words_;
            for (int w = s.c0 / 64; w <= s.c1 / 64; ++w) {
                if (line[w] & Mask(s, w)) return true;
            }
        }
        return false;
    }
    void Mark(double l, double t, double r, double b, double margin) {
        const Span s = SpanOf(l, t, r, b, margin);
        for (int y = s.r0; y <= s.r1; ++y) {
            std::uint64_t* line = bits_.data() + static_cast<std::size_t>(y) * words_;
            for (int w = s.c0 / 64; w <= s.c1 / 64; ++w) line[w] |= Mask(s, w);
        }
    }
    // The cells drawn on, as the words of a coverage of the same size that
    // hold any (their number and bits), and the same marked again.
    using Words = std::vector<std::pair<std::uint32_t, std::uint64_t>>;
    Words Marked() const {
        Words out;
        for (std::size_t i = 0; i < bits_.size(); ++i) {
            if (bits_[i] != 0) out.emplace_back(static_cast<std::uint32_t>(i), bits_[i]);
        }
        return out;
    }
    void Mark(const Words& words) {
        for (const auto& [i, bits] : words) {
            if (i < bits_.size()) bits_[i] |= bits;
        }
    }

    // The boxes a path covers: a filled subpath's whole box, a stroked
    // one's segment by segment. The walk ends when box returns true.
    template <typename F>
    static void Boxes(const TVectorCanvas::Path& path, bool filled, F&& box) {
        using Kind = TVectorCanvas::Path::Kind;
        for (const TVectorCanvas::Path::Sub& sub : path.subs) {
            const QPointF* p = path.points.data() + sub.first;
            if (filled || sub.kind == Kind::Ellipse) {
                double l = p[0].x(), t = p[0].y(), r = l, b = t;
                for (int i = 1; i < sub.count; ++i) {
                    l = std::min(l, p[i].x());
                    t = std::min(t, p[i].y());
                    r = std::max(r, p[i].x());
                    b = std::max(b, p[i].y());
                }
                if (box(l, t, r, b)) return;
                continue;
            }
            const int n = sub.kind == Kind::Polygon ? sub.count + 1 : sub.count;
            for (int i = 1; i < n; ++i) {
                const QPointF& a = p[i - 1];
                const QPointF& c = p[i % sub.count];
                if (box(std::min(a.x(), c.x()), std::min(a.y(), c.y()), std::max(a.x(), c.x()), std::max(a.y(), c.y())))
                    return;
            }
        }
    }

private:
    static constexpr int Cell = 4;
    struct Span {
        int c0, c1, r0, r1;
    };

    Span SpanOf(double l, double t, double r, double b, double margin) const {
        auto col = [&](double x) {
            return static_cast<int>(std::clamp(std::floor(x / Cell), 0.0, static_cast<double>(cols_ - 1)));
        };
        auto row = [&](double y) {
            return static_cast<int>(std::clamp(std::floor(y / Cell), 0.0, static_cast<double>(rows_ - 1)));
        };
        return Span{col(l - margin), col(r + margin), row(t - margin), row(b + margin)};
    }
    // The bits of word w that lie within the span's columns.
    static std::uint64_t Mask(const Span& s, int w) {
        const int from = std::max(s.c0, w * 64) - w * 64, to = std::min(s.c1, w * 64 + 63) - w * 64;
        const std::uint64_t high = to == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to + 1)) - 1;
        return high & ~((std::uint64_t{1} << from) - 1);
    }

    int cols_, rows_;
    std::size_t words_;
    std::vector<std::uint64_t> bits_;
    static thread_local std::vector<std::uint64_t> spare_;
};

thread_local std::vector<std::uint64_t> Coverage::spare_;

struct FontUse {
    TCanvasFont font;  // the font it was first asked for
    QRawFont raw;
    std::shared_ptr<const TTrueTypeFont> trueType;
    std::map<std::uint32_t, QString> glyphs;  // glyph -> the text it shows
    QByteArray resource;                      // /F1 ...
};

// The font a canvas font is set in and its tables, read once on a thread,
// whatever the number of pages.
std::pair<QRawFont, std::shared_ptr<const TTrueTypeFont>> LoadedFont(const TCanvasFont& font) {
    const QFont qfont = MakeQFont(font);
    thread_local std::map<QString, std::pair<QRawFont, std::shared_ptr<const TTrueTypeFont>>> known;
    auto [at, fresh] = known.try_emplace(qfont.key() + QLatin1Char('/') + QString::number(qfont.pixelSize()));
    if (fresh) {
        at->second.first = QRawFont::fromFont(qfont);
        at->second.second = std::make_shared<const TTrueTypeFont>(at->second.first);
    }
    return at->second;
}

QByteArray Ref(int n) { return QByteArray::number(n) + " 0 R"; }

QByteArray Stream(const QByteArray& dict, const QByteArray& data) {
    return "<< " + dict + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// Embeds a font with the glyphs given: the subset of their outlines, its
// descriptor, the CID font and what the glyphs stand for go in through add,
// the Type0 font that pages name through last; the Type0 font's number.
int EmbedFont(const QRawFont& raw, const TTrueTypeFont& tt, const std::map<std::uint32_t, QString>& glyphs,
              const std::function<int(const QByteArray&)>& add, const std::function<int(const QByteArray&)>& last) {
    auto deflated = [&](const QByteArray& data) {
        return QuickDeflated(data.constData(), static_cast<std::size_t>(data.size()), 1);
    };
    std::set<std::uint32_t> used;
    for (const auto& [glyph, text] : glyphs) used.insert(glyph);
    const QByteArray file = tt.Subset(used);
    // The subset's tag: six capitals from its glyphs.
    const QByteArray hash = QCryptographicHash::hash(file, QCryptographicHash::Md5);
    QByteArray tag;
    for (int i = 0; i < 6; ++i) tag += static_cast<char>('A' + static_cast<std::uint8_t>(hash[i]) % 26);
    const QByteArray name = tag + '+' + PdfName(raw.familyName());
    const double scale = 1000.0 / tt.UnitsPerEm();
    auto scaled = [&](int v) { return QByteArray::number(static_cast<int>(std::lround(v * scale))); };

    const int fontFile = add(Stream("/Filter /FlateDecode /Length1 " + QByteArray::number(file.size()), deflated(file)));
    const int* bb = tt.BBox();
    const int descriptor = add("<< /Type /FontDescriptor /FontName /" + name + " /Flags 4 /FontBBox [" +
                               scaled(bb[0]) + ' ' + scaled(bb[1]) + ' ' + scaled(bb[2]) + ' ' + scaled(bb[3]) +
                               "] /ItalicAngle 0 /Ascent " + scaled(tt.Ascent()) + " /Descent " +
                               scaled(tt.Descent()) + " /CapHeight " + scaled(tt.Ascent()) +
                               " /StemV 80 /FontFile2 " + Ref(fontFile) + " >>");
    QByteArray widths = "[";
    for (std::uint32_t g : used) widths += QByteArray::number(g) + " [" + scaled(tt.Advance(g)) + "] ";
    widths += ']';
    const int cidFont = add("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
                            " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                            " /FontDescriptor " + Ref(descriptor) + " /DW 1000 /W " + widths +
                            " /CIDToGIDMap /Identity >>");
    // What each glyph stands for, so that the text can be searched and copied.
    QByteArray cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<std::pair<std::uint32_t, QString>> entries(glyphs.begin(), glyphs.end());
    for (std::size_t i = 0; i < entries.size(); i += 100) {
        const std::size_t n = std::min<std::size_t>(100, entries.size() - i);
        cmap += QByteArray::number(static_cast<qulonglong>(n)) + " beginbfchar\n";
        for (std::size_t k = i; k < i + n; ++k) {
            QByteArray hex;
            for (const QChar ch : entries[k].second) hex += QByteArray::number(ch.unicode() + 0x10000, 16).mid(1);
            cmap += '<' + QByteArray::number(entries[k].first + 0x10000, 16).mid(1).toUpper() + "> <" +
                    hex.toUpper() + ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    const int toUnicode = add(Stream("/Filter /FlateDecode", deflated(cmap)));
    return last("<< /Type /Font /Subtype /Type0 /BaseFont /" + name + " /Encoding /Identity-H /DescendantFonts [" +
                Ref(cidFont) + "] /ToUnicode " + Ref(toUnicode) + " >>");
}

struct FontKey {
    QString name;
    bool bold;
    bool italic;
    bool operator<(const FontKey& o) const {
        return std::tie(name, bold, italic) < std::tie(o.name, o.bold, o.italic);
    }
};

// The state of a canvas that drawing reads and leaves behind.
struct CanvasState {
    TCanvasPen pen;
    TCanvasBrush brush;
    TCanvasFont font;
    bool transparent = false;
    QPoint position;
    bool operator==(const CanvasState&) const = default;
};

CanvasState StateOf(const TCanvas& c) { return {c.Pen(), c.Brush(), c.Font(), c.TextTransparent(), c.PenPos()}; }

// A font of a book page: its key (the canvas font's name in hexadecimal,
// bold and italic, the fingerprint of its tables), its size and the glyphs
// the page sets, with their text.
QByteArray BookFontStandIn(const TCanvasFont& font, const TTrueTypeFont& tt,
                           const std::map<std::uint32_t, QString>& glyphs) {
    QByteArray out = PdfFontMark + font.name.toUtf8().toHex() + ' ' + (font.bold ? '1' : '0') +
                     (font.italic ? '1' : '0') + ' ' + tt.Fingerprint() + "\n% " + QByteArray::number(font.height);
    for (const auto& [glyph, text] : glyphs) {
        out += ' ' + QByteArray::number(glyph, 16) + ':';
        for (const QChar ch : text) out += QByteArray::number(ch.unicode() + 0x10000, 16).mid(1);
    }
    return out + "\nnull";
}

}  // namespace

struct TPdfBookFonts::Impl {
    struct Font {
        TCanvasFont font;
        QByteArray fingerprint;
        std::map<std::uint32_t, QString> glyphs;
    };
    std::map<QByteArray, Font> fonts;
};

TPdfBookFonts::TPdfBookFonts() : d_(std::make_unique<Impl>()) {}
TPdfBookFonts::~TPdfBookFonts() = default;

QByteArray TPdfBookFonts::Note(const QByteArray& standIn) {
    const auto bad = [] { throw std::runtime_error("a figure page names its font in a way that does not read"); };
    const QByteArray mark(PdfFontMark);
    const QList<QByteArray> lines = standIn.split('\n');
    if (lines.size() < 2 || !lines[0].startsWith(mark) || !lines[1].startsWith("% ")) bad();
    const QByteArray key = lines[0].mid(mark.size()).trimmed();
    const QList<QByteArray> parts = key.split(' ');
    if (parts.size() != 3 || parts[1].size() != 2) bad();
    const QList<QByteArray> items = lines[1].mid(2).trimmed().split(' ');
    bool ok = false;
    const int size = items.value(0).toInt(&ok);
    if (!ok || size < 1) bad();
    auto [at, fresh] = d_->fonts.try_emplace(key);
    Impl::Font& f = at->second;
    if (fresh) {
        f.font.name = QString::fromUtf8(QByteArray::fromHex(parts[0]));
        f.font.bold = parts[1][0] == '1';
        f.font.italic = parts[1][1] == '1';
        f.font.height = size;
        f.fingerprint = parts[2];
    }
    for (qsizetype i = 1; i < items.size(); ++i) {
        const qsizetype colon = items[i].indexOf(':');
        const std::uint32_t glyph = colon > 0 ? items[i].left(colon).toUInt(&ok, 16) : 0;
        const QByteArray units = items[i].mid(colon + 1);
        if (colon <= 0 || !ok || units.isEmpty() || units.size() % 4) bad();
        QString text;
        for (qsizetype k = 0; k < units.size(); k += 4) {
            const uint unit = units.mid(k, 4).toUInt(&ok, 16);
            if (!ok) bad();
            text += QChar(static_cast<char16_t>(unit));
        }
        f.glyphs.try_emplace(glyph, text);
    }
    return key;
}

void TPdfBookFonts::Write(const QByteArray& key, int number, const std::function<int(const QByteArray&)>& add,
                          const std::function<void(int, const QByteArray&)>& put) const {
    const auto it = d_->fonts.find(key);
    if (it == d_->fonts.end()) throw std::runtime_error("the book has no glyphs of a font its pages name");
    const Impl::Font& f = it->second;
    const auto [raw, tt] = LoadedFont(f.font);
    // The glyphs are named by their numbers: only the very font will do.
    if (!tt->Valid() || tt->Fingerprint() != f.fingerprint) {
        throw std::runtime_error(QStringLiteral("フォント %1 がページを作ったときのものと違います")
                                     .arg(f.font.name)
                                     .toUtf8()
                                     .toStdString());
    }
    EmbedFont(raw, *tt, f.glyphs, add, [&](const QByteArray& body) {
        put(number, body);
        return number;
    });
}

struct TPdfShared::Impl {
    // A group drawn as a form: its calls, the clip it began under and the
    // page size it was drawn for; the object, and the cells it covers.
    struct Form {
        TVectorCanvas::Recorded calls;
        std::optional<TRect> clip;
        int width = 0;
        int height = 0;
        QByteArray key;
        QByteArray object;
        std::vector<std::pair<std::uint32_t, std::uint64_t>> cells;  // the words of a coverage of its size
        bool sent = false;     // carried by a confirmed page
        bool pending = false;  // carried by the page made last
        long long lastUse = 0;
        // The keys its callers know it by, each with the canvas state the
        // calls began in and the state they left.
        struct Keyed {
            std::string key;
            CanvasState start;
            CanvasState end;
        };
        std::vector<Keyed> keys;
    };
    std::vector<std::unique_ptr<Form>> forms;
    TVectorCanvas::Recorded noted;  // the group being noted (its memory kept from page to page)
    // The key the group being noted was named by, and the state it began in.
    std::optional<std::string> notedKey;
    CanvasState notedStart;
    long long keyedDraws = 0;
    long long pages = 0;
    bool book = true;
};

TPdfShared::TPdfShared(Kind kind) : d_(std::make_unique<Impl>()) { d_->book = kind == Kind::Book; }
TPdfShared::~TPdfShared() = default;

long long TPdfShared::KeyedDraws() const { return d_->keyedDraws; }

void TPdfShared::Commit() {
    for (auto& f : d_->forms) {
        if (f->pending) f->sent = true;
        f->pending = false;
    }
}

namespace {

// A group of fewer calls stays in its page.
constexpr std::size_t MinFormCalls = 2048;

}  // namespace

struct TPdfCanvas::Impl {
    QString title;
    std::unique_ptr<TPdfShared> own;  // the share of a canvas given none
    TPdfShared::Impl* shared = nullptr;
    bool book = false;  // a page of a book
    bool forming = false;  // drawing a form: its content stays whole
    std::vector<TPdfShared::Impl::Form*> used;  // the forms the page draws, /K1 on
    double pointsPerPixel = PointsPerPixel;
    // The page's content: what is written goes into content and, in pieces
    // of a megabyte, through the deflater into packed, so that a large
    // figure never stands whole as text.
    std::string content;
    z_stream zip{};
    bool zipOpen = false;
    QByteArray packed;
    qsizetype packedSize = 0;
    // Where the content's coordinates start: shapes are written from their
    // own first point, moved to it, so that the same shape is the same text
    // everywhere and a row of them compresses to little more than their
    // places.
    Hpoint origin{0, 0};
    Shape shape;
    std::unique_ptr<Coverage> drawn;
    bool finished = false;
    QByteArray document;
    bool clipped = false;
    std::optional<TRect> clip;  // the clip in force, opened again inside each group
    // The groups: optional content of the page, each with its name and the
    // group it lies in (-1 for none), in the order they begin.
    struct Group {
        QString name;
        int parent;
        QString id;
    };
    std::vector<Group> groups;
    std::vector<int> open;  // the groups begun and not ended, innermost last
    QSet<QString> names;
    // Where each open group's marked content begins, and how much was
    // drawn by then: a group that ends with nothing drawn in it is taken
    // out again.
    struct Begun {
        std::size_t offset;
        long long drawings;
        long long drains;
    };
    std::vector<Begun> begun;
    long long drawings = 0;
    long long drains = 0;

    void CloseClip() {
        if (!clipped) return;  // not written yet, or none
        // Back to the state of the q, which was at the picture's origin.
        content += "Q\n";
        ForgetState();
        origin = Hpoint{0, 0};
        clipped = false;
    }

    // The clip goes into the content when something is drawn under it.
    void OpenClip() {
        if (!clip || clipped) return;
        Absolute();
        content += "q ";
        Number(content, clip->left);
        content += ' ';
        Number(content, clip->top);
        content += ' ';
        Number(content, std::max(0, clip->Width()));
        content += ' ';
        Number(content, std::max(0, clip->Height()));
        content += " re W n\n";
        clipped = true;
    }
    // The graphics state written last (inside the current clip).
    std::optional<TColor> fillColour, strokeColour;
    std::optional<int> lineWidth;
    std::optional<TPenStyle> dash;
    std::optional<bool> multiply;
    std::map<FontKey, std::size_t> fontIndex;
    std::vector<FontUse> fonts;

    // A large page is deflated by a second thread while the drawing goes
    // on: the content's pieces wait in a short queue (the drawing waits when
    // it is full); a small page is deflated at its end without one.
    std::thread packer;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::string> pieces;
    std::vector<std::string> spare;  // emptied pieces, their memory kept
    bool lastPiece = false;
    bool packFailed = false;

    ~Impl() {
        StopPacker();
        if (zipOpen) deflateEnd(&zip);
    }

    // Deflates the data into packed; false on a failure of the deflater.
    bool Pack(const std::string& data, bool last) {
        if (!zipOpen) {
            zipOpen = deflateInit(&zip, 1) == Z_OK;
            if (!zipOpen) return false;
        }
        zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        zip.avail_in = static_cast<uInt>(data.size());
        for (;;) {
            if (packed.size() - packedSize < (1 << 16)) packed.resize(packed.size() + std::max<qsizetype>(1 << 18, packed.size() / 2));
            zip.next_out = reinterpret_cast<Bytef*>(packed.data() + packedSize);
            zip.avail_out = static_cast<uInt>(packed.size() - packedSize);
            const int result = deflate(&zip, last ? Z_FINISH : Z_NO_FLUSH);
            packedSize = packed.size() - static_cast<qsizetype>(zip.avail_out);
            if (result == Z_STREAM_END || (!last && zip.avail_in == 0 && zip.avail_out != 0)) return true;
            if (result != Z_OK && result != Z_BUF_ERROR) return false;
        }
    }

    void PackerLoop() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [&] { return !pieces.empty() || lastPiece; });
            if (pieces.empty()) break;
            std::string piece = std::move(pieces.front());
            pieces.pop_front();
            changed.notify_all();
            guard.unlock();
            const bool ok = Pack(piece, false);
            piece.clear();
            guard.lock();
            packFailed = packFailed || !ok;
            spare.push_back(std::move(piece));
        }
        guard.unlock();
        const bool ok = Pack(std::string(), true);
        guard.lock();
        packFailed = packFailed || !ok;
    }

    void StopPacker() {
        if (!packer.joinable()) return;
        {
            const std::lock_guard<std::mutex> guard(lock);
            lastPiece = true;
        }
        changed.notify_all();
        packer.join();
    }

    // Every megabyte of content goes to the deflater.
    void Drain() {
        ++drawings;
        if (content.size() < (1 << 20) || forming || book) return;
        ++drains;
        std::unique_lock<std::mutex> guard(lock);
        if (!packer.joinable()) packer = std::thread([this] { PackerLoop(); });
        changed.wait(guard, [&] { return pieces.size() < 4; });
        pieces.push_back(std::move(content));
        std::string next;
        if (!spare.empty()) {
            next = std::move(spare.back());
            spare.pop_back();
        }
        guard.unlock();
        changed.notify_all();
        content = std::move(next);
        content.clear();
        content.reserve((1 << 20) + (1 << 16));
    }

    // Deflates what is left and closes the stream.
    void PackAll() {
        // A page that never went to the deflater in pieces is packed whole,
        // by the quicker one.
        if (book || !packer.joinable()) {
            packed = QuickDeflated(content.data(), content.size(), 1);
            packedSize = packed.size();
            content.clear();
            return;
        }
        {
            const std::lock_guard<std::mutex> guard(lock);
            pieces.push_back(std::move(content));
        }
        changed.notify_all();
        StopPacker();
        content.clear();
        if (packFailed) throw std::bad_alloc();
    }

    // The content's coordinates from here on start at the point.
    void MoveTo(const Hpoint& to) {
        if (to == origin) return;
        content += "1 0 0 1 ";
        Decimal(content, to.x - origin.x);
        content += ' ';
        Decimal(content, to.y - origin.y);
        content += " cm\n";
        origin = to;
    }

    // Back to the picture's own coordinates.
    void Absolute() { MoveTo(Hpoint{0, 0}); }

    void ForgetState() {
        fillColour.reset();
        strokeColour.reset();
        lineWidth.reset();
        dash.reset();
        multiply.reset();
    }

    bool multiplied = false;  // the page uses the multiply blend mode

    void SetMultiply(bool on) {
        if (multiply == on) return;
        if (!on && !multiplied) {
            // The normal mode is the page's own until a multiply comes.
            multiply = false;
            return;
        }
        if (on) multiplied = true;
        content += on ? "/GM gs\n" : "/GN gs\n";
        multiply = on;
    }

    // Draws a form of the share at the picture's origin in the normal
    // blend, as the page's own drawing would be.
    void DrawForm(TPdfShared::Impl::Form& form) {
        form.lastUse = shared->pages;
        auto at = std::find(used.begin(), used.end(), &form);
        if (at == used.end()) at = used.insert(used.end(), &form);
        Absolute();
        SetMultiply(false);
        content += "/K" + std::to_string(at - used.begin() + 1) + " Do\n";
        drawn->Mark(form.cells);
        ++drawings;
    }

    void SetFill(TColor c) {
        if (fillColour == c) return;
        content += Rgb(c) + "rg\n";
        fillColour = c;
    }

    void SetStroke(TColor c, int width, TPenStyle style) {
        if (dash != style) {
            content += '[';
            const std::vector<int> dashes = DashPattern(style);
            for (std::size_t i = 0; i < dashes.size(); ++i) content += (i ? " " : "") + std::to_string(dashes[i]);
            content += "] 0 d\n";
            dash = style;
        }
        if (strokeColour != c) {
            content += Rgb(c) + "RG\n";
            strokeColour = c;
        }
        if (lineWidth != width) {
            content += std::to_string(width) + (width > 1 ? " w 1 J 1 j\n" : " w 0 J 0 j\n");
            lineWidth = width;
        }
    }

    FontUse& Font(const TCanvasFont& font) {
        const FontKey key{font.name, font.bold, font.italic};
        auto it = fontIndex.find(key);
        if (it != fontIndex.end()) return fonts[it->second];
        FontUse use;
        use.font = font;
        std::tie(use.raw, use.trueType) = LoadedFont(font);
        use.resource = "/F" + QByteArray::number(static_cast<qulonglong>(fonts.size() + 1));
        fonts.push_back(std::move(use));
        fontIndex[key] = fonts.size() - 1;
        return fonts.back();
    }
};

TPdfCanvas::TPdfCanvas(int width, int height, const QString& title, double scale, TPdfShared* shared)
    : TVectorCanvas(width, height), d_(std::make_unique<Impl>()) {
    d_->title = title;
    if (!shared) {
        d_->own = std::make_unique<TPdfShared>(TPdfShared::Kind::Files);
        shared = d_->own.get();
    }
    d_->shared = shared->d_.get();
    d_->book = d_->shared->book;
    d_->pointsPerPixel = PointsPerPixel * scale;
    d_->content.reserve((1 << 20) + (1 << 16));
    d_->drawn = std::make_unique<Coverage>(Width(), Height());
    // Picture pixels, y down, on the page's points.
    Append(d_->content, QByteArray::number(d_->pointsPerPixel) + " 0 0 " + QByteArray::number(-d_->pointsPerPixel) +
                            " 0 " + QByteArray::number(Height() * d_->pointsPerPixel) + " cm\n");
}

TPdfCanvas::~TPdfCanvas() = default;

void TPdfCanvas::WritePath(const Path& path, const std::optional<Paint>& fill, bool evenOdd,
                           const std::optional<Stroke>& stroke) {
    if (d_->finished || (!fill && !stroke)) return;
    Impl& d = *d_;
    d.OpenClip();
    // The mask mode multiplies only where the path meets what is drawn
    // already; on the white ground it is the plain colour.
    const double margin = stroke ? stroke->width / 2.0 + 1 : 1;
    bool multiply = (fill && fill->multiply) || (stroke && stroke->paint.multiply);
    if (multiply) {
        bool meets = false;
        Coverage::Boxes(path, fill.has_value(), [&](double l, double t, double r, double b) {
            meets = d.drawn->Any(l, t, r, b, margin);
            return meets;
        });
        multiply = meets;
    }
    // White on the white ground leaves it white: the ground stays clean.
    if (stroke || !fill || (fill->color & 0xFFFFFF) != clWhite) {
        Coverage::Boxes(path, fill.has_value(), [&](double l, double t, double r, double b) {
            d.drawn->Mark(l, t, r, b, margin);
            return false;
        });
    }
    d.SetMultiply(multiply);
    if (fill) d.SetFill(fill->color);
    if (stroke) d.SetStroke(stroke->paint.color, stroke->width, stroke->width > 1 ? TPenStyle::Solid : stroke->style);
    std::string& out = d.content;
    const char* paint = fill && stroke ? (evenOdd ? "B*\n" : "B\n") : fill ? (evenOdd ? "f*\n" : "f\n") : "S\n";
    if (stroke && !multiply) {
        // Lines and outlined shapes of a plain colour: each subpath on its
        // own, which paints the pixels the whole path does (the shapes of a
        // batch do not touch, a colour over itself stays the colour).
        for (const Path::Sub& sub : path.subs) {
            if (!d.shape.Set(sub, path.points.data() + sub.first)) continue;
            d.MoveTo(d.shape.Start());
            d.shape.Write(out, d.origin);
            out += paint;
            d.Drain();
        }
        return;
    }
    // Areas (the pixels of which meet edge to edge) and what multiplies:
    // one path, which the reader fills or strokes as one.
    d.Absolute();
    bool any = false;
    for (const Path::Sub& sub : path.subs) {
        if (!d.shape.Set(sub, path.points.data() + sub.first)) continue;
        d.shape.Write(out, d.origin);
        any = true;
    }
    if (any) out += paint;
    d.Drain();
}

void TPdfCanvas::WriteText(const QString& text, const std::vector<double>& xs, double baseline,
                           const TCanvasFont& font) {
    if (d_->finished) return;
    Impl& d = *d_;
    FontUse& use = d.Font(font);
    if (!use.raw.isValid()) return;
    d.OpenClip();
    d.SetMultiply(false);
    d.SetFill(font.color);
    d.Absolute();
    if (!xs.empty()) {
        d.drawn->Mark(xs.front(), baseline - font.height, xs.back() + font.height, baseline + font.height / 2.0, 1);
    }
    std::string& out = d.content;
    const bool embedded = use.trueType->Valid();
    if (embedded) {
        // One text object and one run per label: the first glyph placed,
        // the others following by their advances, each corrected to where
        // the screen puts it.
        const TTrueTypeFont& tt = *use.trueType;
        const double size = font.height;
        QByteArray run;
        bool started = false;
        double penX = 0;  // where the run's next glyph would go by itself
        for (qsizetype i = 0; i < text.size(); ++i) {
            const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
            const QString ch = text.mid(i, pair ? 2 : 1);
            const double x = xs[static_cast<std::size_t>(i)];
            if (pair) ++i;
            const QList<quint32> glyphs = use.raw.glyphIndexesForString(ch);
            if (glyphs.isEmpty()) continue;
            const quint32 glyph = glyphs.front();
            use.glyphs.emplace(glyph, ch);
            if (!started) {
                Append(out, "BT " + use.resource + ' ' + QByteArray::number(font.height) + " Tf 1 0 0 -1 ");
                Number(out, x);
                out += ' ';
                Number(out, baseline);
                out += " Tm [";
                started = true;
                penX = x;
            } else {
                // Thousandths of the font size, positive to the left.
                const long adjust = std::lround((penX - x) * 1000.0 / size);
                if (adjust != 0) {
                    run += QByteArray::number(static_cast<qlonglong>(adjust));
                    penX -= adjust * size / 1000.0;
                }
            }
            run += '<' + QByteArray::number(glyph + 0x10000, 16).mid(1).toUpper() + '>';
            // The advance the page's widths give the glyph.
            penX += std::lround(tt.Advance(glyph) * 1000.0 / tt.UnitsPerEm()) * size / 1000.0;
        }
        if (started) Append(out, run + "] TJ ET\n");
        d.Drain();
        return;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const QString ch = text.mid(i, pair ? 2 : 1);
        const double x = xs[static_cast<std::size_t>(i)];
        if (pair) ++i;
        if (ch == QStringLiteral(" ")) continue;
        const QList<quint32> glyphs = use.raw.glyphIndexesForString(ch);
        if (glyphs.isEmpty()) continue;
        const quint32 glyph = glyphs.front();
        {
            // Without TrueType outlines the glyph is drawn as its outline.
            const QPainterPath outline = use.raw.pathForGlyph(glyph).translated(x, baseline);
            if (outline.isEmpty()) continue;
            for (int e = 0; e < outline.elementCount(); ++e) {
                const QPainterPath::Element el = outline.elementAt(e);
                if (el.isMoveTo()) {
                    Point(out, QPointF(el.x, el.y), " m\n");
                } else if (el.isLineTo()) {
                    Point(out, QPointF(el.x, el.y), " l\n");
                } else if (el.isCurveTo() && e + 2 < outline.elementCount()) {
                    Point(out, QPointF(el.x, el.y), " ");
                    const QPainterPath::Element c2 = outline.elementAt(e + 1);
                    const QPainterPath::Element to = outline.elementAt(e + 2);
                    Point(out, QPointF(c2.x, c2.y), " ");
                    Point(out, QPointF(to.x, to.y), " c\n");
                    e += 2;
                }
            }
            out += "f\n";
        }
    }
    d.Drain();
}

void TPdfCanvas::WriteClip(const std::optional<TRect>& clip) {
    if (d_->finished) return;
    Impl& d = *d_;
    d.CloseClip();
    d.clip = clip;
}

// A group is a part of the page's optional content (a layer a reader can
// show, hide and select together). The clip's q always lies innermost, so
// that groups and graphics states nest: it is closed before a group begins
// or ends and opened again inside.
void TPdfCanvas::BeginGroup(const QString& id, const QString& label) {
    if (d_->finished) return;
    // A group inside the one being noted: that one is drawn as it comes.
    InterruptRecording();
    FlushPending();
    Impl& d = *d_;
    d.CloseClip();
    d.Absolute();
    QString unique = id.isEmpty() ? QStringLiteral("Group") : id;
    for (int n = 2; d.names.contains(unique); ++n) unique = (id.isEmpty() ? QStringLiteral("Group") : id) + QLatin1Char('_') + QString::number(n);
    d.names.insert(unique);
    // The layer bears the label a reader shows, or else the id.
    d.groups.push_back(Impl::Group{label.isEmpty() ? unique : label, d.open.empty() ? -1 : d.open.back(), unique});
    d.open.push_back(static_cast<int>(d.groups.size()) - 1);
    d.begun.push_back(Impl::Begun{d.content.size(), d.drawings, d.drains});
    d.content += "/OC /oc" + std::to_string(d.groups.size()) + " BDC\n";
    // In a book the group's calls are noted: a group drawn the same on an
    // earlier page becomes that page's form again. Separate files note only
    // the groups their caller names by a key (DrawKeyedGroup), which are
    // the ones drawn the same in every file of a run.
    d.shared->notedKey.reset();
    if (d.book) StartRecording(&d.shared->noted);
}

bool TPdfCanvas::DrawKeyedGroup(const std::string& key) {
    Impl& d = *d_;
    // Only at the start of a group, before any call of it.
    if (d.finished || d.open.empty()) return false;
    TPdfShared::Impl& s = *d.shared;
    if (d.book) {
        if (!Recording() || s.noted.interrupted || !s.noted.calls.empty() || !s.noted.points.empty() ||
            s.noted.masks || s.noted.clips) {
            return false;
        }
    } else if (Recording() || Pending() || d.drawings != d.begun.back().drawings) {
        return false;
    }
    const CanvasState start = StateOf(*this);
    for (const auto& f : s.forms) {
        if (f->width != Width() || f->height != Height() || f->clip != d.clip) continue;
        for (const auto& k : f->keys) {
            if (k.key != key || !(k.start == start)) continue;
            StopRecording();
            s.notedKey.reset();
            d.DrawForm(*f);
            ++s.keyedDraws;
            SetPen(k.end.pen);
            SetBrush(k.end.brush);  // sets the text ground too: the state's comes after
            SetTextTransparent(k.end.transparent);
            SetFont(k.end.font);
            MoveTo(k.end.position.x(), k.end.position.y());
            return true;
        }
    }
    // Noted from here on, to become the form of the key.
    if (!d.book) StartRecording(&s.noted);
    s.notedKey = key;
    s.notedStart = start;
    return false;
}

void TPdfCanvas::DrawNoted() {
    Impl& d = *d_;
    TPdfShared::Impl& s = *d.shared;
    const Recorded& noted = s.noted;
    if (noted.interrupted) return;  // drawn already
    // What depends on the page drawn before (the mask mode), changes the
    // clip, or is small stays in the page.
    if (noted.masks || noted.clips || noted.calls.size() < MinFormCalls) {
        Replay(noted);
        return;
    }
    TPdfShared::Impl::Form* form = nullptr;
    for (const auto& f : s.forms) {
        if (f->width == Width() && f->height == Height() && f->clip == d.clip && f->calls.SameCalls(noted)) {
            form = f.get();
            break;
        }
    }
    if (!form) {
        auto f = std::make_unique<TPdfShared::Impl::Form>();
        f->calls = noted;
        f->clip = d.clip;
        f->width = Width();
        f->height = Height();
        // Drawn on a content of its own, from no state, with the cells it
        // covers counted apart.
        std::string page;
        page.swap(d.content);
        const auto fill = d.fillColour, stroke = d.strokeColour;
        const auto lineWidth = d.lineWidth;
        const auto dash = d.dash;
        const auto multiply = d.multiply;
        const Hpoint origin = d.origin;
        d.ForgetState();
        d.multiply = false;
        d.origin = Hpoint{0, 0};
        std::unique_ptr<Coverage> drawn = std::move(d.drawn);
        d.drawn = std::make_unique<Coverage>(Width(), Height());
        d.forming = true;
        Replay(f->calls);
        FlushPending();
        d.CloseClip();
        d.forming = false;
        f->cells = d.drawn->Marked();
        d.drawn = std::move(drawn);
        std::string body;
        body.swap(d.content);
        d.content.swap(page);
        d.fillColour = fill;
        d.strokeColour = stroke;
        d.lineWidth = lineWidth;
        d.dash = dash;
        d.multiply = multiply;
        d.origin = origin;
        const QByteArray packed = QuickDeflated(body.data(), body.size(), 1);
        f->key = QCryptographicHash::hash(packed, QCryptographicHash::Sha1).toHex();
        const QByteArray head = PdfSharedMark + f->key + "\n<< /Type /XObject /Subtype /Form /BBox [0 0 " +
                                QByteArray::number(Width()) + ' ' + QByteArray::number(Height()) +
                                "] /Resources << >> /Filter /FlateDecode /Length " +
                                QByteArray::number(packed.size()) + " >>\nstream\n";
        f->object.reserve(head.size() + packed.size() + 16);
        f->object.append(head).append(packed).append("\nendstream");
        form = f.get();
        s.forms.push_back(std::move(f));
    }
    if (s.notedKey) {
        // Known by its key from now on, with the state its calls left.
        const CanvasState end = StateOf(*this);
        auto known = std::find_if(form->keys.begin(), form->keys.end(), [&](const auto& k) {
            return k.key == *s.notedKey && k.start == s.notedStart;
        });
        if (known == form->keys.end()) {
            // A few keys a form: a caller whose key changes at every page
            // would otherwise pile them up.
            if (form->keys.size() >= 8) form->keys.erase(form->keys.begin());
            form->keys.push_back({*s.notedKey, s.notedStart, end});
        } else {
            known->end = end;
        }
        s.notedKey.reset();
    }
    d.DrawForm(*form);
}

void TPdfCanvas::EndGroup() {
    if (d_->finished || d_->open.empty()) return;
    if (Recording()) {
        StopRecording();
        DrawNoted();
    }
    FlushPending();
    Impl& d = *d_;
    d.CloseClip();
    const Impl::Begun begun = d.begun.back();
    d.begun.pop_back();
    if (begun.drawings == d.drawings && begun.drains == d.drains &&
        d.open.back() == static_cast<int>(d.groups.size()) - 1) {
        // Nothing drawn in it: no layer.
        d.content.resize(begun.offset);
        d.ForgetState();
        d.names.remove(d.groups.back().id);
        d.groups.pop_back();
        d.open.pop_back();
        return;
    }
    d.content += "EMC\n";
    d.open.pop_back();
}

QByteArray TPdfCanvas::Finish() {
    if (d_->finished) return d_->document;
    InterruptRecording();
    FlushPending();
    Impl& d = *d_;
    d.CloseClip();
    for (; !d.open.empty(); d.open.pop_back()) d.content += "EMC\n";
    d.finished = true;
    d.PackAll();
    d.packed.resize(d.packedSize);
    std::string().swap(d.content);

    // Objects 1 catalog, 2 pages, 3 page, 4 content, 5 info, then the fonts.
    std::vector<QByteArray> objects(5);
    auto add = [&](const QByteArray& body) {
        objects.push_back(body);
        return static_cast<int>(objects.size());
    };
    auto ref = [](int n) { return Ref(n); };

    QByteArray fontResources;
    for (FontUse& use : d.fonts) {
        if (!use.trueType->Valid() || use.glyphs.empty()) continue;
        // A book embeds each font once, with the glyphs of all its pages:
        // the page names its glyphs.
        const int type0 = d.book ? add(BookFontStandIn(use.font, *use.trueType, use.glyphs))
                                   : EmbedFont(use.raw, *use.trueType, use.glyphs, add, add);
        fontResources += use.resource + ' ' + ref(type0) + ' ';
    }

    // The forms the page draws: whole, or by their key once a page that
    // carried them is delivered.
    QByteArray formResources;
    for (std::size_t i = 0; i < d.used.size(); ++i) {
        TPdfShared::Impl::Form& f = *d.used[i];
        const bool named = d.book && f.sent;
        // The object is shared with the form, not copied.
        const int n = add(named ? PdfSharedMark + f.key + "\nnull" : f.object);
        if (!named) f.pending = true;
        formResources += "/K" + QByteArray::number(static_cast<qulonglong>(i + 1)) + ' ' + ref(n) + ' ';
    }
    if (d.shared) {
        // Forms no page used of late are let go.
        TPdfShared::Impl& s = *d.shared;
        ++s.pages;
        std::erase_if(s.forms, [&](const auto& f) { return f->lastUse + 2 < s.pages; });
    }

    const QByteArray w = QByteArray::number(Width() * d.pointsPerPixel);
    const QByteArray h = QByteArray::number(Height() * d.pointsPerPixel);
    // The groups as optional content, listed as they nest.
    QByteArray properties, ocgs, order;
    if (!d.groups.empty()) {
        std::vector<int> refs;
        for (const Impl::Group& g : d.groups) refs.push_back(add("<< /Type /OCG /Name " + TextString(g.name) + " >>"));
        std::function<QByteArray(int)> children = [&](int parent) {
            QByteArray list;
            for (std::size_t i = 0; i < d.groups.size(); ++i) {
                if (d.groups[i].parent != parent) continue;
                list += ref(refs[i]) + ' ';
                const QByteArray inner = children(static_cast<int>(i));
                if (!inner.isEmpty()) list += '[' + inner + "] ";
            }
            return list;
        };
        for (std::size_t i = 0; i < d.groups.size(); ++i) {
            properties += "/oc" + QByteArray::number(static_cast<qulonglong>(i + 1)) + ' ' + ref(refs[i]) + ' ';
            ocgs += ref(refs[i]) + ' ';
        }
        order = children(-1);
    }
    objects[0] = d.groups.empty() ? QByteArray("<< /Type /Catalog /Pages 2 0 R >>")
                                  : QByteArray("<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [" + ocgs +
                                               "] /D << /Order [" + order + "] >> >> >>");
    objects[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + ' ' + h +
                 "] /Contents 4 0 R /Resources << /Font << " + fontResources + ">>" +
                 (formResources.isEmpty() ? QByteArray() : " /XObject << " + formResources + ">>") +
                 (properties.isEmpty() ? QByteArray() : " /Properties << " + properties + ">>") +
                 (d.multiplied ? QByteArray(" /ExtGState << /GN << /BM /Normal >> /GM << /BM /Multiply >> >>")
                               : QByteArray()) +
                 " >> >>";
    objects[3] = Stream("/Filter /FlateDecode", d.packed);
    objects[4] = "<< /Creator (Kavum) /Producer (Kavum)" +
                 (d.title.isEmpty() ? QByteArray() : " /Title " + TextString(d.title)) + " >>";
    QByteArray().swap(d.packed);

    QByteArray& out = d.document;
    // Optional content came with version 1.5.
    out = (d.groups.empty() ? "%PDF-1.4" : "%PDF-1.5") + QByteArray("\n%\xE2\xE3\xCF\xD3\n");
    qsizetype total = out.size() + 256;
    for (const QByteArray& o : objects) total += o.size() + 32;
    out.reserve(total + 20 * static_cast<qsizetype>(objects.size()));
    std::vector<qsizetype> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out.append(QByteArray::number(static_cast<qulonglong>(i + 1))).append(" 0 obj\n").append(objects[i]).append("\nendobj\n");
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(static_cast<qulonglong>(objects.size() + 1)) + "\n0000000000 65535 f \n";
    for (qsizetype o : offsets) out += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(static_cast<qulonglong>(objects.size() + 1)) +
           " /Root 1 0 R /Info 5 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

}  // namespace kavum::platform
