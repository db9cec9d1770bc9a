#pragma once
// The atlas as one PDF book: a title page, an index of the categories with
// the numbers of their pages, and one page per figure, with an outline entry
// for the index and for every figure. The figure pages are the one-page PDF
// documents of the figures, taken over as they are; the book is written to
// a temporary sibling as pages come (in any order) and renamed over the
// target when it is finished, so that it is never left half written.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kavum::platform {
class TPdfBookFonts;
}

namespace kavum::render {

// The objects of a one-page PDF document as the canvas writes it, to be
// taken into another document: every object but the catalog, the page tree
// and the document information, with the references between them
// renumbered from `firstNumber` on and the page's parent set to `parent`.
struct PdfPageObjects {
    std::vector<std::pair<int, QByteArray>> objects;  // number and body, in order
    int page = 0;                // the number of the page object
    QByteArray ocgs;             // references of the page's optional content groups
    QByteArray order;            // their order as the page's document lists them
    double width = 0;            // the media box in points
    double height = 0;
    std::vector<std::pair<QByteArray, int>> shared;  // the shared objects taken in, by key and number
    int end = 0;                 // the first number after those the page took (kept ones too)
};
// Throws std::runtime_error for a document that does not read as one page.
// A shared object (platform::PdfSharedMark) whose key `known` names is the
// object named there and is not taken again; one it does not name is taken.
// A font's stand-in (platform::PdfFontMark) has its glyphs noted in `fonts`
// (an error without them) and is not taken: it is the object that `known`
// names by "font KEY", or else a number kept for the font, listed in
// `shared` by that name, for the book to write when its glyphs are all known.
PdfPageObjects TakePdfPage(const QByteArray& document, int firstNumber, int parent,
                           const std::map<QByteArray, int>& known = {}, platform::TPdfBookFonts* fonts = nullptr);

// A PDF text string (UTF-16 with its byte order mark, as hexadecimal).
QByteArray PdfTextString(const QString& text);

class PdfBook {
public:
    // Opens the temporary sibling of the book; throws platform::FileError
    // with the reason when it cannot be made.
    explicit PdfBook(const QString& path);
    ~PdfBook();
    PdfBook(const PdfBook&) = delete;
    PdfBook& operator=(const PdfBook&) = delete;

    // The page of figure `figure` (from 0): a one-page document.
    void AddPage(int figure, const QByteArray& document, const QString& outlineTitle);
    int PageCount() const { return static_cast<int>(pages_.size()); }

    struct IndexEntry {
        QString name;
        int figure = 0;
    };
    // Writes the title page (the title and lines under it), the index and
    // the outline, and renames the book over its target. Throws
    // platform::FileError with the reason when it cannot be written.
    void Finish(const QString& title, const QStringList& lines, std::vector<IndexEntry> index);

private:
    void Append(const QByteArray& bytes);
    int Add(const QByteArray& body);          // the next object, its number
    void Put(int number, const QByteArray& body);
    [[noreturn]] void Fail(int error);

    QString path_;
    std::string temp_;
    int fd_ = -1;
    qint64 written_ = 0;
    QByteArray buffer_;
    int next_ = 3;                             // 1 the catalog, 2 the page tree
    std::map<int, qint64> offsets_;
    struct Page {
        int object = 0;
        QString title;
    };
    std::map<int, Page> pages_;                // by figure
    QByteArray ocgs_;
    QByteArray order_;
    std::map<QByteArray, int> shared_;         // objects the pages share, by key
    std::unique_ptr<platform::TPdfBookFonts> fonts_;  // the glyphs of the pages' fonts
    double width_ = 0;
    double height_ = 0;
    bool finished_ = false;
};

}  // namespace kavum::render
