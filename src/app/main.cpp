#include "app/Appearance.h"
#include "app/Program.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    prepareApplication(app);
    Program program;
    program.start();
    return app.exec();
}
