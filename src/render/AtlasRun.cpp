#include "AtlasRun.h"

#include "Atlas.h"
#include "AtlasBook.h"
#include "RenderOutput.h"

#include "doc/Document.h"
#include "export/Figure.h"
#include "export/PrintSize.h"
#include "platform/canvas/PdfCanvas.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/MessageText.h"
#include "platform/Profile.h"
#include "data/DataText.h"
#include "plot/PlotPass.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <malloc.h>
#include <map>
#include <sys/stat.h>
#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace kavum::render {
namespace {

using doc::Document;

// Messages carry data text (names, record lines): control characters are
// shown as symbols, as in every other message.
void Say(const QString& message) { Fail(message); }

// The data of the run: --data and every further argument; the settings'
// data file when neither is given.
QStringList DataInputs(const Document& form, const RenderArgs& args) {
    QStringList inputs;
    if (!args.data.isEmpty() || args.inputs.isEmpty()) inputs << form.Board.GrdFile;
    inputs << args.inputs;
    return inputs;
}

// What became of one figure.
struct FigureOutcome {
    bool written = false;        // the figure file (or, for a book alone, the page)
    bool failed = false;
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    QStringList messages;
    int writeError = 0;          // errno of a write that failed
    QString writePath;
    QByteArray page;             // the book page, when a book is made
};

// The name under which a figure's temporaries and messages go.
QString FigurePath(const RenderArgs& args, int number, std::size_t count, const std::string& name) {
    return QDir(args.perCategory).filePath(FigureFileName(number, count, name, args.format));
}

// Makes the figures of a run one after the other on one form. Every figure
// starts from the state the form had with the map made and no data, so a
// figure does not depend on the ones made before it.
class FigureMaker {
public:
    FigureMaker(Document& form, const RenderArgs& args)
        : form_(form), args_(args), fresh_(form.State),
          precision_(static_cast<geo::PointPrecision>(form.State.GridSize)) {
        // The map is the same in every figure: drawn once, then copied.
        for (chart::TCustomChart* chart : {form.Chart1, form.Chart2, form.Chart3}) chart->SetKeepBaseLayer(true);
    }

    // Figure `number` (from 1) of `count`, of the categories of `data`;
    // `file` false makes the book page only.
    // `known`, when given, holds the statistics of every category of `data`.
    FigureOutcome Make(const AtlasData& data, const std::vector<int>& categories, int number, std::size_t count,
                       bool file = true, const std::vector<CategoryStats>* known = nullptr) {
        FigureOutcome out;
        if (made_++ == 1) {
            // What the first figure left free (the drawings that made the
            // kept map pictures) goes back to the system; later figures use
            // the same buffers again.
            malloc_trim(0);
        }
        FigureText text = MakeFigureText(data, categories);
        std::vector<bool> empty;
        for (int k : categories) {
            const auto at = static_cast<std::size_t>(k);
            CategoryStats counted;
            if (!known || at >= known->size()) counted = StatsOf(data.categories[at], precision_);
            const CategoryStats& stats = known && at < known->size() ? (*known)[at] : counted;
            out.accepted += stats.accepted;
            out.skipped += stats.skipped;
            empty.push_back(stats.accepted == 0 && !stats.failedLine);
        }

        form_.ClearDotMaps();
        form_.State = fresh_;
        if (args_.markOfPosition) {
            for (std::size_t j = 0; j < categories.size(); ++j) {
                const int position = data.categories[static_cast<std::size_t>(categories[j])].position;
                form_.State.Marks[j + 1] = fresh_.Marks[static_cast<std::size_t>((position - 1) % doc::MaxCategories + 1)];
            }
        }
        const AtlasCategory& first = data.categories[static_cast<std::size_t>(categories.front())];
        try {
            form_.PlotDataText(std::move(text.lines), FigureTitle(data, categories));
        } catch (const std::exception& e) {
            out.failed = true;
            const QString message = QString::fromUtf8(e.what());
            const std::optional<std::size_t> at = form_.FailedLine;
            if (at && *at < text.origins.size()) {
                out.messages << LineReport(data, text.origins[*at], message);
            } else {
                out.messages << QStringLiteral("%1: %2").arg(LineReport(data, first.heading, message));
            }
            if (!args_.keepGoing) return out;
        }
        // A category without a record says so in the legend, so that an
        // empty map does not read as "not found".
        for (std::size_t j = 0; j < empty.size() && j + 1 <= static_cast<std::size_t>(doc::MaxCategories); ++j) {
            if (empty[j] && static_cast<int>(j) < form_.State.CategoryCount) {
                form_.State.LegendNames[static_cast<int>(j) + 1] += QStringLiteral("　記録なし");
            }
        }
        const bool book = !args_.book.isEmpty();
        file = file && !args_.perCategory.isEmpty();
        const QString path = file ? FigurePath(args_, number, count, first.name)
                                  : QStringLiteral("%1.pdf").arg(number);
        try {
            std::optional<QByteArray> bytes;
            if (file) {
                bytes = form_.FigureFileBytes(path, args_.print, &files_);
                if (!bytes) throw std::runtime_error("図を作成できませんでした");
            }
            if (book) {
                // The page is the PDF figure, under the figure's name.
                const QString pageName = QFileInfo(FigurePath(args_, number, count, first.name)).completeBaseName() +
                                         QStringLiteral(".pdf");
                if (file && args_.format == QLatin1String("pdf")) {
                    out.page = *bytes;
                } else {
                    // A page of its own: what repeats from page to page
                    // (the map) is drawn once for the book.
                    std::optional<exporting::Figure> figure = form_.SavedFigure();
                    if (!figure) throw std::runtime_error("図を作成できませんでした");
                    exporting::ApplyPrintOptions(*figure, exporting::FigureFormat::Pdf, args_.print);
                    out.page = exporting::FigurePdf(*figure, form_.Legend(), QFileInfo(pageName).completeBaseName(),
                                                    &shared_);
                }
            }
            if (file) {
                // The figure is written whole or not at all.
                if (!platform::WriteFileAtomicallyNoCleaning(QFile::encodeName(path).toStdString(),
                                                             std::string_view(bytes->constData(),
                                                                              static_cast<std::size_t>(bytes->size())))) {
                    out.failed = true;
                    out.writeError = errno != 0 ? errno : EIO;
                    out.writePath = path;
                    out.page.clear();
                    return out;
                }
            }
            out.written = true;
            if (!out.page.isEmpty()) shared_.Commit();
        } catch (const platform::KavumError& e) {
            out.failed = true;
            out.messages << QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.Message().data(),
                                                                                  static_cast<qsizetype>(e.Message().size())));
        } catch (const std::exception& e) {
            out.failed = true;
            out.messages << QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what()));
        }
        return out;
    }

private:
    Document& form_;
    const RenderArgs& args_;
    const doc::AppState fresh_;
    const geo::PointPrecision precision_;
    int made_ = 0;
    platform::TPdfShared shared_;  // what the book pages share
    platform::TPdfShared files_{platform::TPdfShared::Kind::Files};  // what the PDF figure files share
};

// The progress line on standard error: rewritten in place on a terminal,
// a line now and then otherwise (with --progress).
class Progress {
public:
    Progress(std::size_t total, bool asked) : total_(total), tty_(::isatty(2) == 1), on_(tty_ || asked) {
        clock_.start();
    }
    void Message(const QString& text) {
        Clear();
        Say(text);
        Show(true);
    }
    void Done(std::size_t done) {
        done_ = done;
        Show(done == total_);
    }
    void Finish() {
        if (on_ && tty_ && shown_) std::fputs("\n", stderr);
        shown_ = false;
    }

private:
    void Clear() {
        if (on_ && tty_ && shown_) std::fputs("\r\x1b[K", stderr);
    }
    void Show(bool force) {
        if (!on_) return;
        const qint64 now = clock_.elapsed();
        if (!force && now - last_ < (tty_ ? 100 : 1000)) return;
        last_ = now;
        const double seconds = static_cast<double>(now) / 1000.0;
        const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
        QString line = QStringLiteral("図 %1/%2 枚").arg(done_).arg(total_);
        if (done_ > 0 && rate > 0) {
            const int left = static_cast<int>(static_cast<double>(total_ - done_) / rate + 0.5);
            line += QStringLiteral("、毎秒 %1 枚、残り %2:%3")
                        .arg(rate, 0, 'f', 1)
                        .arg(left / 60)
                        .arg(left % 60, 2, 10, QLatin1Char('0'));
        }
        if (tty_) {
            std::fprintf(stderr, "\r\x1b[Kkavum-render: %s", line.toUtf8().constData());
        } else {
            Say(line);
        }
        std::fflush(stderr);
        shown_ = true;
    }

    std::size_t total_;
    std::size_t done_ = 0;
    bool tty_;
    bool on_;
    bool shown_ = false;
    qint64 last_ = -100000;
    QElapsedTimer clock_;
};

// Worker protocol. The parent sends "F\t<number>\t<count>\t<file>\t<size>\n"
// and <size> bytes of figure data (PackFigureData); the worker answers
// "M\t<message>" for every message of the figure, "W\t<errno>\t<path>" for
// a write that failed, "P\t<size>\n" and the page's bytes when a book is
// made, then "D\t<number>\t<written>\t<failed>\t<accepted>\t<skipped>".
QByteArray OneLineUtf8(const QString& s) {
    QByteArray b = s.toUtf8();
    b.replace('\n', ' ');
    b.replace('\r', ' ');
    return b;
}

// Reads exactly n bytes from standard input; false at its end.
bool ReadInput(char* to, std::size_t n) {
    while (n > 0) {
        const ssize_t got = ::read(0, to, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        to += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool ReadInputLine(std::string& line) {
    line.clear();
    char c = 0;
    while (ReadInput(&c, 1)) {
        if (c == '\n') return true;
        line += c;
    }
    return false;
}

void WriteOutput(const QByteArray& bytes) { std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout); }

int RunWorker(FigureMaker& maker, const QStringList& files) {
    std::string header;
    while (ReadInputLine(header)) {
        const QList<QByteArray> f = QByteArray::fromStdString(header).split('\t');
        if (f.size() != 5 || f[0] != "F") continue;
        const int number = f[1].toInt();
        const std::size_t count = f[2].toULongLong();
        const bool file = f[3] == "1";
        QByteArray payload(static_cast<qsizetype>(f[4].toLongLong()), Qt::Uninitialized);
        if (!ReadInput(payload.data(), static_cast<std::size_t>(payload.size()))) break;
        FigureOutcome o;
        try {
            const AtlasData data = UnpackFigureData(payload, files);
            std::vector<int> all;
            for (std::size_t k = 0; k < data.categories.size(); ++k) all.push_back(static_cast<int>(k));
            if (all.empty()) throw std::runtime_error("図のデータを読めません");
            o = maker.Make(data, all, number, count, file);
        } catch (const std::exception& e) {
            o.failed = true;
            o.messages << QStringLiteral("図 %1: %2").arg(number).arg(QString::fromUtf8(e.what()));
        }
        for (const QString& m : o.messages) WriteOutput("M\t" + OneLineUtf8(m) + '\n');
        if (o.writeError != 0) WriteOutput("W\t" + QByteArray::number(o.writeError) + '\t' + OneLineUtf8(o.writePath) + '\n');
        if (!o.page.isEmpty()) WriteOutput("P\t" + QByteArray::number(o.page.size()) + '\n' + o.page);
        std::printf("D\t%d\t%d\t%d\t%zu\t%zu\n", number, o.written ? 1 : 0, o.failed ? 1 : 0, o.accepted, o.skipped);
        std::fflush(stdout);
    }
    return 0;
}

// What drawing a data file alone would report: the record line that does
// not convert (where the pass stops) and the warnings of the pass, as
// "FILE:LINE: message". True when the drawing would end with status 1.
bool DrawingReport(const QString& file, geo::PointPrecision precision, QStringList& out) {
    struct Lines : plot::PlotText {
        std::vector<std::string> lines;
        std::size_t last = 0;
        std::size_t LineCount() const override { return lines.size(); }
        std::string Line(std::size_t i) const override {
            const_cast<Lines*>(this)->last = i;
            return lines[i];
        }
        void ReplaceLine(std::size_t, const std::string&) override {}
    } text;
    struct Nowhere : plot::PlotTarget {
        void ActivateCategory(int) override {}
        void AddPoint(plot::View, int, double, double) override {}
    } target;
    text.lines = data::DataText::ReadFileLines(QFile::encodeName(file).toStdString());
    plot::PlotOptions options;
    options.precision = precision;
    plot::LegendNameArray names;
    plot::PlotReport report;
    bool failed = false;
    QString failure;
    try {
        plot::PlotOnMap(text, options, names, target, nullptr, &report);
    } catch (const std::exception& e) {
        failed = true;
        failure = QStringLiteral("%1:%2: %3").arg(file).arg(text.last + 1).arg(QString::fromUtf8(e.what()));
    }
    for (const std::string& line : report.LineMessages(file.toStdString())) out << QString::fromStdString(line);
    if (failed) out << failure;
    return failed || report.HasWarnings();
}

// Makes the map with no data, as the one-figure mode makes it with data.
bool MakeEmptyMap(Document& form, const RenderArgs& args) {
    QTemporaryFile empty(QDir::tempPath() + QStringLiteral("/kavum-atlas-XXXXXX.grd"));
    if (!empty.open()) throw std::runtime_error("一時ファイルを作成できません");
    empty.close();
    const QString data = form.Board.GrdFile;
    form.Board.GrdFile = empty.fileName();
    form.ClientSize = QSize(args.width, args.height);
    form.MakeMap();
    form.Board.GrdFile = data;
    return form.MapMade();
}

// Whether files can be made in the folder: 0, or the errno of the failure.
// The owner's write permission counts for every user, as for the figures.
int FolderWriteError(const QString& dir) {
    const std::string local = QFile::encodeName(dir).toStdString();
    struct stat st {};
    if (::stat(local.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    if (geteuid() == 0 ? (st.st_mode & 0222) == 0 : ::access(local.c_str(), W_OK) != 0) return EACCES;
    const std::string probe = local + "/atlas.kavum-save-" + std::to_string(getpid()) + "-probe.tmp";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    int error = 0;
    if (::write(fd, "k", 1) != 1 || ::fsync(fd) != 0) error = errno != 0 ? errno : EIO;
    if (::close(fd) != 0 && error == 0) error = errno;
    ::unlink(probe.c_str());
    return error;
}

QString ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What the figures are made from besides their data: the program, the
// settings and map files, and every option but those that only steer the run.
QByteArray RunKey(const Document& form, const QStringList& arguments) {
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(QByteArrayView("kavum-atlas-1\n"));
    const QFileInfo program(QCoreApplication::applicationFilePath());
    h.addData(QByteArray::number(program.size()) + ' ' +
              QByteArray::number(program.lastModified().toMSecsSinceEpoch()) + '\n');
    h.addData(FileBytes(form.Board.IniFile));
    h.addData(QByteArrayView("\nmap\n"));
    h.addData(FileBytes(form.Board.MapFile));
    static const QStringList withValue = {"--jobs", "-j", "--book", "--per-category"};
    static const QStringList alone = {"--progress", "--skip-existing", "--keep-old", "--worker", "--list"};
    for (int i = 0; i < arguments.size(); ++i) {
        if (withValue.contains(arguments[i])) {
            ++i;
            continue;
        }
        if (alone.contains(arguments[i])) continue;
        h.addData(QByteArrayView("\narg\n"));
        h.addData(arguments[i].toUtf8());
    }
    return h.result();
}

QString FigureHash(const QByteArray& runKey, const AtlasData& data, const std::vector<int>& categories, int number,
                   const QString& file) {
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(runKey);
    h.addData(QByteArray::number(number) + '\n' + file.toUtf8() + '\n');
    for (int k : categories) {
        const AtlasCategory& c = data.categories[static_cast<std::size_t>(k)];
        h.addData(QByteArray::number(c.position) + '\n');
        for (const std::string& line : c.lines) {
            h.addData(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
            h.addData(QByteArrayView("\n"));
        }
    }
    return QString::fromLatin1(h.result().toHex().left(20));
}

// Figures handed to worker processes, each with two at a time.
class Workers {
public:
    using Done = std::function<void(std::size_t, FigureOutcome&&)>;

    Workers(int count, const QStringList& arguments, Done done) : done_(std::move(done)) {
        const QString program = QCoreApplication::applicationFilePath();
        QStringList workerArguments = arguments;
        workerArguments << QStringLiteral("--worker");
        for (int n = 0; n < count; ++n) {
            auto w = std::make_unique<Worker>();
            w->process = std::make_unique<QProcess>();
            w->process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            Worker* wp = w.get();
            QObject::connect(wp->process.get(), &QProcess::readyReadStandardOutput, [this, wp] { Read(*wp); });
            QObject::connect(wp->process.get(), &QProcess::finished,
                             [this, wp](int code, QProcess::ExitStatus status) { Ended(*wp, code, status); });
            wp->process->start(program, workerArguments);
            if (!wp->process->waitForStarted()) {
                Say(QStringLiteral("作業プロセスを起動できません: %1").arg(wp->process->errorString()));
                continue;
            }
            wp->running = true;
            workers_.push_back(std::move(w));
        }
    }
    ~Workers() { Close(); }

    // A worker with room for another figure, or none.
    bool HasRoom() const {
        for (const auto& w : workers_) {
            if (w->running && w->pending.size() < 2) return true;
        }
        return false;
    }
    void Send(std::size_t index, int number, std::size_t count, bool file, const QByteArray& payload) {
        for (auto& w : workers_) {
            if (!w->running || w->pending.size() >= 2) continue;
            w->pending.push_back(index);
            w->process->write("F\t" + QByteArray::number(number) + '\t' + QByteArray::number(static_cast<qulonglong>(count)) +
                              '\t' + (file ? "1" : "0") + '\t' + QByteArray::number(payload.size()) + '\n');
            w->process->write(payload);
            return;
        }
    }
    bool Busy() const {
        for (const auto& w : workers_) {
            if (!w->pending.empty()) return true;
        }
        return false;
    }
    void Close() {
        for (auto& w : workers_) {
            if (w->process->state() != QProcess::NotRunning) {
                w->process->closeWriteChannel();
                w->process->waitForFinished(-1);
            }
        }
        workers_.clear();
    }

private:
    struct Worker {
        std::unique_ptr<QProcess> process;
        std::deque<std::size_t> pending;
        FigureOutcome current;
        QByteArray buffer;
        bool running = false;
    };

    void Read(Worker& w) {
        w.buffer += w.process->readAllStandardOutput();
        for (;;) {
            const qsizetype end = w.buffer.indexOf('\n');
            if (end < 0) return;
            const QByteArray line = w.buffer.left(end);
            if (line.startsWith("P\t")) {
                const qsizetype size = line.mid(2).toLongLong();
                if (w.buffer.size() < end + 1 + size) return;  // the rest of the page is still coming
                w.current.page = w.buffer.mid(end + 1, size);
                w.buffer.remove(0, end + 1 + size);
                continue;
            }
            w.buffer.remove(0, end + 1);
            if (line.startsWith("M\t")) {
                w.current.messages << QString::fromUtf8(line.mid(2));
            } else if (line.startsWith("W\t")) {
                const QList<QByteArray> f = line.split('\t');
                if (f.size() >= 3) {
                    w.current.writeError = f[1].toInt();
                    w.current.writePath = QString::fromUtf8(line.mid(f[0].size() + f[1].size() + 2));
                }
            } else if (line.startsWith("D\t")) {
                const QList<QByteArray> f = line.split('\t');
                if (f.size() != 6 || w.pending.empty()) continue;
                w.current.written = f[2] == "1";
                w.current.failed = f[3] == "1";
                w.current.accepted = f[4].toULongLong();
                w.current.skipped = f[5].toULongLong();
                const std::size_t index = w.pending.front();
                w.pending.pop_front();
                FigureOutcome o = std::move(w.current);
                w.current = FigureOutcome();
                done_(index, std::move(o));
            }
        }
    }

    void Ended(Worker& w, int code, QProcess::ExitStatus status) {
        Read(w);
        // Figures a worker took and did not finish are failures.
        for (const std::size_t i : w.pending) {
            FigureOutcome o;
            o.failed = true;
            o.messages << QStringLiteral("図 %1: 作業プロセスが途中で終わりました（%2）")
                              .arg(i + 1)
                              .arg(status == QProcess::CrashExit ? QStringLiteral("異常終了")
                                                                 : QStringLiteral("終了コード %1").arg(code));
            done_(i, std::move(o));
        }
        w.pending.clear();
        w.running = false;
    }

    Done done_;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace

int RunAtlasMode(Document& form, const RenderArgs& args, const QStringList& arguments) {
    // Every figure takes bitmaps and buffers of the sizes the one before
    // took: kept by the allocator rather than given back to the system and
    // faulted in afresh each time.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    if (args.worker) {
        // A worker reads no data: every figure's lines come with it.
        QStringList files;
        try {
            files = ExpandDataInputs(DataInputs(form, args));
            if (!MakeEmptyMap(form, args)) return 1;
        } catch (const std::exception& e) {
            Say(QString::fromUtf8(e.what()));
            return 1;
        }
        FigureMaker maker(form, args);
        return RunWorker(maker, files);
    }

    AtlasData data;
    try {
        data = ReadAtlasData(ExpandDataInputs(DataInputs(form, args)));
    } catch (const std::exception& e) {
        Say(QString::fromUtf8(e.what()));
        return 1;
    }
    const auto precision = static_cast<geo::PointPrecision>(form.SelectedGridSize());

    if (args.list) {
        QStringList problems;
        const QString table =
            ListCategories(data, precision, &problems);
        // Names come from the data: every field as plain text.
        QStringList rows = table.split(QLatin1Char('\n'));
        for (QString& row : rows) {
            QStringList fields = row.split(QLatin1Char('\t'));
            for (QString& field : fields) field = platform::PlainMessageText(field);
            row = fields.join(QLatin1Char('\t'));
        }
        std::fputs(rows.join(QLatin1Char('\n')).toUtf8().constData(), stdout);
        std::fflush(stdout);
        // Each file as drawing it alone would report it; a line the
        // listing found already is not told twice.
        bool bad = !problems.isEmpty();
        for (const QString& p : problems) Say(p);
        for (const QString& file : data.files) {
            QStringList drawn;
            try {
                bad = DrawingReport(file, static_cast<geo::PointPrecision>(form.SelectedGridSize()), drawn) || bad;
            } catch (const std::exception& e) {
                Say(QString::fromUtf8(e.what()));
                bad = true;
            }
            for (const QString& p : drawn) {
                if (!problems.contains(p)) std::fprintf(stderr, "%s\n", platform::PlainMessageText(p).toUtf8().constData());
            }
        }
        return bad ? 1 : 0;
    }

    std::size_t suspicious = 0;
    for (const QString& p : HeadingProblems(data, &suspicious)) Say(p);
    if (data.orphanRecords > 0) {
        Say(QStringLiteral("ファイルの最初の見出しより前にある記録の行 %1 行はどの分類にも属さないため除きました")
                .arg(data.orphanRecords));
    }

    // The categories and what their records give; empty ones are said.
    std::vector<CategoryStats> stats;
    stats.reserve(data.categories.size());
    std::vector<int> kept;
    std::vector<int> leftOut;
    for (std::size_t k = 0; k < data.categories.size(); ++k) {
        stats.push_back(StatsOf(data.categories[k], precision));
        const bool empty = stats.back().accepted == 0 && !stats.back().failedLine;
        if (empty) {
            const AtlasCategory& c = data.categories[k];
            Say(LineReport(data, c.heading,
                           QStringLiteral("「%1」には受け入れられる記録がありません（%2）")
                               .arg(platform::Cp932ToQString(c.name).trimmed(),
                                    args.skipEmpty ? QStringLiteral("図を作りません")
                                                   : QStringLiteral("凡例に「記録なし」と書いて描きます"))));
        }
        if (empty && args.skipEmpty) {
            leftOut.push_back(static_cast<int>(k));
        } else {
            kept.push_back(static_cast<int>(k));
        }
    }
    // What the plotting pass would warn of, as the one-figure mode says it.
    const QStringList notices = RecordNotices(data, stats);
    for (const QString& n : notices) std::fprintf(stderr, "%s\n", platform::PlainMessageText(n).toUtf8().constData());
    std::vector<std::vector<int>> figures = GroupFigures(kept.size(), args.group);
    for (std::vector<int>& f : figures) {
        for (int& k : f) k = kept[static_cast<std::size_t>(k)];
    }
    const std::size_t count = figures.size();

    // The folder is the run's: it must take files before anything is drawn.
    const bool files = !args.perCategory.isEmpty();
    const QString dir = args.perCategory;
    if (files) {
        if (!QDir().mkpath(dir)) {
            Say(QStringLiteral("フォルダ %1 を作成できません").arg(dir));
            return 1;
        }
        if (const int error = FolderWriteError(dir)) {
            Say(QStringLiteral("%1 に書き込めません: %2").arg(dir, ErrorText(error)));
            return 1;
        }
        platform::RemoveStaleTemporaries(QFile::encodeName(dir).toStdString());
    }
    std::unique_ptr<PdfBook> book;
    if (!args.book.isEmpty()) {
        const QString bookDir = QFileInfo(args.book).absolutePath();
        if (const int error = FolderWriteError(bookDir)) {
            Say(QStringLiteral("%1 に書き込めません: %2").arg(args.book, ErrorText(error)));
            return 1;
        }
        platform::RemoveStaleTemporaries(QFile::encodeName(bookDir).toStdString());
        try {
            book = std::make_unique<PdfBook>(args.book);
        } catch (const platform::KavumError& e) {
            Say(QString::fromStdString(e.Message()));
            return 1;
        }
    }

    // The manifest of an earlier run, and the journal of one that was cut off.
    const QString manifestPath = files ? QDir(dir).filePath(QStringLiteral("atlas.tsv")) : QString();
    const QString journalPath = files ? manifestPath + QStringLiteral(".part") : QString();
    std::vector<ManifestRow> earlier;
    if (files) {
        earlier = ParseManifest(ReadText(manifestPath));
        for (ManifestRow& r : ParseManifest(ReadText(journalPath))) earlier.push_back(std::move(r));
    }
    QHash<QString, const ManifestRow*> earlierByFile;
    for (const ManifestRow& r : earlier) earlierByFile[r.file] = &r;  // the journal's come last and win

    const QByteArray runKey = RunKey(form, arguments);
    std::vector<QString> names(count);
    std::vector<QString> hashes(count);
    std::vector<bool> current(count, false);
    std::size_t currentCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const AtlasCategory& first = data.categories[static_cast<std::size_t>(figures[i].front())];
        names[i] = FigureFileName(static_cast<int>(i) + 1, count, first.name, args.format);
        hashes[i] = FigureHash(runKey, data, figures[i], static_cast<int>(i) + 1, names[i]);
        if (files && args.skipExisting) {
            const ManifestRow* r = earlierByFile.value(names[i]);
            current[i] = r && r->hash == hashes[i] && r->status == QLatin1String("written") &&
                         QFileInfo(QDir(dir).filePath(names[i])).isFile();
            if (current[i]) ++currentCount;
        }
    }

    // The figures to draw: every one, but a figure still current only for
    // its book page (a PDF figure is its own page).
    std::deque<std::size_t> queue;
    for (std::size_t i = 0; i < count; ++i) {
        if (!current[i] || (book && args.format != QLatin1String("pdf"))) queue.push_back(i);
    }

    // The book's title: the settings' title, before the figures set theirs.
    const QString bookTitle = form.Board.Title;
    std::unique_ptr<FigureMaker> maker;
    if (!queue.empty()) {
        try {
            if (!MakeEmptyMap(form, args)) {
                Say(QStringLiteral("地図を作成できません: 地図データファイルが見つかりません"));
                return 1;
            }
        } catch (const std::exception& e) {
            Say(QString::fromUtf8(e.what()));
            return 1;
        }
        maker = std::make_unique<FigureMaker>(form, args);
    }

    // The journal: a line per category of every figure as it is finished,
    // so that an interrupted run can be resumed.
    QFile journal(journalPath);
    if (files) {
        journal.open(QIODevice::WriteOnly | QIODevice::Truncate);
        journal.write(ManifestHeader().toUtf8());
        journal.flush();
    }
    std::vector<std::vector<ManifestRow>> rows(count);
    auto rowsOf = [&](std::size_t i, const QString& status) {
        std::vector<ManifestRow> out;
        for (int k : figures[i]) {
            const AtlasCategory& c = data.categories[static_cast<std::size_t>(k)];
            const CategoryStats& st = stats[static_cast<std::size_t>(k)];
            ManifestRow r;
            r.number = static_cast<int>(i) + 1;
            r.file = files ? names[i] : QString();
            r.heading = platform::Cp932ToQString(c.name);
            r.source = LineReport(data, c.heading, QString()).chopped(2);
            r.accepted = st.accepted;
            r.skipped = st.skipped;
            r.cells = st.cells;
            r.lowest = st.lowest;
            r.highest = st.highest;
            r.status = status;
            r.hash = hashes[i];
            out.push_back(r);
        }
        return out;
    };

    int jobs = args.jobs > 0 ? args.jobs : std::max(1, QThread::idealThreadCount());
    if (static_cast<std::size_t>(jobs) > queue.size()) jobs = static_cast<int>(std::max<std::size_t>(1, queue.size()));

    Progress progress(count, args.progress);
    std::size_t done = 0;
    std::size_t written = 0;
    std::size_t failures = 0;
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    std::map<int, std::size_t> writeErrors;  // errno: figures that failed so
    bool stopped = false;
    int stopError = 0;
    bool bookFailed = false;

    auto addPage = [&](std::size_t i, const QByteArray& page) {
        if (!book || bookFailed || page.isEmpty()) return;
        try {
            book->AddPage(static_cast<int>(i), page, FigureTitle(data, figures[i]));
        } catch (const platform::KavumError& e) {
            bookFailed = true;
            progress.Message(QString::fromStdString(e.Message()));
        } catch (const std::exception& e) {
            bookFailed = true;
            progress.Message(QStringLiteral("%1: %2").arg(args.book, QString::fromUtf8(e.what())));
        }
    };
    auto finish = [&](std::size_t i, FigureOutcome&& o) {
        for (const QString& m : o.messages) progress.Message(m);
        QString status;
        if (current[i]) {
            // Still current: only its page was drawn.
            status = QStringLiteral("written");
            accepted += o.accepted;
            skipped += o.skipped;
        } else if (o.writeError != 0) {
            status = QStringLiteral("not written: ") + ErrorText(o.writeError);
            if (writeErrors[o.writeError]++ == 0) {
                progress.Message(QStringLiteral("%1 に書き込めません: %2").arg(o.writePath, ErrorText(o.writeError)));
            }
            // A folder that takes nothing more ends the run.
            if (!stopped) {
                if (const int error = FolderWriteError(dir)) {
                    stopped = true;
                    stopError = error;
                }
            }
        } else if (o.written) {
            status = o.failed ? QStringLiteral("written up to a bad line") : QStringLiteral("written");
            ++written;
            accepted += o.accepted;
            skipped += o.skipped;
        } else {
            status = QStringLiteral("failed");
        }
        failures += o.failed ? 1 : 0;
        if (!current[i] || !o.page.isEmpty()) addPage(i, o.page);
        rows[i] = rowsOf(i, status);
        if (files) {
            for (const ManifestRow& r : rows[i]) journal.write(ManifestLine(r).toUtf8());
            journal.flush();
        }
        progress.Done(++done);
    };

    // Figures still current count as done at once (a PDF one gives its page).
    for (std::size_t i = 0; i < count; ++i) {
        if (!current[i] || (book && args.format != QLatin1String("pdf"))) continue;
        FigureOutcome o;
        for (int k : figures[i]) {
            o.accepted += stats[static_cast<std::size_t>(k)].accepted;
            o.skipped += stats[static_cast<std::size_t>(k)].skipped;
        }
        if (book) o.page = FileBytes(QDir(dir).filePath(names[i]));
        finish(i, std::move(o));
    }

    {
        // The parent draws too; jobs - 1 workers beside it.
        std::unique_ptr<Workers> workers;
        if (jobs > 1) workers = std::make_unique<Workers>(jobs - 1, arguments, finish);
        auto stopQueue = [&] {
            if (!stopped || queue.empty()) return;
            Say(QStringLiteral("%1 に書き込めなくなりました（%2）。残りの %3 枚の図は作りません")
                    .arg(dir, ErrorText(stopError))
                    .arg(queue.size()));
            while (!queue.empty()) {
                const std::size_t i = queue.front();
                queue.pop_front();
                rows[i] = rowsOf(i, QStringLiteral("not written: ") + ErrorText(stopError));
                progress.Done(++done);
            }
        };
        for (;;) {
            stopQueue();
            while (workers && !queue.empty() && workers->HasRoom()) {
                const std::size_t i = queue.front();
                queue.pop_front();
                workers->Send(i, static_cast<int>(i) + 1, count, !current[i], PackFigureData(data, figures[i]));
            }
            if (workers) QCoreApplication::processEvents();
            stopQueue();
            if (!queue.empty()) {
                const std::size_t i = queue.front();
                queue.pop_front();
                finish(i, maker->Make(data, figures[i], static_cast<int>(i) + 1, count, !current[i], &stats));
                continue;
            }
            if (!workers || !workers->Busy()) break;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (workers) workers->Close();
    }
    progress.Finish();
    for (const auto& [error, n] : writeErrors) {
        if (n > 1) {
            Say(QStringLiteral("ほかに %1 枚の図も同じ理由（%2）で書き込めませんでした").arg(n - 1).arg(ErrorText(error)));
        }
    }

    int status = 0;
    if (files) {
        // The manifest names every figure of the run, and the categories
        // left out.
        QString text = ManifestHeader();
        QStringList named;
        for (std::size_t i = 0; i < count; ++i) {
            if (rows[i].empty()) rows[i] = rowsOf(i, QStringLiteral("not written"));
            for (const ManifestRow& r : rows[i]) text += ManifestLine(r);
            named << names[i];
        }
        for (int k : leftOut) {
            const AtlasCategory& c = data.categories[static_cast<std::size_t>(k)];
            ManifestRow r;
            r.file = QStringLiteral("-");
            r.heading = platform::Cp932ToQString(c.name);
            r.source = LineReport(data, c.heading, QString()).chopped(2);
            r.status = QStringLiteral("left out: no record");
            text += ManifestLine(r);
        }
        journal.close();
        const QByteArray bytes = text.toUtf8();
        if (platform::WriteFileAtomicallyNoCleaning(QFile::encodeName(manifestPath).toStdString(),
                                                    std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
            QFile::remove(journalPath);
        } else {
            Say(QStringLiteral("%1 に書き込めません: %2").arg(manifestPath, ErrorText(errno)));
            status = 1;
        }

        // Figures of an earlier run that this one does not make.
        QStringList earlierFiles;
        for (const ManifestRow& r : earlier) earlierFiles << r.file;
        const QStringList stale =
            StaleFigures(QDir(dir).entryList(QDir::Files | QDir::Hidden), earlierFiles, named, args.format);
        if (!stale.isEmpty()) {
            if (args.keepOld || stopped) {
                Say(QStringLiteral("以前の実行の図 %1 枚を残しました（この実行では作っていません）: %2%3")
                        .arg(stale.size())
                        .arg(stale.mid(0, 3).join(QStringLiteral(", ")))
                        .arg(stale.size() > 3 ? QStringLiteral(", …") : QString()));
            } else {
                qsizetype removed = 0;
                for (const QString& name : stale) removed += QFile::remove(QDir(dir).filePath(name)) ? 1 : 0;
                Say(QStringLiteral("以前の実行の図 %1 枚を削除しました（この実行では作っていません）").arg(removed));
            }
        }
    }

    if (book && !bookFailed) {
        std::vector<PdfBook::IndexEntry> index;
        for (std::size_t i = 0; i < count; ++i) {
            for (int k : figures[i]) {
                index.push_back({platform::Cp932ToQString(data.categories[static_cast<std::size_t>(k)].name).trimmed(),
                                 static_cast<int>(i)});
            }
        }
        const QString title = bookTitle.trimmed().isEmpty() ? QFileInfo(args.book).completeBaseName() : bookTitle;
        QStringList lines;
        lines << QStringLiteral("図 %1 枚・%2 種").arg(book->PageCount()).arg(index.size());
        for (const QString& f : data.files) lines << QFileInfo(f).fileName();
        try {
            book->Finish(title, lines, std::move(index));
            Say(QStringLiteral("%1: 図 %2 ページに表紙と索引を付けて書き込みました").arg(args.book).arg(book->PageCount()));
        } catch (const platform::KavumError& e) {
            Say(QString::fromStdString(e.Message()));
            bookFailed = true;
        } catch (const std::exception& e) {
            Say(QStringLiteral("%1: %2").arg(args.book, QString::fromUtf8(e.what())));
            bookFailed = true;
        }
    }

    QString summary = QStringLiteral("図 %2 枚のうち %1 枚を書き込みました（描いたレコード %3 件、描かなかったレコード %4 件、失敗 %5 件")
                          .arg(written)
                          .arg(count)
                          .arg(accepted)
                          .arg(skipped)
                          .arg(failures);
    if (currentCount > 0) summary += QStringLiteral("、以前の実行のままの図 %1 枚").arg(currentCount);
    summary += QStringLiteral("）");
    Say(summary);
    if (failures > 0 || stopped || bookFailed || suspicious > 0 || !notices.isEmpty()) status = 1;
    return status;
}

}  // namespace kavum::render
