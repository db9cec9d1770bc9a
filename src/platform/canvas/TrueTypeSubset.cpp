#include "platform/canvas/TrueTypeSubset.h"

#include <algorithm>
#include <map>

namespace kavum::platform {

namespace {

std::uint32_t U16(const QByteArray& b, int at) {
    if (at < 0 || at + 2 > b.size()) return 0;
    return (static_cast<std::uint8_t>(b[at]) << 8) | static_cast<std::uint8_t>(b[at + 1]);
}

int S16(const QByteArray& b, int at) { return static_cast<std::int16_t>(U16(b, at)); }

std::uint32_t U32(const QByteArray& b, int at) { return (U16(b, at) << 16) | U16(b, at + 2); }

void Put16(QByteArray& b, std::uint32_t v) {
    b += static_cast<char>((v >> 8) & 0xFF);
    b += static_cast<char>(v & 0xFF);
}

void Put32(QByteArray& b, std::uint32_t v) {
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}

void Set16(QByteArray& b, int at, std::uint32_t v) {
    b[at] = static_cast<char>((v >> 8) & 0xFF);
    b[at + 1] = static_cast<char>(v & 0xFF);
}

void Set32(QByteArray& b, int at, std::uint32_t v) {
    Set16(b, at, v >> 16);
    Set16(b, at + 2, v & 0xFFFF);
}

std::uint32_t CheckSum(const QByteArray& table) {
    QByteArray t = table;
    while (t.size() % 4) t += '\0';
    std::uint32_t sum = 0;
    for (int i = 0; i < t.size(); i += 4) sum += U32(t, i);
    return sum;
}

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

std::uint32_t TTrueTypeFont::GlyphOffset(std::uint32_t glyph) const {
    const auto at = static_cast<int>(glyph);
    return longLoca_ ? U32(loca_, at * 4) : U16(loca_, at * 2) * 2;
}

std::uint32_t TTrueTypeFont::GlyphEnd(std::uint32_t glyph) const { return GlyphOffset(glyph + 1); }

QByteArray TTrueTypeFont::Subset(const std::set<std::uint32_t>& used) const {
    if (!valid_) return QByteArray();
    // The glyphs, with the parts of composite glyphs.
    std::set<std::uint32_t> keep{0};
    std::vector<std::uint32_t> todo(used.begin(), used.end());
    while (!todo.empty()) {
        const std::uint32_t g = todo.back();
        todo.pop_back();
        if (g >= static_cast<std::uint32_t>(glyphCount_) || !keep.insert(g).second) continue;
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
    QByteArray glyf;
    QByteArray loca;
    for (int g = 0; g < glyphCount_; ++g) {
        Put32(loca, static_cast<std::uint32_t>(glyf.size()));
        if (!keep.count(static_cast<std::uint32_t>(g))) continue;
        const std::uint32_t start = GlyphOffset(static_cast<std::uint32_t>(g));
        const std::uint32_t end = std::min<std::uint32_t>(GlyphEnd(static_cast<std::uint32_t>(g)),
                                                          static_cast<std::uint32_t>(glyf_.size()));
        if (end > start) glyf += glyf_.mid(static_cast<int>(start), static_cast<int>(end - start));
        while (glyf.size() % 4) glyf += '\0';
    }
    Put32(loca, static_cast<std::uint32_t>(glyf.size()));

    QByteArray head = head_;
    Set32(head, 8, 0);   // checkSumAdjustment, set below
    Set16(head, 50, 1);  // long offsets

    std::map<QByteArray, QByteArray> tables{{"glyf", glyf}, {"head", head},   {"hhea", hhea_},
                                           {"hmtx", hmtx_}, {"loca", loca},   {"maxp", maxp_}};
    if (!cvt_.isEmpty()) tables["cvt "] = cvt_;
    if (!fpgm_.isEmpty()) tables["fpgm"] = fpgm_;
    if (!prep_.isEmpty()) tables["prep"] = prep_;

    const auto n = static_cast<std::uint32_t>(tables.size());
    std::uint32_t power = 1, log2 = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log2;
    }
    QByteArray out;
    Put32(out, 0x00010000);
    Put16(out, n);
    Put16(out, power * 16);
    Put16(out, log2);
    Put16(out, n * 16 - power * 16);
    std::uint32_t offset = 12 + 16 * n;
    int headOffset = 0;
    QByteArray body;
    for (const auto& [tag, data] : tables) {
        out += tag;
        Put32(out, CheckSum(data));
        Put32(out, offset);
        Put32(out, static_cast<std::uint32_t>(data.size()));
        if (tag == "head") headOffset = static_cast<int>(offset);
        body += data;
        while (body.size() % 4) body += '\0';
        offset = 12 + 16 * n + static_cast<std::uint32_t>(body.size());
    }
    out += body;
    Set32(out, headOffset + 8, 0xB1B0AFBAu - CheckSum(out));
    return out;
}

}  // namespace kavum::platform
