#include "app/Appearance.h"
#include "app/FRM_tarvanescreen.h"
#include "errors/Guard.h"
#include "platform/LocalFileSystem.h"
#include "platform/QtDialogs.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);

    LocalFileSystem files;
    QtMessageBoxes boxes;
    ImmediateExit exit;
    ErrorReport report(boxes, exit);

    FRM_tarvanescreen window(files, boxes, exit);
    runHandler(report, [&] { window.Form_Load(); });
    window.show();
    return app.exec();
}
