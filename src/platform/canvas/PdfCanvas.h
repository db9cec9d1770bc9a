#pragma once
// The canvas that writes a PDF document of one page the size of the picture,
// a picture pixel being 1/96 inch. Paths stay vectors; text is set in the
// fonts the screen uses, embedded with the glyphs the page needs (a font
// without TrueType outlines gives its glyphs as paths instead).
#include "platform/canvas/VectorCanvas.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace kavum::platform {

// What the pages of one book, or the separate files of one run, share. A
// group of many drawing calls that comes again the same on the next pages
// (the map of an atlas) is drawn once, into a form object, and every page
// draws the form: the pages look as they would with the drawing in them.
// The object stands in a page's document as "%kavum-shared KEY" and its
// body, so that a book made of the pages holds it once.
//
// In a book (Kind::Book) a page that names a form a confirmed page carried
// (Commit) has the same line and "null" instead of the body: the book keeps
// the body it was given first; a page that is made but not confirmed
// (dropped) leaves the body to the next page. Book pages name their fonts
// by stand-ins (PdfFontMark) and are packed by a quicker deflater.
//
// Separate files (Kind::Files) are each whole: every file carries the forms
// it draws and its fonts; the share only spares drawing and packing the
// form again. A canvas without a share has one of its own, so that a
// figure made alone is the same file as the one made in a run.
class TPdfShared {
public:
    enum class Kind { Book, Files };
    explicit TPdfShared(Kind kind = Kind::Book);
    ~TPdfShared();
    TPdfShared(const TPdfShared&) = delete;
    TPdfShared& operator=(const TPdfShared&) = delete;
    // The page made last is delivered: the forms it carried need not come again.
    void Commit();
    // How many groups were drawn as a form found by their key.
    long long KeyedDraws() const;
    struct Impl;

private:
    friend class TPdfCanvas;
    std::unique_ptr<Impl> d_;
};

// The start of the first line of a shared object in a page's document.
inline constexpr char PdfSharedMark[] = "%kavum-shared ";

// The start of a font's stand-in in a book page's document: "%kavum-font
// KEY", a line "% SIZE GLYPH:TEXT..." of the glyphs the page sets (numbers
// and their text's UTF-16 in hexadecimal), and null. The book embeds each
// font once, with the glyphs of all its pages (TPdfBookFonts).
inline constexpr char PdfFontMark[] = "%kavum-font ";

// The fonts of the pages of a book, gathered from their stand-ins.
class TPdfBookFonts {
public:
    TPdfBookFonts();
    ~TPdfBookFonts();
    TPdfBookFonts(const TPdfBookFonts&) = delete;
    TPdfBookFonts& operator=(const TPdfBookFonts&) = delete;
    // Notes the glyphs of a stand-in (the object's body, from its mark on);
    // returns its key, the same for every page set in that font. Throws
    // std::runtime_error for a stand-in that does not read.
    QByteArray Note(const QByteArray& standIn);
    // Writes the font of the key with every glyph noted for it: the font
    // the pages name is object `number`, given to put; the objects it refers
    // to are numbered by add. Throws std::runtime_error when this machine
    // does not set the font the pages were set in.
    void Write(const QByteArray& key, int number, const std::function<int(const QByteArray&)>& add,
               const std::function<void(int, const QByteArray&)>& put) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

class TPdfCanvas : public TVectorCanvas {
public:
    // The page is scale times the picture's size (a picture pixel is then
    // scale/96 inch). With a share, the page is one of a book or of a run
    // (above).
    TPdfCanvas(int width, int height, const QString& title = QString(), double scale = 1.0,
               TPdfShared* shared = nullptr);
    ~TPdfCanvas() override;

    // Closes the document and returns it; drawing afterwards is ignored.
    QByteArray Finish();

    // Groups are the page's optional content, nested as they are begun.
    void BeginGroup(const QString& id, const QString& label = QString()) override;
    void EndGroup() override;

    // In a book, for the group begun last while nothing is drawn in it yet:
    // a caller that can name what the group will draw by a key (one that
    // changes with everything its calls depend on) has the form made for
    // the same key on an earlier page drawn, begun in the same canvas state
    // and under the same clip, and is spared making the calls. True when it
    // was drawn so, and the canvas state is then as the calls left it;
    // false otherwise (draw the calls: should they become a form, the form
    // is found by the key from then on).
    bool DrawKeyedGroup(const std::string& key);

protected:
    void WritePath(const Path& path, const std::optional<Paint>& fill, bool evenOdd,
                   const std::optional<Stroke>& stroke) override;
    void WriteText(const QString& text, const std::vector<double>& xs, double baseline,
                   const TCanvasFont& font) override;
    void WriteClip(const std::optional<TRect>& clip) override;

private:
    // The group just noted ends: it is drawn, as a form when it can be one.
    void DrawNoted();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace kavum::platform
