#include "platform/canvas/TrueTypeSubset.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace kavum::platform {

namespace {

std::uint32_t U16(const QByteArray& b, int at) {
    if (at < 0 || at + 2 > b.size()) return 0;
    return (static_cast<std::uint8_t>(b[at]) << 8) | static_cast<std::uint8_t>(b[at + 1]);
}

int S16(const QByteArray& b, int at) { return static_cast<std::int16_t>(U16(b, at)); }

std::uint32_t U32(const QByteArray& b, int at) { return (U16(b, at) << 16) | U16(b, at + 2); }

// Big-endian words written at p; the end of them.
char* Put16(char* p, std::uint32_t v) {
    p[0] = static_cast<char>((v >> 8) & 0xFF);
    p[1] = static_cast<char>(v & 0xFF);
    return p + 2;
}

char* Put32(char* p, std::uint32_t v) { return Put16(Put16(p, v >> 16), v & 0xFFFF); }

void Set16(QByteArray& b, int at, std::uint32_t v) { Put16(b.data() + at, v); }

void Set32(QByteArray& b, int at, std::uint32_t v) { Put32(b.data() + at, v); }

// The sum of the table's big-endian words, its end padded with zeros.
std::uint32_t CheckSum(const char* data, std::size_t size) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(data);
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        sum += (std::uint32_t{p[i]} << 24) | (std::uint32_t{p[i + 1]} << 16) | (std::uint32_t{p[i + 2]} << 8) | p[i + 3];
    }
    std::uint32_t last = 0;
    for (std::size_t k = 0; i + k < size; ++k) last |= std::uint32_t{p[i + k]} << (24 - 8 * k);
    return sum + last;
}

std::uint32_t CheckSum(const QByteArray& table) {
    return CheckSum(table.constData(), static_cast<std::size_t>(table.size()));
}

std::size_t Padded(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

}  // namespace

TTrueTypeFont::TTrueTypeFont(const QRawFont& font) {
    if (!font.isValid()) return;
    head_ = font.fontTable("head");
    hhea_ = font.fontTable("hhea");
    maxp_ = font.fontTable("maxp");
    hmtx_ = font.fontTable("hmtx");
    loca_ = font.fontTable("loca");
    glyf_ = font.fontTable("glyf");
    cvt_ = font.fontTable("cvt ");
    fpgm_ = font.fontTable("fpgm");
    prep_ = font.fontTable("prep");
    if (head_.size() < 54 || hhea_.size() < 36 || maxp_.size() < 6 || loca_.isEmpty() || glyf_.isEmpty()) return;
    unitsPerEm_ = std::max<int>(16, static_cast<int>(U16(head_, 18)));
    bbox_[0] = S16(head_, 36);
    bbox_[1] = S16(head_, 38);
    bbox_[2] = S16(head_, 40);
    bbox_[3] = S16(head_, 42);
    longLoca_ = S16(head_, 50) == 1;
    ascent_ = S16(hhea_, 4);
    descent_ = S16(hhea_, 6);
    metricsCount_ = static_cast<int>(U16(hhea_, 34));
    glyphCount_ = static_cast<int>(U16(maxp_, 4));
    const int locaEntries = loca_.size() / (longLoca_ ? 4 : 2);
    glyphCount_ = std::min(glyphCount_, locaEntries - 1);
    valid_ = glyphCount_ > 0 && metricsCount_ > 0 && hmtx_.size() >= metricsCount_ * 4;
}

int TTrueTypeFont::Advance(std::uint32_t glyph) const {
    if (!valid_) return 0;
    const int i = std::min<int>(static_cast<int>(glyph), metricsCount_ - 1);
    return static_cast<int>(U16(hmtx_, i * 4));
}

QByteArray TTrueTypeFont::Fingerprint() const {
    if (!valid_) return QByteArray("none");
    return QByteArray::number(glyphCount_, 16) + '.' + QByteArray::number(unitsPerEm_, 16) + '.' +
           QByteArray::number(U32(head_, 8), 16) + '.' + QByteArray::number(glyf_.size(), 16);
}

std::uint32_t TTrueTypeFont::GlyphOffset(std::uint32_t glyph) const {
    const auto at = static_cast<int>(glyph);
    return longLoca_ ? U32(loca_, at * 4) : U16(loca_, at * 2) * 2;
}

std::uint32_t TTrueTypeFont::GlyphEnd(std::uint32_t glyph) const { return GlyphOffset(glyph + 1); }

QByteArray TTrueTypeFont::Subset(const std::set<std::uint32_t>& used) const {
    if (!valid_) return QByteArray();
    const auto glyphs = static_cast<std::uint32_t>(glyphCount_);
    // The glyphs, with the parts of composite glyphs.
    std::vector<bool> keep(glyphs, false);
    keep[0] = true;
    std::vector<std::uint32_t> todo(used.begin(), used.end());
    while (!todo.empty()) {
        const std::uint32_t g = todo.back();
        todo.pop_back();
        if (g >= glyphs || keep[g]) continue;
        keep[g] = true;
        const std::uint32_t start = GlyphOffset(g);
        const std::uint32_t end = std::min<std::uint32_t>(GlyphEnd(g), static_cast<std::uint32_t>(glyf_.size()));
        if (end < start + 10 || S16(glyf_, static_cast<int>(start)) >= 0) continue;
        // A composite glyph: flags, glyph index, arguments and scale per part.
        int at = static_cast<int>(start) + 10;
        for (int guard = 0; guard < 256 && at + 4 <= static_cast<int>(end); ++guard) {
            const std::uint32_t flags = U16(glyf_, at);
            todo.push_back(U16(glyf_, at + 2));
            at += 4 + ((flags & 0x0001) ? 4 : 2);
            if (flags & 0x0008) at += 2;
            else if (flags & 0x0040) at += 4;
            else if (flags & 0x0080) at += 8;
            if (!(flags & 0x0020)) break;
        }
    }
    // The outlines kept, each padded to four bytes, and where each glyph's
    // begins (long offsets).
    auto span = [&](std::uint32_t g) {
        const std::uint32_t start = GlyphOffset(g);
        const std::uint32_t end = std::min<std::uint32_t>(GlyphEnd(g), static_cast<std::uint32_t>(glyf_.size()));
        return std::pair<std::uint32_t, std::uint32_t>(start, end > start ? end - start : 0);
    };
    std::size_t glyfSize = 0;
    for (std::uint32_t g = 0; g < glyphs; ++g) {
        if (keep[g]) glyfSize += Padded(span(g).second);
    }
    QByteArray glyf(static_cast<qsizetype>(glyfSize), '\0');
    QByteArray loca(static_cast<qsizetype>(4 * (std::size_t{glyphs} + 1)), Qt::Uninitialized);
    char* l = loca.data();
    std::size_t offset = 0;
    for (std::uint32_t g = 0; g < glyphs; ++g) {
        l = Put32(l, static_cast<std::uint32_t>(offset));
        if (!keep[g]) continue;
        const auto [start, size] = span(g);
        std::copy_n(glyf_.constData() + start, size, glyf.data() + offset);
        offset += Padded(size);
    }
    Put32(l, static_cast<std::uint32_t>(offset));

    QByteArray head = head_;
    Set32(head, 8, 0);   // checkSumAdjustment, set below
    Set16(head, 50, 1);  // long offsets

    // The tables in the order of their tags.
    // The tables in the order of their tags; the hinting ones only when
    // the font has them.
    struct Table {
        const char* tag;
        const QByteArray* data;
        bool optional;
    };
    const Table all[] = {{"cvt ", &cvt_, true},   {"fpgm", &fpgm_, true}, {"glyf", &glyf, false},
                         {"head", &head, false},  {"hhea", &hhea_, false}, {"hmtx", &hmtx_, false},
                         {"loca", &loca, false},  {"maxp", &maxp_, false}, {"prep", &prep_, true}};
    std::vector<std::pair<const char*, const QByteArray*>> tables;
    for (const Table& t : all) {
        if (!t.optional || !t.data->isEmpty()) tables.emplace_back(t.tag, t.data);
    }

    const auto n = static_cast<std::uint32_t>(tables.size());
    std::uint32_t power = 1, log2 = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log2;
    }
    const std::size_t directory = 12 + 16 * std::size_t{n};
    std::size_t total = directory;
    for (const auto& table : tables) total += Padded(static_cast<std::size_t>(table.second->size()));
    QByteArray out(static_cast<qsizetype>(total), '\0');
    char* p = out.data();
    p = Put32(p, 0x00010000);
    p = Put16(p, n);
    p = Put16(p, power * 16);
    p = Put16(p, log2);
    p = Put16(p, n * 16 - power * 16);
    std::size_t at = directory;
    std::size_t headOffset = 0;
    for (const auto& [tag, data] : tables) {
        const auto size = static_cast<std::size_t>(data->size());
        p = std::copy_n(tag, 4, p);
        p = Put32(p, CheckSum(*data));
        p = Put32(p, static_cast<std::uint32_t>(at));
        p = Put32(p, static_cast<std::uint32_t>(size));
        if (data == &head) headOffset = at;
        std::copy_n(data->constData(), size, out.data() + at);
        at += Padded(size);
    }
    Set32(out, static_cast<int>(headOffset) + 8, 0xB1B0AFBAu - CheckSum(out));
    return out;
}

}  // namespace kavum::platform
