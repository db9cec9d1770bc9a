#include "Atlas.h"

#include "data/DataText.h"
#include "data/RecordLine.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringView>

#include <stdexcept>

namespace kavum::render {

QStringList ExpandDataInputs(const QStringList& inputs) {
    QStringList files;
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            QDir dir(input);
            const QStringList names =
                dir.entryList({QStringLiteral("*.grd"), QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
            for (const QString& name : names) files << dir.filePath(name);
        } else if (info.isFile()) {
            files << input;
        } else {
            throw std::runtime_error(("no such data file or folder: " + input).toStdString());
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

namespace {

// A name shown on one line of tab-separated text.
QString OneLine(QString s) {
    for (QChar& c : s) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    }
    return s;
}

}  // namespace

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
