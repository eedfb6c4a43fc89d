// The wizard as the program starts it, ending once its window has been shown.
#include "ShownProbe.h"
#include "shell/MainWindow.h"
#include "shell/WizardMain.h"

#include <QWidget>

using namespace tavora;

int main(int argc, char** argv) {
    return wizardMain(argc, argv, [](auto& window) {
        window.repaint();
        reportAndQuit();
    });
}
