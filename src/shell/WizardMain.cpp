#include "shell/WizardMain.h"

#include "shell/DisplayMetrics.h"
#include "shell/MainForm.h"
#include "shell/WizardApplication.h"

#include <QTimer>

int WizardMain(int argc, char** argv, const std::function<void(TfMain&)>& shown) {
    TWizardApplication app(argc, argv);
    TScreenMetrics displayMetrics;
    TWizardServices services{displayMetrics};
    TfMain fMain(app.arguments().mid(1), services);
    fMain.show();
    if (shown)
        QTimer::singleShot(0, &fMain, [&] { shown(fMain); });
    return app.exec();
}
