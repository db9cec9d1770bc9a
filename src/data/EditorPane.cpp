#include "EditorPane.h"

#include "platform/Cp932.h"
#include "platform/Fonts.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kavum::data {

namespace {

QToolButton* MakeButton(QToolBar* bar, QStyle::StandardPixmap icon, int width, const QString& hint,
                        bool flat = true) {
    auto* b = new QToolButton(bar);
    b->setIcon(bar->style()->standardIcon(icon));
    b->setFixedSize(width, 23);
    b->setAutoRaise(flat);
    b->setToolTip(hint);
    // A toolbar button acts on the text and leaves the keyboard with it.
    b->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(b);
    return b;
}

// Draws the symbol for a carriage return (a small C over a small R) where
// the text holds U+240D, which the editor's Japanese fonts have no glyph
// for. It lies over the text area and lets every mouse event through.
class CrSymbolOverlay : public QWidget {
public:
    explicit CrSymbolOverlay(QPlainTextEdit* edit) : QWidget(edit->viewport()), edit_(edit) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        edit->viewport()->installEventFilter(this);
        setGeometry(edit->viewport()->rect());
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) setGeometry(edit_->viewport()->rect());
        return false;
    }
    // Scrolling the text moves the children of the text area: this one
    // stays over the whole area.
    void moveEvent(QMoveEvent*) override {
        if (pos() != QPoint(0, 0)) {
            move(0, 0);
            update();
        }
    }
    void paintEvent(QPaintEvent*) override {
        const QChar symbol(0x240D);
        QTextBlock block = edit_->cursorForPosition(QPoint(0, 0)).block();
        const QTextBlock last = edit_->cursorForPosition(QPoint(0, height())).block();
        QPainter painter(this);
        QFont small = edit_->font();
        small.setPixelSize(std::max(5, edit_->fontMetrics().height() * 2 / 5));
        painter.setFont(small);
        for (; block.isValid(); block = block.next()) {
            const QString text = block.text();
            for (qsizetype at = text.indexOf(symbol); at >= 0; at = text.indexOf(symbol, at + 1)) {
                QTextCursor c(block);
                c.setPosition(block.position() + static_cast<int>(at));
                const QRect left = edit_->cursorRect(c);
                c.setPosition(c.position() + 1);
                const QRect right = edit_->cursorRect(c);
                const QRect cell(left.left() + 1, left.top(), std::max(4, right.left() - left.left() - 1), left.height());
                const bool selected = edit_->textCursor().selectionStart() <= c.position() - 1 &&
                                      edit_->textCursor().selectionEnd() >= c.position();
                painter.fillRect(cell, edit_->palette().color(selected ? QPalette::Highlight : QPalette::Base));
                painter.setPen(edit_->palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
                const QRect top(cell.left(), cell.top(), cell.width(), cell.height() / 2);
                const QRect bottom(cell.left() + cell.width() / 3, cell.top() + cell.height() / 2, cell.width(),
                                   cell.height() - cell.height() / 2);
                painter.drawText(top, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("C"));
                painter.drawText(bottom, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("R"));
            }
            if (block == last) break;
        }
    }

private:
    QPlainTextEdit* edit_;
};

}  // namespace

TEditorBox::TEditorBox(DataText& text, QWidget* parent) : QFrame(parent), text_(text) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));  // silver
    setPalette(pal);
    setToolTip(QStringLiteral("切り取り"));
    resize(270, 413);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setFixedHeight(28);
    ToolBar1->setIconSize(QSize(16, 16));
    // The eight buttons fill the pane's width: no handle, margins or gaps.
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; border: 0px; }"));
    if (ToolBar1->layout()) {
        ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
        ToolBar1->layout()->setSpacing(0);
    }
    SpeedButton1 = MakeButton(ToolBar1, QStyle::SP_DialogOpenButton, 28, QStringLiteral("分布データ追加読み"));
    ClearBtn = MakeButton(ToolBar1, QStyle::SP_DialogDiscardButton, 28, QStringLiteral("分布データをクリア"), false);
    EdCutBtn = MakeButton(ToolBar1, QStyle::SP_DialogResetButton, 28, QStringLiteral("切り取り"));
    EdCopyBtn = MakeButton(ToolBar1, QStyle::SP_FileDialogContentsView, 28, QStringLiteral("コピー"));
    EdPasteBtn = MakeButton(ToolBar1, QStyle::SP_FileDialogDetailedView, 28, QStringLiteral("貼り付け"));
    EdSaveBtn = MakeButton(ToolBar1, QStyle::SP_DialogSaveButton, 28, QStringLiteral("保存"));
    EdReDrawBtn = MakeButton(ToolBar1, QStyle::SP_BrowserReload, 56, QStringLiteral("再描画"));
    // The wide button says what it does: its caption in full, without the
    // icon, which would leave room for only part of it.
    EdReDrawBtn->setText(QStringLiteral("再描画"));
    EdReDrawBtn->setToolButtonStyle(Qt::ToolButtonTextOnly);
    EdCancelBtn = MakeButton(ToolBar1, QStyle::SP_ArrowBack, 32, QStringLiteral("戻る"));
    layout->addWidget(ToolBar1);

    Memo1 = new QPlainTextEdit(this);
    // The same Mincho face for every line and character, so that columns of
    // data line up whether a line holds Japanese or not.
    QFont font = platform::ProgramFont(QStringLiteral("ＭＳ 明朝"), 13);
    font.setFixedPitch(true);
    Memo1->setFont(font);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    new CrSymbolOverlay(Memo1);
    layout->addWidget(Memo1, 1);

    StatusBar2 = new QWidget(this);
    auto* row = new QHBoxLayout(StatusBar2);
    row->setContentsMargins(0, 1, 0, 1);
    row->setSpacing(2);
    const int widths[3] = {50, 30, 50};
    const char* texts[3] = {"1", "100", "NoName.grd"};
    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(QString::fromLatin1(texts[i]), StatusBar2);
        panels_[i]->setFixedWidth(widths[i]);
        panels_[i]->setAlignment(Qt::AlignCenter);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        row->addWidget(panels_[i]);
    }
    row->addStretch(1);
    layout->addWidget(StatusBar2);

    connect(EdCutBtn, &QToolButton::clicked, this, &TEditorBox::EdCutBtnClick);
    connect(EdCopyBtn, &QToolButton::clicked, this, &TEditorBox::EdCopyBtnClick);
    connect(EdPasteBtn, &QToolButton::clicked, this, &TEditorBox::EdPasteBtnClick);
    connect(Memo1, &QPlainTextEdit::cursorPositionChanged, this, &TEditorBox::Memo1SelectionChange);
    connect(Memo1, &QPlainTextEdit::selectionChanged, this, &TEditorBox::Memo1SelectionChange);
    connect(Memo1->document(), &QTextDocument::contentsChange, this, &TEditorBox::FoldsChanged);
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_) edited_ = modified_ = true;
    });
}

namespace {
// U+240D SYMBOL FOR CARRIAGE RETURN; it has no Shift-JIS form, so that it
// stands for nothing else.
const QChar LoneCrSymbol(0x240D);
}  // namespace

void TEditorBox::ShowText() {
    // The caret and selection, by line and column, survive a new text.
    const QTextCursor before = Memo1->textCursor();
    const auto [anchorLine, anchorColumn] = TextPosition(before.anchor());
    const auto [caretLine, caretColumn] = TextPosition(before.position());
    const int scroll = Memo1->verticalScrollBar()->value();
    QString all;
    std::size_t size = 0;
    for (std::size_t i = 0; i < text_.LineCount(); ++i) size += text_.Line(i).size() + 1;
    all.reserve(static_cast<qsizetype>(size + size / EditorFoldLength * 2));
    std::vector<int> folds;
    int block = 0;
    for (std::size_t i = 0; i < text_.LineCount(); ++i, ++block) {
        const std::string_view line = text_.Line(i);
        if (i > 0) all += QLatin1Char('\n');
        QString shown = platform::Cp932ToQString(line);
        // A CR inside a line would become a line break in the editor:
        // it is shown as its symbol and taken back as the byte.
        if (line.find('\r') != std::string_view::npos) shown.replace(QLatin1Char('\r'), LoneCrSymbol);
        if (shown.size() <= EditorFoldLength) {
            all += shown;
            continue;
        }
        for (qsizetype at = 0; at < shown.size();) {
            qsizetype piece = std::min<qsizetype>(EditorFoldLength, shown.size() - at);
            // A character outside the basic plane stays whole.
            if (at + piece < shown.size() && shown[at + piece - 1].isHighSurrogate()) --piece;
            all += QStringView(shown).mid(at, piece);
            at += piece;
            if (at < shown.size()) {
                all += QChar(EditorFoldMark);
                all += QLatin1Char('\n');
                folds.push_back(block++);
            }
        }
    }
    loading_ = true;
    Memo1->setPlainText(all);
    folds_ = std::move(folds);
    blockCount_ = Memo1->document()->blockCount();
    loading_ = false;
    edited_ = false;
    QTextCursor c(Memo1->document());
    c.setPosition(EditorPosition(anchorLine, anchorColumn));
    c.setPosition(EditorPosition(caretLine, caretColumn), QTextCursor::KeepAnchor);
    Memo1->setTextCursor(c);
    Memo1->verticalScrollBar()->setValue(scroll);
    Memo1SelectionChange();
}

bool TEditorBox::Folded(int blockNumber) const {
    return std::binary_search(folds_.begin(), folds_.end(), blockNumber);
}

void TEditorBox::FoldsChanged(int position, int, int added) {
    if (loading_) return;
    QTextDocument* doc = Memo1->document();
    const int count = doc->blockCount();
    const int delta = count - blockCount_;
    blockCount_ = count;
    if (folds_.empty()) {
        // Nothing folded: only new text can bring a fold mark.
        bool mark = false;
        const int end = std::min(position + added, doc->characterCount() - 1);
        for (QTextBlock b = doc->findBlock(position); b.isValid() && b.position() <= end && !mark; b = b.next()) {
            mark = b.length() >= 2 && doc->characterAt(b.position() + b.length() - 2) == QChar(EditorFoldMark);
        }
        if (!mark) return;
    }
    // Blocks before the change keep their numbers, those after it move by
    // the number of blocks the change made or removed; the blocks of the
    // change are looked at anew.
    const int first = doc->findBlock(position).blockNumber();
    const int lastNew = doc->findBlock(std::min(position + added, doc->characterCount() - 1)).blockNumber();
    const int lastOld = lastNew - delta;
    std::vector<int> folds;
    folds.reserve(folds_.size() + 1);
    auto f = folds_.begin();
    for (; f != folds_.end() && *f < first; ++f) folds.push_back(*f);
    QTextBlock b = doc->findBlockByNumber(first);
    for (int n = first; n <= lastNew && b.isValid(); ++n, b = b.next()) {
        if (b.length() >= 2 && doc->characterAt(b.position() + b.length() - 2) == QChar(EditorFoldMark)) {
            folds.push_back(n);
        }
    }
    for (; f != folds_.end(); ++f) {
        if (*f > lastOld) folds.push_back(*f + delta);
    }
    folds_ = std::move(folds);
    // The caret panels may have been set before the folds were known.
    Memo1SelectionChange();
}

std::pair<int, int> TEditorBox::TextPosition(int position) const {
    const QTextBlock block = Memo1->document()->findBlock(position);
    if (!block.isValid()) return {0, 0};
    const int number = block.blockNumber();
    int column = position - block.position();
    if (folds_.empty()) return {number, column};
    // A folded piece's mark is no column of the text.
    if (Folded(number)) column = std::min(column, block.length() - 2);
    for (QTextBlock b = block.previous(); b.isValid() && Folded(b.blockNumber()); b = b.previous()) {
        column += b.length() - 2;
    }
    const int before = static_cast<int>(std::lower_bound(folds_.begin(), folds_.end(), number) - folds_.begin());
    return {number - before, column};
}

int TEditorBox::EditorPosition(int line, int column) const {
    QTextDocument* doc = Memo1->document();
    int number = line;
    for (int f : folds_) {
        if (f >= number) break;
        ++number;
    }
    QTextBlock block = doc->findBlockByNumber(number);
    if (!block.isValid()) block = doc->lastBlock();
    column = std::max(column, 0);
    while (Folded(block.blockNumber()) && column > block.length() - 2 && block.next().isValid()) {
        column -= block.length() - 2;
        block = block.next();
    }
    return block.position() + std::min(column, block.length() - 1);
}

void TEditorBox::SelectLine(int index) {
    QTextBlock block = Memo1->document()->findBlock(EditorPosition(index, 0));
    if (!block.isValid() || TextPosition(block.position()).first != index) return;
    QTextCursor c(block);
    while (Folded(block.blockNumber()) && block.next().isValid()) block = block.next();
    c.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    Memo1->setTextCursor(c);
    Memo1->centerCursor();
    Memo1->setFocus();
    Memo1SelectionChange();
}

bool TEditorBox::TakeText() {
    if (!edited_) return true;
    bool allExact = true;
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(Memo1->document()->blockCount()));
    QString folded;
    for (QTextBlock b = Memo1->document()->begin(); b.isValid(); b = b.next()) {
        QString line = b.text();
        // A piece that ends with the fold mark goes on in the next block;
        // the mark stands for no character of the text, wherever it is.
        const bool continues = line.endsWith(QChar(EditorFoldMark)) && b.next().isValid();
        if (line.contains(QChar(EditorFoldMark))) line.remove(QChar(EditorFoldMark));
        if (continues) {
            folded += line;
            continue;
        }
        if (!folded.isEmpty()) {
            line.prepend(folded);
            folded.clear();
        }
        bool exact = true;
        if (line.contains(LoneCrSymbol)) line.replace(LoneCrSymbol, QLatin1Char('\r'));
        lines.push_back(platform::QStringToCp932(line, &exact));
        allExact = allExact && exact;
    }
    // An empty editor holds no line at all.
    if (lines.size() == 1 && lines[0].empty()) lines.clear();
    text_.SetLines(lines);
    edited_ = false;
    return allExact;
}

void TEditorBox::EdCutBtnClick() { Memo1->cut(); }
void TEditorBox::EdCopyBtnClick() { Memo1->copy(); }
void TEditorBox::EdPasteBtnClick() { Memo1->paste(); }

void TEditorBox::Memo1SelectionChange() {
    const auto [line, column] = TextPosition(Memo1->textCursor().position());
    panels_[0]->setText(QString::number(line));
    panels_[1]->setText(QString::number(column));
}

}  // namespace kavum::data
