#pragma once
// The data editor pane: a toolbar, the text of the distribution data and a
// small status bar with the caret position. The pane edits a DataText: it
// shows the text while it is open and hands edits back on request.
#include "data/DataText.h"

#include <QFrame>

#include <utility>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QToolBar;
class QToolButton;

namespace kavum::data {

// A line longer than this many characters is shown folded into pieces of
// this length, each but the last ending with EditorFoldMark: laying out and
// drawing one line costs time in proportion to its length, at every
// keystroke, and a line of megabytes would stall the editor for seconds.
inline constexpr int EditorFoldLength = 1024;
// U+21B5 DOWNWARDS ARROW WITH CORNER LEFTWARDS: "continues on the next
// line". It has no Shift-JIS form, so that it stands for nothing else.
inline constexpr char16_t EditorFoldMark = 0x21B5;

class TEditorBox : public QFrame {
    Q_OBJECT
public:
    TEditorBox(DataText& text, QWidget* parent = nullptr);

    QToolBar* ToolBar1;
    QToolButton* SpeedButton1;   // add a data file
    QToolButton* ClearBtn;
    QToolButton* EdCutBtn;
    QToolButton* EdCopyBtn;
    QToolButton* EdPasteBtn;
    QToolButton* EdSaveBtn;
    QToolButton* EdReDrawBtn;
    QToolButton* EdCancelBtn;
    QPlainTextEdit* Memo1;
    QWidget* StatusBar2;
    QLabel* StatusPanel(int index) const { return panels_[index]; }

    // Shows the store's text in the editor (keeping the caret line).
    void ShowText();
    // Takes the editor's text into the store when it was edited since the
    // last exchange. Characters without a Shift-JIS form become "?".
    // Returns false when some did.
    bool TakeText();
    bool Edited() const { return edited_; }
    // True when the user edited the text since the program last set it as
    // saved (loaded from a file, written to one, cleared).
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    // Selects line `index` (from 0) of the shown text, scrolls it into view
    // and gives the editor the focus; nothing for a line beyond the text.
    void SelectLine(int index);

    void EdCutBtnClick();
    void EdCopyBtnClick();
    void EdPasteBtnClick();
    void Memo1SelectionChange();

    // Line and column (from 0) in the text as the store holds it of a
    // position in the editor, and back; they differ from the editor's own
    // on and after a folded line.
    std::pair<int, int> TextPosition(int position) const;
    int EditorPosition(int line, int column) const;

private:
    void FoldsChanged(int position, int removed, int added);
    bool Folded(int blockNumber) const;

    DataText& text_;
    QLabel* panels_[3];
    bool edited_ = false;
    bool modified_ = false;
    bool loading_ = false;
    // The editor's blocks that end with the fold mark, in order, and the
    // number of blocks they were counted in.
    std::vector<int> folds_;
    int blockCount_ = 1;
};

}  // namespace kavum::data
