#include "AtlasRun.h"

#include "Atlas.h"

#include "app/FormMain.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <cstdio>
#include <deque>
#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace kavum::render {
namespace {

using app::TFormMain;

void Say(const QString& message) { std::fprintf(stderr, "kavum-render: %s\n", message.toUtf8().constData()); }

// The data of the run: --data and every further argument; the settings'
// data file when neither is given.
QStringList DataInputs(const TFormMain& form, const RenderArgs& args) {
    QStringList inputs;
    if (!args.data.isEmpty() || args.inputs.isEmpty()) inputs << form.EditGrdFile->text();
    inputs << args.inputs;
    return inputs;
}

// What became of one figure.
struct FigureOutcome {
    bool written = false;
    bool failed = false;
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    QStringList messages;
};

// Makes the figures of a run one after the other on one form. Every figure
// starts from the state the form had with the map made and no data, so a
// figure does not depend on the ones made before it.
class FigureMaker {
public:
    FigureMaker(TFormMain& form, const RenderArgs& args, const AtlasData& data,
                const std::vector<std::vector<int>>& figures)
        : form_(form), args_(args), data_(data), figures_(figures), fresh_(form.State),
          precision_(static_cast<geo::PointPrecision>(form.State.GridSize)) {}

    FigureOutcome Make(std::size_t index) {
        FigureOutcome out;
        const std::vector<int>& categories = figures_[index];
        FigureText text = MakeFigureText(data_, categories);
        const TextCounts counts = CountRecords(text.lines, precision_);
        out.accepted = counts.accepted;
        out.skipped = counts.skipped;

        form_.ClearDotMaps();
        form_.State = fresh_;
        if (args_.markOfPosition) {
            for (std::size_t j = 0; j < categories.size(); ++j) {
                const int position = data_.categories[static_cast<std::size_t>(categories[j])].position;
                form_.State.Marks[j + 1] = fresh_.Marks[static_cast<std::size_t>((position - 1) % app::MaxCategories + 1)];
            }
        }
        const AtlasCategory& first = data_.categories[static_cast<std::size_t>(categories.front())];
        try {
            form_.PlotDataText(std::move(text.lines), FigureTitle(data_, categories));
        } catch (const std::exception& e) {
            out.failed = true;
            const QString message = QString::fromUtf8(e.what());
            const std::optional<std::size_t> at = form_.FailedDataLine();
            if (at && *at < text.origins.size()) {
                out.messages << LineReport(data_, text.origins[*at], message);
            } else {
                out.messages << QStringLiteral("%1: %2").arg(LineReport(data_, first.heading, message));
            }
            if (!args_.keepGoing) return out;
        }
        const QString path = QDir(args_.perCategory)
                                 .filePath(FigureFileName(static_cast<int>(index) + 1, figures_.size(), first.name,
                                                          args_.format));
        try {
            // The figure is written whole or not at all.
            form_.SaveFigure(path, args_.print);
            if (!QFileInfo(path).isFile()) throw std::runtime_error("no figure was made");
            out.written = true;
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
    TFormMain& form_;
    const RenderArgs& args_;
    const AtlasData& data_;
    const std::vector<std::vector<int>>& figures_;
    const app::AppState fresh_;
    const geo::PointPrecision precision_;
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
        QString line = QStringLiteral("%1/%2 figures").arg(done_).arg(total_);
        if (done_ > 0 && rate > 0) {
            const int left = static_cast<int>(static_cast<double>(total_ - done_) / rate + 0.5);
            line += QStringLiteral(", %1/s, %2:%3 left")
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

struct Totals {
    std::size_t written = 0;
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    std::size_t failures = 0;
    std::size_t done = 0;

    void Add(const FigureOutcome& o, Progress& progress) {
        for (const QString& m : o.messages) progress.Message(m);
        written += o.written ? 1 : 0;
        failures += o.failed ? 1 : 0;
        accepted += o.accepted;
        skipped += o.skipped;
        progress.Done(++done);
    }
};

// Worker protocol, one line each, UTF-8: the parent sends a figure number
// (from 0); the worker answers "M\t<message>" for every message of the
// figure, then "D\t<number>\t<written>\t<failed>\t<accepted>\t<skipped>".
QByteArray OneLineUtf8(const QString& s) {
    QByteArray b = s.toUtf8();
    b.replace('\n', ' ');
    b.replace('\r', ' ');
    return b;
}

int RunWorker(FigureMaker& maker, std::size_t count) {
    std::string line;
    while (std::getline(std::cin, line)) {
        std::size_t index = 0;
        try {
            index = static_cast<std::size_t>(std::stoul(line));
        } catch (const std::exception&) {
            continue;
        }
        if (index >= count) continue;
        const FigureOutcome o = maker.Make(index);
        for (const QString& m : o.messages) std::printf("M\t%s\n", OneLineUtf8(m).constData());
        std::printf("D\t%zu\t%d\t%d\t%zu\t%zu\n", index, o.written ? 1 : 0, o.failed ? 1 : 0, o.accepted, o.skipped);
        std::fflush(stdout);
    }
    return 0;
}

// Hands the figures to `jobs` worker processes, two at a time each, and
// gathers their outcomes.
void RunWorkers(const QStringList& arguments, std::size_t count, int jobs, Totals& totals, Progress& progress) {
    struct Worker {
        std::unique_ptr<QProcess> process;
        std::deque<std::size_t> pending;
        FigureOutcome current;
        bool running = false;
    };
    std::deque<std::size_t> queue;
    for (std::size_t i = 0; i < count; ++i) queue.push_back(i);
    std::vector<Worker> workers(static_cast<std::size_t>(jobs));
    QEventLoop loop;
    int running = 0;

    auto feed = [&](Worker& w) {
        if (!queue.empty()) {
            const std::size_t next = queue.front();
            queue.pop_front();
            w.pending.push_back(next);
            w.process->write(QByteArray::number(static_cast<qulonglong>(next)) + '\n');
        }
        if (queue.empty() && w.pending.empty()) w.process->closeWriteChannel();
    };
    auto read = [&](Worker& w) {
        while (w.process->canReadLine()) {
            const QByteArray line = w.process->readLine().chopped(1);
            if (line.startsWith("M\t")) {
                w.current.messages << QString::fromUtf8(line.mid(2));
            } else if (line.startsWith("D\t")) {
                const QList<QByteArray> f = line.split('\t');
                if (f.size() != 6) continue;
                w.current.written = f[2] == "1";
                w.current.failed = f[3] == "1";
                w.current.accepted = f[4].toULongLong();
                w.current.skipped = f[5].toULongLong();
                totals.Add(w.current, progress);
                w.current = FigureOutcome();
                if (!w.pending.empty()) w.pending.pop_front();
                feed(w);
            }
        }
    };

    const QString program = QCoreApplication::applicationFilePath();
    QStringList workerArguments = arguments;
    workerArguments << QStringLiteral("--worker");
    for (Worker& w : workers) {
        w.process = std::make_unique<QProcess>();
        w.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(w.process.get(), &QProcess::readyReadStandardOutput, [&w, &read] { read(w); });
        QObject::connect(w.process.get(), &QProcess::finished, [&, wp = &w](int code, QProcess::ExitStatus status) {
            read(*wp);
            // Figures a worker took and did not finish are failures.
            for (const std::size_t i : wp->pending) {
                FigureOutcome o;
                o.failed = true;
                o.messages << QStringLiteral("figure %1: the worker process ended (%2)")
                                  .arg(i + 1)
                                  .arg(status == QProcess::CrashExit ? QStringLiteral("crashed")
                                                                     : QStringLiteral("status %1").arg(code));
                totals.Add(o, progress);
            }
            wp->pending.clear();
            wp->running = false;
            if (--running == 0) {
                // Nothing left to run the rest on.
                while (!queue.empty()) {
                    FigureOutcome o;
                    o.failed = true;
                    o.messages << QStringLiteral("figure %1: no worker process left").arg(queue.front() + 1);
                    queue.pop_front();
                    totals.Add(o, progress);
                }
                loop.quit();
            }
        });
        w.process->start(program, workerArguments);
        if (!w.process->waitForStarted()) {
            Say(QStringLiteral("cannot start a worker process: %1").arg(w.process->errorString()));
            continue;
        }
        w.running = true;
        ++running;
        feed(w);
        feed(w);
    }
    if (running > 0) loop.exec();
    for (Worker& w : workers) {
        if (w.process && w.process->state() != QProcess::NotRunning) w.process->waitForFinished();
    }
    // Figures never handed out (no worker started).
    while (!queue.empty()) {
        FigureOutcome o;
        o.failed = true;
        o.messages << QStringLiteral("figure %1: no worker process").arg(queue.front() + 1);
        queue.pop_front();
        totals.Add(o, progress);
    }
}

// Makes the map with no data, as the one-figure mode makes it with data.
bool MakeEmptyMap(TFormMain& form, const RenderArgs& args) {
    QTemporaryFile empty(QDir::tempPath() + QStringLiteral("/kavum-atlas-XXXXXX.grd"));
    if (!empty.open()) throw std::runtime_error("cannot make a temporary file");
    empty.close();
    form.EditGrdFile->setText(empty.fileName());
    form.show();
    QApplication::processEvents();
    form.SetClientSize(QSize(args.width, args.height));
    form.NewMapBtnClick();
    QApplication::processEvents();
    return form.MenuEdit->menuAction()->isEnabled();
}

}  // namespace

int RunAtlasMode(TFormMain& form, const RenderArgs& args, const QStringList& arguments) {
    AtlasData data;
    try {
        data = ReadAtlasData(ExpandDataInputs(DataInputs(form, args)));
    } catch (const std::exception& e) {
        Say(QString::fromUtf8(e.what()));
        return 1;
    }

    if (args.list) {
        QStringList problems;
        const QString table =
            ListCategories(data, static_cast<geo::PointPrecision>(form.SelectedGridSize()), &problems);
        std::fputs(table.toUtf8().constData(), stdout);
        std::fflush(stdout);
        for (const QString& p : problems) Say(p);
        return problems.isEmpty() ? 0 : 1;
    }

    const std::vector<std::vector<int>> figures = GroupFigures(data.categories.size(), args.group);
    try {
        if (!MakeEmptyMap(form, args)) {
            Say(QStringLiteral("no map was made: the map file could not be found"));
            return 1;
        }
    } catch (const std::exception& e) {
        Say(QString::fromUtf8(e.what()));
        return 1;
    }
    FigureMaker maker(form, args, data, figures);
    if (args.worker) return RunWorker(maker, figures.size());

    if (!QDir().mkpath(args.perCategory)) {
        Say(QStringLiteral("cannot make the folder %1").arg(args.perCategory));
        return 1;
    }
    if (data.orphanRecords > 0) {
        Say(QStringLiteral("%1 record lines above the first heading of their file belong to no category; left out")
                .arg(data.orphanRecords));
    }
    int jobs = args.jobs > 0 ? args.jobs : std::max(1, QThread::idealThreadCount());
    if (static_cast<std::size_t>(jobs) > figures.size()) jobs = static_cast<int>(std::max<std::size_t>(1, figures.size()));

    Progress progress(figures.size(), args.progress);
    Totals totals;
    if (jobs == 1) {
        for (std::size_t i = 0; i < figures.size(); ++i) totals.Add(maker.Make(i), progress);
    } else {
        RunWorkers(arguments, figures.size(), jobs, totals, progress);
    }
    progress.Finish();
    Say(QStringLiteral("%1 of %2 figures written, %3 records plotted, %4 skipped as not accepted, %5 failures")
            .arg(totals.written)
            .arg(figures.size())
            .arg(totals.accepted)
            .arg(totals.skipped)
            .arg(totals.failures));
    return totals.failures == 0 ? 0 : 1;
}

}  // namespace kavum::render
