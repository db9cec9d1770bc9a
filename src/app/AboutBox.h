#pragma once
// The about box: product line, version, two notices.
#include <QDialog>

class QLabel;
class QPushButton;

namespace kavum::app {

// The program's icon, drawn at the given size.
QPixmap ProgramIconPixmap(int size);

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // versionText: the program's version text (ProgramVersionText()).
    explicit TAboutBox(const QString& versionText, QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Notice1;
    QLabel* Notice2;
    QPushButton* OKButton;

private:
    void FormCreate(const QString& versionText);
};

}  // namespace kavum::app
