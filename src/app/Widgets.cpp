#include "Widgets.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QValidator>

#include <algorithm>

namespace kavum::app {
// Refuses an input of the user that makes the text longer than both the
// limit and the text before it. Text set by the program is always accepted.
class TypedLengthValidator : public QValidator {
public:
    explicit TypedLengthValidator(TEdit* edit) : QValidator(edit), edit_(edit) {}
    State validate(QString& input, int&) const override {
        if (edit_->userInput_ && edit_->typedLimit_ > 0 && input.size() > edit_->typedLimit_ &&
            input.size() > edit_->acceptedLength_) {
            return Invalid;
        }
        edit_->acceptedLength_ = input.size();
        return Acceptable;
    }

private:
    TEdit* edit_;
};

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(new TypedLengthValidator(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { acceptedLength_ = text.size(); });
}

void TEdit::PasteWithinLimit() {
    if (isReadOnly()) return;
    QString pasted = QGuiApplication::clipboard()->text();
    // A line edit holds one line: the clipboard's first.
    const qsizetype end = pasted.indexOf(QRegularExpression(QStringLiteral("[\\r\\n]")));
    if (end >= 0) pasted.truncate(end);
    if (typedLimit_ > 0) {
        const qsizetype kept = text().size() - selectedText().size();
        const qsizetype room = std::max<qsizetype>(typedLimit_, acceptedLength_) - kept;
        if (room <= 0) return;
        if (pasted.size() > room) {
            // Never split a surrogate pair.
            qsizetype cut = room;
            if (pasted.at(cut - 1).isHighSurrogate()) --cut;
            pasted.truncate(cut);
        }
    }
    if (!pasted.isEmpty() || hasSelectedText()) insert(pasted);
}

bool TEdit::event(QEvent* event) {
    if (typedLimit_ <= 0) return QLineEdit::event(event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) {
            PasteWithinLimit();
            event->accept();
            return true;
        }
        // Undoing and redoing bring back texts that were accepted before.
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)) return QLineEdit::event(event);
        [[fallthrough]];
    }
    case QEvent::InputMethod:
    case QEvent::Drop:
    case QEvent::MouseButtonRelease: {
        const bool outer = userInput_;
        userInput_ = true;
        const bool result = QLineEdit::event(event);
        userInput_ = outer;
        return result;
    }
    default:
        return QLineEdit::event(event);
    }
}

void TEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (typedLimit_ > 0) {
        for (QAction* action : menu->actions()) {
            if (action->objectName() != QLatin1String("edit-paste")) continue;
            action->disconnect(SIGNAL(triggered()));
            action->disconnect(SIGNAL(triggered(bool)));
            connect(action, &QAction::triggered, this, &TEdit::PasteWithinLimit);
        }
    }
    menu->popup(event->globalPos());
}

TClickPanel::TClickPanel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
    SetFontColor(0);
}

void TClickPanel::SetFontColor(std::uint32_t color) {
    fontColor_ = color;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)));
    setPalette(p);
    emit fontColorChanged(color);
}

void TClickPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        setFrameShadow(QFrame::Sunken);
    }
    QLabel::mousePressEvent(event);
}

void TClickPanel::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    setFrameShadow(QFrame::Raised);
    QLabel::mouseReleaseEvent(event);
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

namespace {

// The row of panels: each panel keeps its width and place, two pixels after
// the one before; what lies beyond the row's right edge is cut there, so that
// a narrow window never draws panels over one another.
class PanelRow : public QWidget {
public:
    explicit PanelRow(QWidget* parent) : QWidget(parent) {}
    void Add(QLabel* panel) {
        panel->setParent(this);
        panels_.push_back(panel);
        Place();
        updateGeometry();
    }
    QSize sizeHint() const override {
        int w = 0;
        int h = 0;
        for (QLabel* p : panels_) {
            w += p->width() + Gap;
            h = std::max(h, p->sizeHint().height());
        }
        return {std::max(0, w - Gap), h};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }
    void Relayout() {
        Place();
        updateGeometry();
    }

protected:
    void resizeEvent(QResizeEvent*) override { Place(); }

private:
    static constexpr int Gap = 2;
    void Place() {
        int x = 0;
        for (QLabel* p : panels_) {
            p->setGeometry(x, 0, p->width(), height());
            x += p->width() + Gap;
        }
    }
    std::vector<QLabel*> panels_;
};

}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
    row_ = new PanelRow(this);
    addWidget(row_, 1);
    // Panels beyond the right edge are cut off; they never widen the window.
    row_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row_->setMinimumWidth(0);
}

QLabel* TStatusBar::AddPanel(int width, const QString& text, bool bevel) {
    auto* label = new QLabel(text, row_);
    label->setTextFormat(Qt::PlainText);  // file names and readouts are never markup
    label->setAlignment(Qt::AlignCenter);
    label->setFixedWidth(width);
    label->setFrameStyle(bevel ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame);
    label->setObjectName(QStringLiteral("Panel%1").arg(panels_.size()));
    static_cast<PanelRow*>(row_)->Add(label);
    panels_.push_back(label);
    fits_.push_back(false);
    designWidths_.push_back(width);
    return label;
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    QLabel* panel = Panel(index);
    panel->setText(text);
    if (!fits_.at(static_cast<std::size_t>(index))) return;
    // The text's width in the panel's font, its frame and a little air on
    // either side; computed in logical pixels, as every size of the window.
    const int needed = panel->fontMetrics().horizontalAdvance(text) + 2 * panel->frameWidth() + 6;
    const int width = std::max(designWidths_.at(static_cast<std::size_t>(index)), needed);
    if (width <= panel->width()) return;
    panel->setFixedWidth(width);
    static_cast<PanelRow*>(row_)->Relayout();
}

TScrollBox::TScrollBox(QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    auto* sheet = new QWidget;
    sheet->setObjectName(QStringLiteral("Sheet"));
    sheet->setAutoFillBackground(true);
    QPalette p = sheet->palette();
    p.setColor(QPalette::Window, Qt::white);
    sheet->setPalette(p);
    setWidget(sheet);
    viewport()->setAutoFillBackground(true);
    viewport()->setPalette(p);
    verticalScrollBar()->setSingleStep(12);
    horizontalScrollBar()->setSingleStep(12);
}

void TScrollBox::Track(QWidget* child) {
    child->installEventFilter(this);
    UpdateRange();
}

void TScrollBox::UpdateRange() {
    if (updating_) return;
    updating_ = true;
    int right = 0;
    int bottom = 0;
    for (QObject* object : Sheet()->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (!child || child->isHidden()) continue;
        right = std::max(right, child->geometry().right() + 1);
        bottom = std::max(bottom, child->geometry().bottom() + 1);
    }
    Sheet()->setMinimumSize(right, bottom);
    updating_ = false;
}

int TScrollBox::VertScrollPosition() const { return verticalScrollBar()->value(); }

void TScrollBox::SetVertScrollPosition(int position) { verticalScrollBar()->setValue(position); }

bool TScrollBox::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
        UpdateRange();
        break;
    default:
        break;
    }
    return QScrollArea::eventFilter(watched, event);
}

void TScrollBox::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    UpdateRange();
}

}  // namespace kavum::app
