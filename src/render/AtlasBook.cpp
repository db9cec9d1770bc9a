#include "AtlasBook.h"

#include "Atlas.h"

#include "platform/Errors.h"
#include "platform/canvas/PdfCanvas.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <stdexcept>
#include <unistd.h>

namespace kavum::render {
namespace {

[[noreturn]] void Unreadable() { throw std::runtime_error("the figure page does not read as a PDF document"); }

bool IsDelimiter(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '[' || c == ']' || c == '<' || c == '>' ||
           c == '/' || c == '(' || c == ')' || c == '{' || c == '}';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text with every reference "N 0 R" given the number the map names
// (references to objects it does not name are an error); strings are
// copied as they stand.
QByteArray Renumbered(const QByteArray& text, const std::map<int, int>& numbers) {
    QByteArray out;
    out.reserve(text.size() + 64);
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = text[i];
        if (c == '(') {
            // A literal string, with its escapes and balanced parentheses.
            qsizetype j = i + 1;
            int depth = 1;
            while (j < n && depth > 0) {
                if (text[j] == '\\') {
                    j += 2;
                    continue;
                }
                if (text[j] == '(') ++depth;
                if (text[j] == ')') --depth;
                ++j;
            }
            out += text.mid(i, j - i);
            i = j;
            continue;
        }
        if (c == '<' && i + 1 < n && text[i + 1] == '<') {
            out += "<<";
            i += 2;
            continue;
        }
        if (c == '<') {
            const qsizetype j = text.indexOf('>', i);
            if (j < 0) Unreadable();
            out += text.mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (IsDigit(c) && (i == 0 || IsDelimiter(text[i - 1]))) {
            qsizetype j = i;
            while (j < n && IsDigit(text[j])) ++j;
            // "N 0 R" followed by a delimiter or the end.
            if (j + 4 <= n && text[j] == ' ' && text[j + 1] == '0' && text[j + 2] == ' ' && text[j + 3] == 'R' &&
                (j + 4 == n || IsDelimiter(text[j + 4]))) {
                const auto it = numbers.find(text.mid(i, j - i).toInt());
                if (it == numbers.end()) Unreadable();
                out += QByteArray::number(it->second) + " 0 R";
                i = j + 4;
                continue;
            }
            out += text.mid(i, j - i);
            i = j;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

// The number of the reference that follows `key` in the text.
int ReferenceAfter(const QByteArray& text, const QByteArray& key) {
    const qsizetype at = text.indexOf(key);
    if (at < 0) Unreadable();
    qsizetype i = at + key.size();
    while (i < text.size() && text[i] == ' ') ++i;
    qsizetype j = i;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j == i) Unreadable();
    return text.mid(i, j - i).toInt();
}

// The inside of the array that follows `key`, brackets balanced; empty when
// the key is not there.
QByteArray ArrayAfter(const QByteArray& text, const QByteArray& key) {
    const qsizetype at = text.indexOf(key);
    if (at < 0) return {};
    const qsizetype open = text.indexOf('[', at + key.size());
    if (open < 0) Unreadable();
    int depth = 0;
    for (qsizetype i = open; i < text.size(); ++i) {
        if (text[i] == '[') ++depth;
        if (text[i] == ']' && --depth == 0) return text.mid(open + 1, i - open - 1);
    }
    Unreadable();
}

QByteArray Ref(int n) { return QByteArray::number(n) + " 0 R"; }


}  // namespace

QByteArray PdfTextString(const QString& text) {
    QByteArray hex = "<FEFF";
    for (const QChar c : text) hex += QByteArray::number(c.unicode() + 0x10000, 16).mid(1).toUpper();
    return hex + '>';
}

PdfPageObjects TakePdfPage(const QByteArray& document, int firstNumber, int parent,
                           const std::map<QByteArray, int>& known, platform::TPdfBookFonts* fonts) {
    // The cross-reference table gives where every object starts.
    const qsizetype startxref = document.lastIndexOf("startxref");
    if (startxref < 0) Unreadable();
    const qsizetype xref = document.mid(startxref + 9).trimmed().split('\n').value(0).toLongLong();
    if (xref <= 0 || xref >= document.size() || !document.mid(xref).startsWith("xref")) Unreadable();
    const QList<QByteArray> lines = document.mid(xref, startxref - xref).split('\n');
    if (lines.size() < 3) Unreadable();
    const QList<QByteArray> range = lines[1].trimmed().split(' ');
    if (range.size() != 2 || range[0] != "0") Unreadable();
    const int count = range[1].toInt();
    if (count < 2 || lines.size() < count + 2) Unreadable();
    std::vector<qsizetype> offsets;
    for (int k = 1; k < count; ++k) offsets.push_back(lines[k + 2].left(10).toLongLong());
    const QByteArray trailer = document.mid(document.indexOf("trailer", xref));
    const int root = ReferenceAfter(trailer, "/Root");
    const int info = trailer.contains("/Info") ? ReferenceAfter(trailer, "/Info") : 0;

    // Object k's body: from after "k 0 obj\n" to before its "endobj".
    std::vector<qsizetype> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    auto body = [&](int k) {
        if (k < 1 || k >= count) Unreadable();
        const qsizetype start = offsets[static_cast<std::size_t>(k - 1)];
        const auto next = std::upper_bound(sorted.begin(), sorted.end(), start);
        const qsizetype end = next == sorted.end() ? xref : *next;
        const QByteArray head = QByteArray::number(k) + " 0 obj";
        if (start <= 0 || end > document.size() || document.mid(start, head.size()) != head) Unreadable();
        const qsizetype from = start + head.size();
        const qsizetype to = document.lastIndexOf("endobj", end);
        if (to < from) Unreadable();
        return document.mid(from, to - from).trimmed();
    };
    const QByteArray catalog = body(root);
    const int pagesObject = ReferenceAfter(catalog, "/Pages");
    const QByteArray kids = ArrayAfter(body(pagesObject), "/Kids");
    const QList<QByteArray> kid = kids.trimmed().split(' ');
    if (kid.size() != 3) Unreadable();
    const int page = kid[0].toInt();

    std::map<int, int> numbers;
    numbers[pagesObject] = parent;
    int next = firstNumber;
    PdfPageObjects result;
    // The shared objects: the key of each, and its body after the key.
    const QByteArray mark(platform::PdfSharedMark);
    const QByteArray fontMark(platform::PdfFontMark);
    std::map<int, QByteArray> bodies;
    std::set<int> reused;
    for (int k = 1; k < count; ++k) {
        if (k == root || k == pagesObject || k == info) continue;
        QByteArray b = body(k);
        if (b.startsWith(fontMark)) {
            if (!fonts) throw std::runtime_error("a figure page names a font that only a book holds");
            const QByteArray key = "font " + fonts->Note(b);
            reused.insert(k);
            if (const auto it = known.find(key); it != known.end()) {
                numbers[k] = it->second;
            } else {
                // A page that brings a font twice names it once.
                const auto again = std::find_if(result.shared.begin(), result.shared.end(),
                                                [&](const auto& s) { return s.first == key; });
                numbers[k] = again != result.shared.end() ? again->second : next;
                if (again == result.shared.end()) result.shared.emplace_back(key, next++);
            }
            continue;
        }
        if (b.startsWith(mark)) {
            const qsizetype end = b.indexOf('\n');
            if (end < 0) Unreadable();
            const QByteArray key = b.mid(mark.size(), end - mark.size());
            b = b.mid(end + 1).trimmed();
            if (const auto it = known.find(key); it != known.end()) {
                numbers[k] = it->second;
                reused.insert(k);
                continue;
            }
            // Only the page that carries it whole can bring it in.
            if (b == "null") throw std::runtime_error("a figure page refers to a shared drawing the book has not got");
            result.shared.emplace_back(key, next);
        }
        numbers[k] = next++;
        bodies[k] = std::move(b);
    }
    for (int k = 1; k < count; ++k) {
        if (k == root || k == pagesObject || k == info || reused.count(k)) continue;
        QByteArray b = std::move(bodies[k]);
        // A stream's data are taken as they are; only its dictionary refers.
        const qsizetype stream = b.indexOf(">>\nstream\n");
        if (stream >= 0) {
            b = Renumbered(b.left(stream), numbers) + b.mid(stream);
        } else {
            b = Renumbered(b, numbers);
        }
        result.objects.emplace_back(numbers[k], b);
    }
    result.page = numbers.at(page);
    result.end = next;
    result.ocgs = Renumbered(ArrayAfter(catalog, "/OCGs"), numbers).trimmed();
    result.order = Renumbered(ArrayAfter(catalog, "/Order"), numbers).trimmed();
    const QList<QByteArray> box = ArrayAfter(body(page), "/MediaBox").trimmed().split(' ');
    if (box.size() != 4) Unreadable();
    result.width = box[2].toDouble();
    result.height = box[3].toDouble();
    return result;
}

PdfBook::PdfBook(const QString& path) : path_(path), fonts_(std::make_unique<platform::TPdfBookFonts>()) {
    const QFileInfo info(path);
    temp_ = QFile::encodeName(info.absolutePath() + QLatin1Char('/') + info.fileName()).toStdString() +
            ".kavum-save-" + std::to_string(getpid()) + "-book.tmp";
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) Fail(errno);
    Append("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
}

PdfBook::~PdfBook() {
    if (fd_ >= 0) ::close(fd_);
    if (!finished_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void PdfBook::Fail(int error) {
    const QString reason = ErrorText(error);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    throw platform::FileError(QStringLiteral("%1 に書き込めません: %2").arg(path_, reason).toUtf8().toStdString());
}

void PdfBook::Append(const QByteArray& bytes) {
    if (fd_ < 0) return;
    buffer_ += bytes;
    if (buffer_.size() < (1 << 20)) return;
    const char* p = buffer_.constData();
    qsizetype left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        p += n;
        left -= n;
    }
    written_ += buffer_.size();
    buffer_.clear();
}

void PdfBook::Put(int number, const QByteArray& body) {
    offsets_[number] = written_ + buffer_.size();
    Append(QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n");
}

int PdfBook::Add(const QByteArray& body) {
    const int number = next_++;
    Put(number, body);
    return number;
}

void PdfBook::AddPage(int figure, const QByteArray& document, const QString& outlineTitle) {
    PdfPageObjects page = TakePdfPage(document, next_, 2, shared_, fonts_.get());
    next_ = page.end;
    for (const auto& [number, body] : page.objects) Put(number, body);
    for (const auto& [key, number] : page.shared) shared_.emplace(key, number);
    if (!page.ocgs.isEmpty()) ocgs_ += page.ocgs + ' ';
    if (!page.order.isEmpty()) order_ += '[' + PdfTextString(outlineTitle) + ' ' + page.order + "] ";
    if (width_ == 0) {
        width_ = page.width;
        height_ = page.height;
    }
    pages_[figure] = Page{page.page, outlineTitle};
}

void PdfBook::Finish(const QString& title, const QStringList& lines, std::vector<IndexEntry> index) {
    if (width_ <= 0) {
        // No figure: pages of the size of a scale-1 three-view figure.
        width_ = 1017 * 0.75;
        height_ = 1085 * 0.75;
    }
    // The title and index pages are drawn on the page of the figures, their
    // text in proportion to its width.
    const int w = std::max(1, static_cast<int>(std::lround(width_ / 0.75)));
    const int h = std::max(1, static_cast<int>(std::lround(height_ / 0.75)));
    const int margin = std::max(24, w / 12);
    const int text = std::max(12, w / 56);
    const int line = text * 3 / 2;
    // They are set in the fonts of the book too.
    platform::TPdfShared share;
    auto drawn = [&](auto&& draw) {
        platform::TPdfCanvas canvas(w, h, title, 1.0, &share);
        canvas.SetTextTransparent(true);
        draw(canvas);
        return TakePdfPage(canvas.Finish(), next_, 2, shared_, fonts_.get());
    };
    auto add = [&](PdfPageObjects&& page) {
        next_ = page.end;
        for (const auto& [number, body] : page.objects) Put(number, body);
        for (const auto& [key, number] : page.shared) shared_.emplace(key, number);
        return page.page;
    };
    auto font = [](int height) {
        platform::TCanvasFont f;
        f.name = QStringLiteral("ＭＳ 明朝");
        f.height = height;
        return f;
    };

    const int titlePage = add(drawn([&](platform::TCanvas& c) {
        c.SetFont(font(text * 3));
        c.TextOut(margin, h / 3, title);
        c.SetFont(font(text));
        int y = h / 3 + text * 5;
        for (const QString& l : lines) {
            c.TextOut(margin, y, platform::TextPrefixWithin(c.Metrics(), l, w - 2 * margin));
            y += line;
        }
    }));

    // The index: the names in natural order, each with the page of its
    // figure (the title page is page 1, the index follows it).
    std::stable_sort(index.begin(), index.end(),
                     [](const IndexEntry& a, const IndexEntry& b) { return NaturalLess(a.name, b.name); });
    std::erase_if(index, [&](const IndexEntry& e) { return !pages_.count(e.figure); });
    const int rows = std::max(1, (h - 2 * margin - text * 3) / line);
    const int indexPages = std::max<int>(1, static_cast<int>((index.size() + static_cast<std::size_t>(rows) - 1) /
                                                             static_cast<std::size_t>(rows)));
    std::map<int, int> pageNumber;
    int number = 2 + indexPages;
    for (const auto& [figure, page] : pages_) pageNumber[figure] = number++;
    std::vector<int> indexObjects;
    for (int p = 0; p < indexPages; ++p) {
        indexObjects.push_back(add(drawn([&](platform::TCanvas& c) {
            c.SetFont(font(text * 2));
            c.TextOut(margin, margin, p == 0 ? QStringLiteral("索引") : QStringLiteral("索引（続き）"));
            c.SetFont(font(text));
            int y = margin + text * 3;
            for (std::size_t i = static_cast<std::size_t>(p) * static_cast<std::size_t>(rows);
                 i < index.size() && i < static_cast<std::size_t>(p + 1) * static_cast<std::size_t>(rows); ++i) {
                const QString page = QString::number(pageNumber[index[i].figure]);
                const int pw = c.TextWidth(page);
                c.TextOut(w - margin - pw, y, page);
                c.TextOut(margin, y, platform::TextPrefixWithin(c.Metrics(), index[i].name, w - 3 * margin - pw));
                y += line;
            }
        })));
    }

    // The outline: the index, then every figure.
    std::vector<std::pair<QString, int>> entries;
    entries.emplace_back(QStringLiteral("索引"), indexObjects.front());
    for (const auto& [figure, page] : pages_) entries.emplace_back(page.title, page.object);
    const int outlines = next_++;
    const int first = next_;
    next_ += static_cast<int>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int me = first + static_cast<int>(i);
        QByteArray item = "<< /Title " + PdfTextString(entries[i].first) + " /Parent " + Ref(outlines);
        if (i > 0) item += " /Prev " + Ref(me - 1);
        if (i + 1 < entries.size()) item += " /Next " + Ref(me + 1);
        item += " /Dest [" + Ref(entries[i].second) + " /Fit] >>";
        Put(me, item);
    }
    Put(outlines, "<< /Type /Outlines /First " + Ref(first) + " /Last " +
                      Ref(first + static_cast<int>(entries.size()) - 1) + " /Count " +
                      QByteArray::number(static_cast<qulonglong>(entries.size())) + " >>");

    QByteArray kids = Ref(titlePage);
    for (int o : indexObjects) kids += ' ' + Ref(o);
    for (const auto& [figure, page] : pages_) kids += ' ' + Ref(page.object);
    Put(2, "<< /Type /Pages /Kids [" + kids + "] /Count " +
               QByteArray::number(static_cast<qulonglong>(pages_.size() + 1 + indexObjects.size())) + " >>");
    QByteArray catalog = "<< /Type /Catalog /Pages 2 0 R /Outlines " + Ref(outlines) + " /PageMode /UseOutlines";
    if (!ocgs_.isEmpty()) {
        catalog += " /OCProperties << /OCGs [" + ocgs_.trimmed() + "] /D << /Order [" + order_.trimmed() + "] >> >>";
    }
    Put(1, catalog + " >>");
    // Each font once, with the glyphs of all the pages.
    for (const auto& [key, number] : shared_) {
        if (!key.startsWith("font ")) continue;
        fonts_->Write(
            key.mid(5), number, [&](const QByteArray& body) { return Add(body); },
            [&](int n, const QByteArray& body) { Put(n, body); });
    }
    const int info = Add("<< /Creator (Kavum) /Producer (Kavum) /Title " + PdfTextString(title) + " >>");

    const qint64 xref = written_ + buffer_.size();
    QByteArray table = "xref\n0 " + QByteArray::number(next_) + "\n0000000000 65535 f \n";
    for (int k = 1; k < next_; ++k) {
        const auto it = offsets_.find(k);
        table += it == offsets_.end() ? QByteArray("0000000000 65535 f \n")
                                      : QByteArray::number(it->second).rightJustified(10, '0') + " 00000 n \n";
    }
    table += "trailer\n<< /Size " + QByteArray::number(next_) + " /Root 1 0 R /Info " + Ref(info) +
             " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    Append(table);
    buffer_.reserve(0);
    // The rest out, synced, and renamed over the book.
    const QByteArray rest = buffer_;
    buffer_.clear();
    const char* p = rest.constData();
    qsizetype left = rest.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<std::size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        p += n;
        left -= n;
    }
    if (fsync(fd_) != 0) Fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail(errno);
    if (std::rename(temp_.c_str(), QFile::encodeName(path_).constData()) != 0) Fail(errno);
    finished_ = true;
}

}  // namespace kavum::render
