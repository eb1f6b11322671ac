#include "AppSetup.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace {

// Qt describes a top-level QWidget that is neither a dialog nor a main window as a plain client
// area, which screen readers announce as a "filler": such a window is a window, named by its
// caption.
QAccessibleInterface *PlainWindowAccessible(const QString &className, QObject *object)
{
    if (className != QLatin1String("QWidget") || !object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    return widget->isWindow() ? new QAccessibleWidget(widget, QAccessible::Window) : nullptr;
}

} // namespace

bool InstallQtTranslation(QApplication &app)
{
    auto *qt = new QTranslator(&app);
    if (!qt->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    QApplication::installTranslator(qt);
    return true;
}

void SetUpWindowedProgram(QApplication &app, const QString &iconName)
{
    Q_INIT_RESOURCE(icons);
    InstallQtTranslation(app);
    // The icon theme's, when the desktop has one; the same picture built in otherwise.
    QApplication::setWindowIcon(
        QIcon::fromTheme(iconName, QIcon(QStringLiteral(":/icons/%1.svg").arg(iconName))));
    static bool factoryInstalled = false;
    if (!factoryInstalled) {
        QAccessible::installFactory(PlainWindowAccessible);
        factoryInstalled = true;
    }
}
