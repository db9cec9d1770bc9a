#pragma once
#include <QMainWindow>

namespace kavum::app {

// The main window of the program.
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
};

}  // namespace kavum::app
