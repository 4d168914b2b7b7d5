#include "vexo/application_setup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void enableHighDPI()
{
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

void VEXO::loadTranslations(const QString& path)
{
    auto install = [](const QString& name, const QString& dir) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QLocale(), name, QStringLiteral("_"), dir))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    };
    install(QStringLiteral("qtbase"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    if (!path.isEmpty())
        install(QCoreApplication::applicationName(), path);
}
