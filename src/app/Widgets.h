#pragma once
// Small controls of the main window that Qt does not have as such.
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QStatusBar>

#include <cstdint>
#include <vector>

namespace kavum::app {

// A line edit that limits what the user types, pastes or drops to a number
// of characters, while text set by the program is taken whole (a longer text
// may then be shortened by the user, not lengthened). An edit that would go
// beyond the limit is refused as a whole, so that the caret, the selection
// and the undo steps stay as they were; a paste is cut to what fits.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent = nullptr);
    int TypedLimit() const { return typedLimit_; }
    void SetTypedLimit(int limit) { typedLimit_ = limit; }   // 0: no limit
    // Pastes the clipboard's first line at the caret, cut to what fits.
    void PasteWithinLimit();

protected:
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class TypedLengthValidator;
    int typedLimit_ = 0;
    // True while an event of the user's input is handled: only then does
    // the limit apply.
    bool userInput_ = false;
    // The length of the text last accepted, by the program or the user.
    qsizetype acceptedLength_ = 0;
};

// A raised panel with a centred caption that acts as a button. Its font
// colour is a 0x00BBGGRR value, kept exactly as set.
class TClickPanel : public QLabel {
    Q_OBJECT
public:
    explicit TClickPanel(const QString& caption, QWidget* parent = nullptr);
    std::uint32_t FontColor() const { return fontColor_; }
    void SetFontColor(std::uint32_t color);
    // Runs the click as if the user had pressed the panel.
    void Click() { emit clicked(); }

signals:
    void clicked();
    void fontColorChanged(std::uint32_t color);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::uint32_t fontColor_ = 0;
    bool pressed_ = false;
};

// A status bar of fixed panels, each centred, addressed by index.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    // A panel of the given width; bevel false draws it flat.
    QLabel* AddPanel(int width, const QString& text = {}, bool bevel = true);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    QLabel* Panel(int index) const { return panels_.at(static_cast<std::size_t>(index)); }
    QString PanelText(int index) const { return Panel(index)->text(); }
    // Sets a panel's text; a panel made to fit its content widens to show
    // the whole text (it never becomes narrower than designed).
    void SetPanelText(int index, const QString& text);
    void SetFitsContent(int index, bool fits) { fits_.at(static_cast<std::size_t>(index)) = fits; }

private:
    QWidget* row_;
    std::vector<QLabel*> panels_;
    std::vector<bool> fits_;
    std::vector<int> designWidths_;
};

// A borderless scrolling area whose children are placed absolutely on a
// sheet. The sheet grows to hold every visible child (and at least fills
// the view), as a scroll box does.
class TScrollBox : public QScrollArea {
    Q_OBJECT
public:
    explicit TScrollBox(QWidget* parent = nullptr);
    // The widget that children of the area are placed on.
    QWidget* Sheet() const { return widget(); }
    // Watches a child placed on the sheet so that the scroll range follows it.
    void Track(QWidget* child);
    void UpdateRange();
    int VertScrollPosition() const;
    void SetVertScrollPosition(int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool updating_ = false;
};

}  // namespace kavum::app
