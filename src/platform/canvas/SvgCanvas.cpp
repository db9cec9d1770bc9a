#include "platform/canvas/SvgCanvas.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kavum::platform {

namespace {

void Number(QByteArray& out, double v) { AppendNumber(out, v); }
void Number(std::string& out, double v) { AppendNumber(out, v); }

void Colour(QByteArray& out, TColor c) {
    static constexpr char Hex[] = "0123456789abcdef";
    const char buffer[7] = {'#',
                            Hex[RedOf(c) >> 4 & 15],   Hex[RedOf(c) & 15],
                            Hex[GreenOf(c) >> 4 & 15], Hex[GreenOf(c) & 15],
                            Hex[BlueOf(c) >> 4 & 15],  Hex[BlueOf(c) & 15]};
    out.append(buffer, 7);
}

QByteArray Escaped(const QString& given) {
    // Characters XML does not allow (control characters from a data file,
    // U+FFFE, U+FFFF) are shown as their visible symbols, so that the file
    // stays well-formed.
    QString text = given;
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') c = QChar(char16_t(0x2400 + u));
        if (u == 0xFFFE || u == 0xFFFF) c = QChar(0xFFFD);
    }
    QByteArray out;
    for (const char ch : text.toUtf8()) {
        switch (ch) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += ch;
        }
    }
    return out;
}

void PathData(std::string& out, const TVectorCanvas::Path& path) {
    using Kind = TVectorCanvas::Path::Kind;
    for (const TVectorCanvas::Path::Sub& sub : path.subs) {
        const QPointF* p = path.points.data() + sub.first;
        if (sub.kind == Kind::Ellipse) {
            // Two half arcs, clockwise from the right end.
            const double cx = (p[0].x() + p[1].x()) / 2, cy = (p[0].y() + p[1].y()) / 2;
            const double rx = std::fabs(p[1].x() - p[0].x()) / 2, ry = std::fabs(p[1].y() - p[0].y()) / 2;
            out += 'M';
            Number(out, cx + rx);
            out += ' ';
            Number(out, cy);
            for (int half = 0; half < 2; ++half) {
                out += 'a';
                Number(out, rx);
                out += ' ';
                Number(out, ry);
                out += " 0 0 1 ";
                Number(out, half == 0 ? -2 * rx : 2 * rx);
                out += " 0";
            }
            out += 'z';
            continue;
        }
        out += 'M';
        Number(out, p[0].x());
        out += ' ';
        Number(out, p[0].y());
        if (sub.kind == Kind::Polygon && sub.count == 4 && p[0].y() == p[1].y() && p[1].x() == p[2].x() &&
            p[2].y() == p[3].y() && p[3].x() == p[0].x()) {
            // An upright rectangle, clockwise from its first corner.
            out += 'h';
            Number(out, p[1].x() - p[0].x());
            out += 'v';
            Number(out, p[2].y() - p[1].y());
            out += 'h';
            Number(out, p[3].x() - p[2].x());
            out += 'z';
            continue;
        }
        char last = 0;  // the command of the step before
        for (int i = 1; i < sub.count; ++i) {
            // Relative steps are the shortest; upright ones need one number.
            const double dx = p[i].x() - p[i - 1].x(), dy = p[i].y() - p[i - 1].y();
            const char command = dy == 0 ? 'h' : dx == 0 ? 'v' : 'l';
            const double first = command == 'v' ? dy : dx;
            if (command != last) {
                out += command;
            } else if (first >= 0) {
                out += ' ';  // a minus sign parts the numbers by itself
            }
            Number(out, first);
            if (command == 'l') {
                if (dy >= 0) out += ' ';
                Number(out, dy);
            }
            last = command;
        }
        if (sub.kind == Kind::Polygon) out += 'z';
    }
}

}  // namespace

QString FontFamiliesOf(const QString& face) {
    QString fallback;
    if (face == QStringLiteral("ＭＳ ゴシック")) fallback = QStringLiteral("'MS Gothic', IPAGothic, monospace");
    if (face == QStringLiteral("ＭＳ 明朝")) fallback = QStringLiteral("'MS Mincho', IPAMincho, serif");
    if (face == QStringLiteral("ＭＳ Ｐ明朝")) fallback = QStringLiteral("'MS PMincho', IPAPMincho, serif");
    if (face == QStringLiteral("Times New Roman")) fallback = QStringLiteral("'Liberation Serif', serif");
    QString name = face;
    name.replace(QLatin1Char('\''), QString());
    return QLatin1Char('\'') + name + QLatin1Char('\'') + (fallback.isEmpty() ? QString() : QStringLiteral(", ") + fallback);
}

TSvgCanvas::TSvgCanvas(int width, int height, const QString& title, double scale, bool millimetres)
    : TVectorCanvas(width, height) {
    out_.reserve(1 << 20);
    out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" "
            "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" version=\"1.1\" width=\"";
    // A size in millimetres to a thousandth, in pixels to a hundredth.
    const double unit = millimetres ? 25.4 / 96.0 : 1.0;
    const char* suffix = millimetres ? "mm" : "px";
    auto size = [&](double v) {
        if (millimetres) {
            out_ += QByteArray::number(std::round(v * unit * 1000.0) / 1000.0, 'g', 12);
        } else {
            Number(out_, v);
        }
    };
    size(Width() * scale);
    out_ += QByteArray(suffix) + "\" height=\"";
    size(Height() * scale);
    out_ += QByteArray(suffix) + "\" viewBox=\"0 0 " + QByteArray::number(Width()) + ' ' + QByteArray::number(Height()) + "\">\n";
    if (!title.isEmpty()) out_ += "<title>" + Escaped(title) + "</title>\n";
    out_ += "<desc>Kavum</desc>\n";
}

TSvgCanvas::~TSvgCanvas() = default;

QByteArray TSvgCanvas::Finish() {
    if (!finished_) {
        FlushPending();
        CloseClip();
        for (; groups_ > 0; --groups_) out_ += "</g>\n";
        out_ += "</svg>\n";
        finished_ = true;
    }
    return out_;
}

void TSvgCanvas::WritePath(const Path& path, const std::optional<Paint>& fill, bool evenOdd,
                           const std::optional<Stroke>& stroke) {
    if (finished_) return;
    QByteArray paint;
    if (fill) {
        paint += " fill=\"";
        Colour(paint, fill->color);
        paint += '"';
        if (evenOdd) paint += " fill-rule=\"evenodd\"";
    } else {
        paint += " fill=\"none\"";
    }
    if (stroke) {
        paint += " stroke=\"";
        Colour(paint, stroke->paint.color);
        paint += '"';
        if (stroke->width > 1) {
            paint += " stroke-width=\"" + QByteArray::number(stroke->width) +
                     "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"";
        } else {
            paint += " stroke-linecap=\"butt\" stroke-linejoin=\"miter\"";
            const std::vector<int> dashes = DashPattern(stroke->style);
            if (!dashes.empty()) {
                paint += " stroke-dasharray=\"";
                for (std::size_t i = 0; i < dashes.size(); ++i) paint += (i ? " " : "") + QByteArray::number(dashes[i]);
                paint += '"';
            }
        }
    }
    // The mask mode keeps what lies below where the colour has it.
    if ((fill && fill->multiply) || (stroke && stroke->paint.multiply)) paint += " style=\"mix-blend-mode:multiply\"";
    {
        double l = 1e300, t = 1e300, r = -1e300, b = -1e300;
        for (const QPointF& p : path.points) {
            l = std::min(l, p.x());
            t = std::min(t, p.y());
            r = std::max(r, p.x());
            b = std::max(b, p.y());
        }
        const double half = stroke ? stroke->width / 2.0 : 0.0;
        ClipFor(l - half, t - half, r + half, b + half);
    }
    // Paths of one paint that follow each other share a group that carries it.
    if (paint != paint_) {
        ClosePaint();
        out_ += "<g" + paint + ">\n";
        paint_ = paint;
    }
    // The data of a path are many short pieces: put together apart, then
    // added at once.
    pathText_.clear();
    pathText_ += "<path d=\"";
    PathData(pathText_, path);
    pathText_ += "\"/>\n";
    out_.append(pathText_.data(), static_cast<qsizetype>(pathText_.size()));
}

void TSvgCanvas::ClosePaint() {
    if (paint_.isEmpty()) return;
    out_ += "</g>\n";
    paint_.clear();
}

void TSvgCanvas::WriteText(const QString& text, const std::vector<double>& xs, double baseline,
                           const TCanvasFont& font) {
    if (finished_) return;
    ClosePaint();
    if (!xs.empty()) ClipFor(xs.front(), baseline - font.height, xs.back() + font.height, baseline + font.height / 2.0);
    out_ += "<text xml:space=\"preserve\" x=\"";
    // One x per character; the two halves of a pair share the first's.
    bool first = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isLowSurrogate()) continue;
        if (!first) out_ += ' ';
        first = false;
        Number(out_, xs[static_cast<std::size_t>(i)]);
    }
    out_ += "\" y=\"";
    Number(out_, baseline);
    out_ += "\" font-family=\"" + Escaped(FontFamiliesOf(font.name)) + "\" font-size=\"" +
            QByteArray::number(font.height) + "px\"";
    if (font.bold) out_ += " font-weight=\"bold\"";
    if (font.italic) out_ += " font-style=\"italic\"";
    out_ += " fill=\"";
    Colour(out_, font.color);
    out_ += "\">" + Escaped(text) + "</text>\n";
}

void TSvgCanvas::CloseClip() {
    ClosePaint();
    if (clipped_) out_ += "</g>\n";
    clipped_ = false;
}

// What lies within the clip needs no clip; the clip's group is opened only
// for what reaches out of it, so that a reader shows no groups of its own
// around the drawing.
void TSvgCanvas::ClipFor(double left, double top, double right, double bottom) {
    const bool inside = !clip_ || (left >= clip_->left && top >= clip_->top && right <= clip_->right &&
                                   bottom <= clip_->bottom);
    if (inside) {
        if (clipped_) CloseClip();
        return;
    }
    if (clipped_) return;
    ClosePaint();
    const QByteArray rect = QByteArray::number(clip_->left) + ' ' + QByteArray::number(clip_->top) + ' ' +
                            QByteArray::number(std::max(0, clip_->Width())) + ' ' +
                            QByteArray::number(std::max(0, clip_->Height()));
    QByteArray& id = clipIds_[rect];
    if (id.isEmpty()) {
        id = "c" + QByteArray::number(++clips_);
        // In the definitions, where readers without clip paths do not draw it.
        out_ += "<defs><clipPath id=\"" + id + "\"><rect x=\"" + QByteArray::number(clip_->left) + "\" y=\"" +
                QByteArray::number(clip_->top) + "\" width=\"" + QByteArray::number(std::max(0, clip_->Width())) +
                "\" height=\"" + QByteArray::number(std::max(0, clip_->Height())) + "\"/></clipPath></defs>\n";
    }
    out_ += "<g clip-path=\"url(#" + id + ")\">\n";
    clipped_ = true;
}

void TSvgCanvas::WriteClip(const std::optional<TRect>& clip) {
    if (finished_) return;
    CloseClip();
    clip_ = clip;
}

// The clip's group always lies innermost, so that groups and clips nest:
// it is closed before a group begins or ends.
void TSvgCanvas::BeginGroup(const QString& id, const QString& label) {
    if (finished_) return;
    FlushPending();
    CloseClip();
    const qsizetype offset = out_.size();
    // Ids are unique in a document: a second use gets a number.
    QString unique = id;
    for (int n = 2; !unique.isEmpty() && ids_.contains(unique); ++n) unique = id + QLatin1Char('_') + QString::number(n);
    out_ += "<g";
    if (!unique.isEmpty()) {
        ids_.insert(unique);
        out_ += " id=\"" + Escaped(unique) + '"';
    }
    // The name a drawing program shows for the group.
    if (!label.isEmpty()) out_ += " inkscape:label=\"" + Escaped(label) + '"';
    out_ += ">\n";
    if (!label.isEmpty()) out_ += "<title>" + Escaped(label) + "</title>\n";
    begun_.push_back(Begun{offset, out_.size(), unique});
    ++groups_;
}

void TSvgCanvas::EndGroup() {
    if (finished_ || groups_ == 0) return;
    FlushPending();
    CloseClip();
    --groups_;
    if (begun_.empty()) {
        out_ += "</g>\n";
        return;
    }
    const Begun begun = begun_.back();
    begun_.pop_back();
    if (out_.size() == begun.contentStart) {
        // Nothing in it: no group.
        out_.truncate(begun.offset);
        ids_.remove(begun.id);
        return;
    }
    out_ += "</g>\n";
}

}  // namespace kavum::platform
