// Typing into the data editor: one keystroke, with the repaint it causes,
// into a text whose one line is long (a file without line ends, or a
// pasted block). Run offscreen: QT_QPA_PLATFORM=offscreen ./bench_editor
#include "data/EditorPane.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>

#include <memory>
#include <string>

namespace {

struct Editor {
    kavum::data::DataText text;
    std::unique_ptr<kavum::data::TEditorBox> box;
    explicit Editor(std::size_t length) {
        std::string line;
        line.reserve(length);
        while (line.size() < length) line += "35.40205,139.4610,850 ";
        line.resize(length);
        text.SetLines({"Mark1", line, "53394611.12"});
        box = std::make_unique<kavum::data::TEditorBox>(text);
        box->show();
        box->ShowText();
        QApplication::processEvents();
        // The caret in the middle of the long line.
        QTextCursor c(box->Memo1->document()->findBlockByNumber(1));
        c.setPosition(c.position() + static_cast<int>(length / 2));
        box->Memo1->setTextCursor(c);
        box->Memo1->setFocus();
        box->repaint();
        QApplication::processEvents();
    }
};

void BM_KeystrokeInLongLine(benchmark::State& state) {
    Editor editor(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        QTest::keyClick(editor.box->Memo1, Qt::Key_7);
        editor.box->repaint();
        QApplication::processEvents();
    }
    state.SetLabel(std::to_string(state.range(0) >> 20) + " MB line");
}
BENCHMARK(BM_KeystrokeInLongLine)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CaretMoveInLongLine(benchmark::State& state) {
    Editor editor(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        QTest::keyClick(editor.box->Memo1, Qt::Key_Right);
        editor.box->repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_CaretMoveInLongLine)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BackspaceInLongLine(benchmark::State& state) {
    Editor editor(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        QTest::keyClick(editor.box->Memo1, Qt::Key_Backspace);
        editor.box->repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_BackspaceInLongLine)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
