#pragma once
// What both windowed programs set up once, right after their QApplication: Qt's own texts (an
// edit's context menu, the file dialogs' labels and buttons) in Russian, the language of their
// windows; the program's icon on every window; and plain top-level windows announced to screen
// readers as windows with their captions.

class QApplication;
class QString;

void SetUpWindowedProgram(QApplication &app, const QString &iconName);

// False when Qt's Russian translation is not installed (Debian qt6-translations-l10n): Qt's own
// texts then stay English.
bool InstallQtTranslation(QApplication &app);
