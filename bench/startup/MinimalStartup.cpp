// A minimal Qt Widgets program of the wizard's window size, for comparison.
#include "ShownProbe.h"

#include <QApplication>
#include <QPushButton>
#include <QWidget>

using namespace tavora;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(442, 432);
    window.setWindowTitle("Minimal");
    QPushButton button("Close", &window);
    window.show();
    QTimer::singleShot(0, &window, [&] {
        window.repaint();
        reportAndQuit();
    });
    return app.exec();
}
