#pragma once
// The installer's windows in a test: a distribution in a temporary current directory, the
// settings in a folder of the test, the seam of the program (real dialogs, answered with
// WhenModal), and files "opened through the desktop" recorded instead of opened.

#include "GuiDriver.h"
#include "SetupUi.h"
#include "VisMDouble.h"
#include "codepage.h"
#include "distwriter.h"
#include "fone.h"
#include "progress.h"
#include "setup.h"
#include "sourcepass.h"
#include "uexit.h"

#include <QFile>
#include <QObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <ostream>

using namespace velmsetup;

// Readable failure output for texts and byte strings.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray &bytes, std::ostream *os) { *os << '"' << bytes.toStdString() << '"'; }

inline QString U(const char16_t *text) { return QString::fromUtf16(text); }
inline QByteArray Cp(const char16_t *text) { return ToCp866(QString::fromUtf16(text)); }

// Stands in for the desktop's "Open": records the files instead.
class TOpenedFiles : public QObject
{
    Q_OBJECT
public:
    TOpenedFiles();
    ~TOpenedFiles() override;
    QStringList Files;
public Q_SLOTS:
    void open(const QUrl &url) { Files << url.toLocalFile(); }
};

// Answers the next modal dialogs in turn, each act once per dialog: unlike nested WhenModal calls,
// this also tells a dialog from the next one built at the same address.
void AnswerInTurn(QList<std::function<void(QWidget *)>> acts, int timeoutMs = 10000);
// An act that checks a message box's text (and, when given, caption) and presses button.
std::function<void(QWidget *)> Press(const QString &text, const QString &button, const QString &caption = {});

// The lines of a Windows-1251 file with CR LF ends, as text; empty when the file is missing.
QStringList FileLines(const QString &path);
void WriteFile(const QString &path, const QByteArray &bytes);

class WizardTest : public ::testing::Test
{
protected:
    WizardTest();
    ~WizardTest() override;

    // The program's windows over dir, as the program creates them, the wizard started.
    void Open(const QStringList &params = {}, bool start = true);
    // Writes the distribution into the current directory.
    void Distribution(const TDistContent &content);
    QString Path(const QString &name) const { return Dir.filePath(name); }
    QStringList LogText() const;

    TfmSetup &Wizard() const { return *Program->fmSetup; }
    TfmProgress &Progress() const { return *Program->fmProgress; }
    // Clicks a visible button of the wizard's current page.
    void Click(const QString &caption);

    QTemporaryDir Dir;
    QTemporaryDir SettingsDir;
    TVisMDouble Double;
    TFakeClock Fake;
    TVisM *VisM = &Double; // the e2e tests put a client of velmd here
    TSetupClock *Clock = &Fake;
    TSetupUi Ui;
    TOpenedFiles Opened;
    std::unique_ptr<TSetupProgram> Program;
    int Ended = 0; // times the wizard ended the application
};

// A distribution with the given programs, no check label and no post-actions.
TDistContent Content(const QList<QByteArray> &programs = {"ZZA1"});
