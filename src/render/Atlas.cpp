#include "Atlas.h"

#include "data/DataText.h"
#include "data/RecordLine.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringView>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace kavum::render {

bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            qsizetype ie = i;
            qsizetype je = j;
            while (ie < a.size() && digit(a[ie])) ++ie;
            while (je < b.size() && digit(b[je])) ++je;
            // Leading zeros do not make a number larger.
            qsizetype is = i;
            qsizetype js = j;
            while (is + 1 < ie && a[is] == QLatin1Char('0')) ++is;
            while (js + 1 < je && b[js] == QLatin1Char('0')) ++js;
            if (ie - is != je - js) return ie - is < je - js;
            const int c = QStringView(a).mid(is, ie - is).compare(QStringView(b).mid(js, je - js));
            if (c != 0) return c < 0;
            if (ie - i != je - j) return ie - i < je - j;  // "02" after "2"
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

QStringList ExpandDataInputs(const QStringList& inputs) {
    QStringList files;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            QDir dir(input);
            QStringList names =
                dir.entryList({QStringLiteral("*.grd"), QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
            std::stable_sort(names.begin(), names.end(), NaturalLess);
            for (const QString& name : names) files << dir.filePath(name);
        } else if (info.isFile()) {
            files << input;
        } else {
            throw std::runtime_error(QStringLiteral("データファイルまたはフォルダ %1 がありません").arg(input).toStdString());
        }
    }
    return files;
}

AtlasData ReadAtlasData(const QStringList& files) {
    AtlasData data;
    data.files = files;
    for (int f = 0; f < files.size(); ++f) {
        std::vector<std::string> lines;
        try {
            lines = data::DataText::ReadFileLines(QFile::encodeName(files[f]).toStdString());
        } catch (const platform::FileError&) {
            throw platform::FileError(
                QStringLiteral("分布データファイル %1 を読み込めません").arg(files[f]).toUtf8().toStdString());
        }
        AtlasCategory* current = nullptr;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            const data::ParsedLine::Kind kind = data::ClassifyLine(lines[i]);
            if (kind == data::ParsedLine::Kind::Heading) {
                AtlasCategory& c = data.categories.emplace_back();
                c.position = static_cast<int>(data.categories.size());
                c.name = std::string(data::CutComment(lines[i]));
                c.heading = LineOrigin{f, number};
                c.lines.push_back(std::move(lines[i]));
                c.lineNumbers.push_back(number);
                current = &c;
            } else if (current) {
                current->lines.push_back(std::move(lines[i]));
                current->lineNumbers.push_back(number);
            } else if (kind == data::ParsedLine::Kind::Record) {
                ++data.orphanRecords;
            }
        }
    }
    return data;
}

std::vector<std::vector<int>> GroupFigures(std::size_t categoryCount, int group) {
    std::vector<std::vector<int>> figures;
    if (group < 1) group = 1;
    for (std::size_t i = 0; i < categoryCount; i += static_cast<std::size_t>(group)) {
        std::vector<int>& f = figures.emplace_back();
        for (std::size_t k = i; k < categoryCount && k < i + static_cast<std::size_t>(group); ++k) {
            f.push_back(static_cast<int>(k));
        }
    }
    return figures;
}

FigureText MakeFigureText(const AtlasData& data, const std::vector<int>& categories) {
    FigureText text;
    std::size_t total = 0;
    for (int k : categories) total += data.categories[static_cast<std::size_t>(k)].lines.size();
    text.lines.reserve(total);
    text.origins.reserve(total);
    for (int k : categories) {
        const AtlasCategory& c = data.categories[static_cast<std::size_t>(k)];
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            text.lines.push_back(c.lines[i]);
            text.origins.push_back(LineOrigin{c.heading.file, c.lineNumbers[i]});
        }
    }
    return text;
}

TextCounts CountRecords(const std::vector<std::string>& lines, geo::PointPrecision precision) {
    TextCounts counts;
    int headings = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        data::ParsedLine parsed;
        try {
            parsed = data::ParseRecordLine(lines[i], precision);
        } catch (const std::exception& e) {
            counts.failedLine = i;
            counts.failure = e.what();
            return counts;
        }
        switch (parsed.kind) {
        case data::ParsedLine::Kind::Heading:
            // The pass reads no further than nine categories.
            if (++headings > 9) return counts;
            break;
        case data::ParsedLine::Kind::Record:
            if (headings > 0) ++counts.accepted;
            break;
        case data::ParsedLine::Kind::Rejected:
            if (headings > 0) ++counts.skipped;
            break;
        case data::ParsedLine::Kind::Empty:
            break;
        }
    }
    return counts;
}

CategoryStats StatsOf(const AtlasCategory& category, geo::PointPrecision precision) {
    CategoryStats stats;
    std::vector<std::pair<float, float>> places;
    for (std::size_t i = 1; i < category.lines.size(); ++i) {
        data::ParsedLine parsed;
        try {
            parsed = data::ParseRecordLine(category.lines[i], precision);
        } catch (const std::exception& e) {
            stats.failedLine = i;
            stats.failure = e.what();
            break;
        }
        if (parsed.notice != data::LineNotice::None) {
            if (stats.notices.size() < CategoryStats::KeptNotices) stats.notices.emplace_back(i, parsed.notice);
            ++stats.noticeCount;
        }
        if (parsed.kind == data::ParsedLine::Kind::Rejected) ++stats.skipped;
        if (parsed.kind != data::ParsedLine::Kind::Record) continue;
        ++stats.accepted;
        const data::DistributionRecord& r = parsed.record;
        // The pass carries positions as floats; a place is what it plots.
        places.emplace_back(static_cast<float>(r.Longitude), static_cast<float>(r.Latitude));
        if (r.Elevation >= 0 && r.Elevation != data::NoElevation) {
            const double e = static_cast<double>(static_cast<float>(r.Elevation));
            if (!stats.lowest || e < *stats.lowest) stats.lowest = e;
            if (!stats.highest || e > *stats.highest) stats.highest = e;
        }
    }
    std::sort(places.begin(), places.end());
    stats.cells = static_cast<std::size_t>(std::unique(places.begin(), places.end()) - places.begin());
    return stats;
}

QStringList RecordNotices(const AtlasData& data, const std::vector<CategoryStats>& stats) {
    QStringList out;
    std::size_t left = 0;
    for (std::size_t k = 0; k < stats.size() && k < data.categories.size(); ++k) {
        const AtlasCategory& c = data.categories[k];
        for (const auto& [i, notice] : stats[k].notices) {
            out << LineReport(data, LineOrigin{c.heading.file, c.lineNumbers[i]}, QString::fromUtf8(data::NoticeMessage(notice)));
        }
        left += stats[k].noticeCount - stats[k].notices.size();
    }
    if (left > 0) out << QStringLiteral("ほかに %1 行に同じような問題があります").arg(left);
    return out;
}

namespace {

// A record line that is more likely a heading with a comma in it: the text
// before its first comma is not a number of the latitude/longitude forms.
bool LooksLikeHeading(std::string_view line) {
    const std::string_view text = data::CutComment(line);
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    const std::string_view first = text.substr(0, comma);
    bool letters = false;
    for (const char c : first) {
        const bool numeric = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == ' ' || c == '\t';
        if (!numeric) letters = true;
    }
    return letters;
}

QString Trimmed(const std::string& cp932) { return platform::Cp932ToQString(cp932).trimmed(); }

}  // namespace

QStringList HeadingProblems(const AtlasData& data, std::size_t* suspicious) {
    QStringList problems;
    std::size_t commas = 0;
    QHash<QString, LineOrigin> seen;
    for (const AtlasCategory& c : data.categories) {
        const QString name = Trimmed(c.name);
        const auto it = seen.constFind(name);
        if (it != seen.constEnd()) {
            problems << LineReport(data, c.heading,
                                   QStringLiteral("見出し「%1」は %2 にもあります（別の図になります）")
                                       .arg(name, LineReport(data, *it, QString()).chopped(2)));
        } else {
            seen.insert(name, c.heading);
        }
        for (std::size_t i = 1; i < c.lines.size(); ++i) {
            if (!LooksLikeHeading(c.lines[i])) continue;
            ++commas;
            problems << LineReport(data, LineOrigin{c.heading.file, c.lineNumbers[i]},
                                   QStringLiteral("「%1」はコンマを含むため見出しではなく「%2」の記録の行として読まれます"
                                                  "（見出しにはコンマを使えません）")
                                       .arg(platform::Cp932ToQString(std::string(data::CutComment(c.lines[i]))), name));
        }
    }
    if (suspicious) *suspicious = commas;
    return problems;
}

QString ErrorText(int error) {
    switch (error) {
        case ENOSPC: return QStringLiteral("デバイスに空き領域がありません");
        case EDQUOT: return QStringLiteral("ディスク使用量の制限を超えました");
        case EACCES: return QStringLiteral("書き込みの許可がありません");
        case EPERM: return QStringLiteral("操作が許可されていません");
        case EROFS: return QStringLiteral("読み込み専用のファイルシステムです");
        case ENOENT: return QStringLiteral("そのようなファイルやフォルダはありません");
        case ENOTDIR: return QStringLiteral("フォルダではありません");
        case EISDIR: return QStringLiteral("通常のファイルではありません");
        case EIO: return QStringLiteral("入出力エラーです");
        case EFBIG: return QStringLiteral("ファイルが大きすぎます");
        case ENAMETOOLONG: return QStringLiteral("ファイル名が長すぎます");
        case ELOOP: return QStringLiteral("シンボリックリンクの階層が多すぎます");
        case EMFILE:
        case ENFILE: return QStringLiteral("開いているファイルが多すぎます");
        case ENOMEM: return QStringLiteral("メモリが足りません");
        case EEXIST: return QStringLiteral("ファイルがすでにあります");
        case EBUSY: return QStringLiteral("デバイスが使用中です");
        default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

namespace {

QString Elevation(const std::optional<double>& e) { return e ? QString::number(*e, 'g', 10) : QString(); }

std::optional<double> ElevationOf(const QString& text) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

}  // namespace

QString ManifestHeader() {
    return QStringLiteral("number\tfile\theading\tsource\taccepted\tskipped\tcells\tlowest\thighest\tstatus\thash\n");
}

namespace {

// A name shown on one line of tab-separated text.
QString OneLine(QString s) {
    for (QChar& c : s) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    }
    return s;
}

}  // namespace

QString ManifestLine(const ManifestRow& r) {
    return QStringList{QString::number(r.number), OneLine(r.file), OneLine(r.heading), OneLine(r.source),
                       QString::number(r.accepted), QString::number(r.skipped), QString::number(r.cells),
                       Elevation(r.lowest), Elevation(r.highest), OneLine(r.status), OneLine(r.hash)}
               .join(QLatin1Char('\t')) +
           QLatin1Char('\n');
}

std::vector<ManifestRow> ParseManifest(const QString& text) {
    std::vector<ManifestRow> rows;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.endsWith(QLatin1Char('\r')) ? raw.chopped(1) : raw;
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 11) continue;
        bool ok = false;
        ManifestRow r;
        r.number = f[0].toInt(&ok);
        if (!ok || f[1].isEmpty()) continue;  // the header, or not a row
        r.file = f[1];
        r.heading = f[2];
        r.source = f[3];
        r.accepted = f[4].toULongLong();
        r.skipped = f[5].toULongLong();
        r.cells = f[6].toULongLong();
        r.lowest = ElevationOf(f[7]);
        r.highest = ElevationOf(f[8]);
        r.status = f[9];
        r.hash = f[10];
        rows.push_back(r);
    }
    return rows;
}

QStringList StaleFigures(const QStringList& folderFiles, const QStringList& earlierFiles, const QStringList& current,
                         const QString& extension) {
    const QSet<QString> keep(current.begin(), current.end());
    const QSet<QString> earlier(earlierFiles.begin(), earlierFiles.end());
    const QString suffix = QLatin1Char('.') + extension;
    QStringList stale;
    for (const QString& name : folderFiles) {
        if (keep.contains(name) || !name.endsWith(suffix, Qt::CaseInsensitive)) continue;
        bool figureName = false;
        qsizetype digits = 0;
        while (digits < name.size() && name[digits].isDigit() && name[digits].unicode() < 128) ++digits;
        figureName = digits >= 4 && digits < name.size() && name[digits] == QLatin1Char('-') &&
                     name.size() > digits + 1 + suffix.size();
        if (figureName || earlier.contains(name)) stale << name;
    }
    return stale;
}

namespace {

void PutNumber(QByteArray& out, std::uint64_t v) {
    out += QByteArray::number(static_cast<qulonglong>(v));
    out += '\n';
}

void PutBytes(QByteArray& out, std::string_view bytes) {
    PutNumber(out, bytes.size());
    out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

class Reader {
public:
    explicit Reader(const QByteArray& b) : b_(b) {}
    std::uint64_t Number() {
        const qsizetype end = b_.indexOf('\n', at_);
        if (end < 0) throw std::runtime_error("図のデータが途中で切れています");
        bool ok = false;
        const std::uint64_t v = b_.mid(at_, end - at_).toULongLong(&ok);
        if (!ok) throw std::runtime_error("図のデータを読めません");
        at_ = end + 1;
        return v;
    }
    std::string Bytes() {
        const std::uint64_t n = Number();
        if (n > static_cast<std::uint64_t>(b_.size() - at_)) throw std::runtime_error("図のデータが途中で切れています");
        std::string s(b_.constData() + at_, static_cast<std::size_t>(n));
        at_ += static_cast<qsizetype>(n);
        return s;
    }

private:
    const QByteArray& b_;
    qsizetype at_ = 0;
};

}  // namespace

QByteArray PackFigureData(const AtlasData& data, const std::vector<int>& categories) {
    QByteArray out;
    std::size_t bytes = 0;
    for (int k : categories) {
        for (const std::string& line : data.categories[static_cast<std::size_t>(k)].lines) bytes += line.size() + 12;
    }
    out.reserve(static_cast<qsizetype>(bytes + 64 * categories.size() + 16));
    PutNumber(out, categories.size());
    for (int k : categories) {
        const AtlasCategory& c = data.categories[static_cast<std::size_t>(k)];
        PutNumber(out, static_cast<std::uint64_t>(c.position));
        PutNumber(out, static_cast<std::uint64_t>(c.heading.file));
        PutNumber(out, static_cast<std::uint64_t>(c.heading.line));
        PutBytes(out, c.name);
        PutNumber(out, c.lines.size());
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            PutNumber(out, static_cast<std::uint64_t>(c.lineNumbers[i]));
            PutBytes(out, c.lines[i]);
        }
    }
    return out;
}

AtlasData UnpackFigureData(const QByteArray& bytes, const QStringList& files) {
    AtlasData data;
    data.files = files;
    Reader r(bytes);
    const std::uint64_t count = r.Number();
    if (count > 9) throw std::runtime_error("図のデータを読めません");
    for (std::uint64_t k = 0; k < count; ++k) {
        AtlasCategory& c = data.categories.emplace_back();
        c.position = static_cast<int>(r.Number());
        c.heading.file = static_cast<int>(r.Number());
        c.heading.line = static_cast<int>(r.Number());
        c.name = r.Bytes();
        const std::uint64_t lines = r.Number();
        if (lines > static_cast<std::uint64_t>(bytes.size())) throw std::runtime_error("図のデータを読めません");
        c.lines.reserve(static_cast<std::size_t>(lines));
        c.lineNumbers.reserve(static_cast<std::size_t>(lines));
        for (std::uint64_t i = 0; i < lines; ++i) {
            c.lineNumbers.push_back(static_cast<int>(r.Number()));
            c.lines.push_back(r.Bytes());
        }
    }
    return data;
}

QString ListCategories(const AtlasData& data, geo::PointPrecision precision, QStringList* problems) {
    QString out = QStringLiteral("number\tname\taccepted\tskipped\n");
    for (const AtlasCategory& c : data.categories) {
        std::size_t accepted = 0;
        std::size_t skipped = 0;
        for (std::size_t i = 1; i < c.lines.size(); ++i) {
            try {
                const data::ParsedLine parsed = data::ParseRecordLine(c.lines[i], precision);
                if (parsed.kind == data::ParsedLine::Kind::Record) ++accepted;
                if (parsed.kind == data::ParsedLine::Kind::Rejected) ++skipped;
            } catch (const std::exception& e) {
                if (problems) {
                    *problems << LineReport(data, LineOrigin{c.heading.file, c.lineNumbers[i]},
                                            QString::fromUtf8(e.what()));
                }
            }
        }
        out += QStringLiteral("%1\t%2\t%3\t%4\n")
                   .arg(c.position)
                   .arg(OneLine(platform::Cp932ToQString(c.name)))
                   .arg(accepted)
                   .arg(skipped);
    }
    return out;
}

QString SafeNamePart(const std::string& cp932Name, int maxBytes) {
    const QString name = platform::Cp932ToQString(cp932Name);
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool refused = u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == '/' || u == '\\' ||
                             u == ':' || u == '*' || u == '?' || u == '"' || u == '<' || u == '>' || u == '|';
        safe += refused ? QChar(u'_') : c;
    }
    // No leading or trailing dots and blanks (hidden files, "..", names that
    // some systems trim).
    auto trimmable = [](QChar c) { return c == QLatin1Char('.') || c.isSpace(); };
    qsizetype from = 0;
    qsizetype to = safe.size();
    while (from < to && trimmable(safe[from])) ++from;
    while (to > from && trimmable(safe[to - 1])) --to;
    safe = safe.mid(from, to - from);
    // At most maxBytes of UTF-8, whole characters only.
    if (safe.toUtf8().size() > maxBytes) {
        QString cut;
        int bytes = 0;
        for (qsizetype i = 0; i < safe.size(); ++i) {
            const qsizetype n = safe[i].isHighSurrogate() && i + 1 < safe.size() ? 2 : 1;
            const int b = static_cast<int>(QStringView(safe).mid(i, n).toUtf8().size());
            if (bytes + b > maxBytes) break;
            cut += QStringView(safe).mid(i, n);
            bytes += b;
            i += n - 1;
        }
        safe = cut;
        while (!safe.isEmpty() && trimmable(safe.back())) safe.chop(1);
    }
    if (safe.isEmpty()) safe = QStringLiteral("category");
    return safe;
}

QString FigureFileName(int number, std::size_t count, const std::string& cp932Name, const QString& extension) {
    const int width = std::max(4, static_cast<int>(QString::number(static_cast<qulonglong>(count)).size()));
    return QStringLiteral("%1-%2.%3").arg(number, width, 10, QLatin1Char('0')).arg(SafeNamePart(cp932Name), extension);
}

QString FigureTitle(const AtlasData& data, const std::vector<int>& categories) {
    QStringList names;
    for (int k : categories) names << platform::Cp932ToQString(data.categories[static_cast<std::size_t>(k)].name);
    return names.join(QStringLiteral("・"));
}

QString LineReport(const AtlasData& data, const LineOrigin& origin, const QString& message) {
    const QString file = origin.file >= 0 && origin.file < data.files.size() ? data.files[origin.file] : QString();
    return QStringLiteral("%1:%2: %3").arg(file).arg(origin.line).arg(message);
}

}  // namespace kavum::render
