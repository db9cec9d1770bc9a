#pragma once
// A TrueType font made smaller for embedding: only the outlines of the
// glyphs a document uses are kept, every glyph keeping its number, so that
// the document can name glyphs by their numbers in the whole font.
#include <QByteArray>
#include <QRawFont>

#include <cstdint>
#include <set>
#include <vector>

namespace kavum::platform {

class TTrueTypeFont {
public:
    // Reads the tables of the font; not Valid() when it has no TrueType
    // outlines (a font of PostScript outlines, or none found).
    explicit TTrueTypeFont(const QRawFont& font);

    bool Valid() const { return valid_; }
    int UnitsPerEm() const { return unitsPerEm_; }
    int Ascent() const { return ascent_; }
    int Descent() const { return descent_; }
    // xMin, yMin, xMax, yMax in font units.
    const int* BBox() const { return bbox_; }
    int GlyphCount() const { return glyphCount_; }
    // Advance width of a glyph in font units.
    int Advance(std::uint32_t glyph) const;
    // What tells this font from another of the same name: its glyph count,
    // units, header checksum and outline size.
    QByteArray Fingerprint() const;

    // The font file with the outlines of the glyphs given (and of .notdef,
    // and of the parts of composite glyphs) and no others.
    QByteArray Subset(const std::set<std::uint32_t>& glyphs) const;

private:
    std::uint32_t GlyphOffset(std::uint32_t glyph) const;
    std::uint32_t GlyphEnd(std::uint32_t glyph) const;

    bool valid_ = false;
    int unitsPerEm_ = 1000;
    int ascent_ = 0;
    int descent_ = 0;
    int bbox_[4] = {0, 0, 0, 0};
    int glyphCount_ = 0;
    int metricsCount_ = 0;
    bool longLoca_ = false;
    QByteArray head_, hhea_, maxp_, hmtx_, loca_, glyf_, cvt_, fpgm_, prep_;
};

}  // namespace kavum::platform
