#include "app/Appearance.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QStyleFactory>

void prepareApplication(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                QStringLiteral("DejaVu Sans")});
    app.setWindowIcon(QIcon(QStringLiteral(":/tarvane/tarvane.png")));
}
