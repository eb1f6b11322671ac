#pragma once
// The installer's wizard TfmSetup and the program around it. Six pages (welcome, agreement,
// connection, namespace, install, final) that only the actions change; each action takes its
// values from the pages, runs its step of the installation and shows what came of it. The log
// is written when the program ends.

#include "installation.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class TVisM;

namespace velmsetup {

class TfmExit;
class TfmFone;
class TfmPass;
class TfmProgress;

inline constexpr char SetupVersion[] = "2.8";

// Where the installer works and how it was started.
struct TSetupEnv
{
    QString Dir;        // the current directory at start: distribution, licence, readme, log, IMAGES
    QStringList Params; // the command line's parameters, the program's name not included
};

class TfmSetup : public QDialog
{
    Q_OBJECT
public:
    TfmSetup(const TSetupEnv &env, TVisM &vism, TSetupClock &clock, TfmFone &fone);
    ~TfmSetup() override; // ends the program: the log is written if it was not yet

    // The windows created after the wizard.
    void SetWindows(TfmProgress *progress, TfmExit *exit, TfmPass *pass);
    // Reads the distribution's header, titles the background window and shows the welcome page;
    // false (after the message) when the distribution cannot be read.
    bool Start();
    // Writes the log to "velmsetup.txt" in the current directory, or in the system's temporary
    // folder when that fails, and opens it when the operator asked to; once.
    void EndProgram();
    QString LogPath() const { return FLogPath; }

    enum TPage { pgWelcome, pgLicence, pgConnect, pgNameSpace, pgInstall, pgFinal };
    int Page() const;

    // Ends the application (the program's message loop); set by the program.
    std::function<void()> EndApplication;

    TInstallation Installation;
    bool Licensed = false; // "licence.txt" was loaded
    QStringList LicenceLines;

    // Pages and controls.
    QStackedWidget *pcPages;
    QPlainTextEdit *meProduct;
    QPlainTextEdit *meLicence;
    QLineEdit *edIP;
    QLineEdit *edPort;
    QLabel *lbNS;
    QListWidget *liNS;
    QLabel *lbLib;
    QCheckBox *chSource;
    QCheckBox *chNoRes;
    QCheckBox *chNoAfter;
    QPlainTextEdit *meSettings;
    QPlainTextEdit *meFinal;
    QCheckBox *chShowLog;

    QAction *act0go;
    QAction *act1Yes;
    QAction *act1Back;
    QAction *act2go;
    QAction *act2Back;
    QAction *act25go;
    QAction *act25back;
    QAction *act3Install;
    QAction *act3back;
    QAction *actFin;
    QAction *actExit;
    QAction *actSoPass;
    QAction *actNoRes;
    QAction *actNoAfter;

protected:
    void closeEvent(QCloseEvent *e) override;
    void reject() override; // Esc: as the close box

private:
    void act0goExecute();
    void act1YesExecute();
    void act1BackExecute();
    void act2goExecute();
    void act2BackExecute();
    void act25goExecute();
    void act25backExecute();
    void act3InstallExecute();
    void act3backExecute();
    void actFinExecute();
    void actExitExecute();
    void actSoPassExecute();
    void actNoResExecute();
    void actNoAfterExecute();

    void BuildPages();
    QWidget *AddPage(const QStringList &heading, const QList<QPushButton *> &buttons, QWidget *body,
                     int boldLines = 1);
    QPushButton *Button(const QString &caption, QAction *action);
    void ShowPage(int page);
    void FillNameSpaces();
    void ShowLibraryNote(bool library);
    void FillSettingsMemo();
    bool Confirm(QCheckBox *box, const QString &first, const QString &second);
    void OpenFile(const QString &path);

    TSetupEnv FEnv;
    TfmFone &FFone;
    TfmProgress *FProgress = nullptr;
    TfmExit *FExit = nullptr;
    TfmPass *FPass = nullptr;
    QList<QPushButton *> FDefaults; // the default button of each page
    QString FLogPath;
    bool FEnded = false;
};

// The installer's windows in the order the program creates them: background, wizard, progress
// window, exit dialog, source password dialog.
class TSetupProgram
{
public:
    TSetupProgram(const TSetupEnv &env, TVisM &vism, TSetupClock &clock);
    ~TSetupProgram();
    // The wizard's start; shows the background window maximised and the wizard.
    bool Start();

    std::unique_ptr<TfmFone> fmFone;
    std::unique_ptr<TfmSetup> fmSetup;
    std::unique_ptr<TfmProgress> fmProgress;
    std::unique_ptr<TfmExit> fmExit;
    std::unique_ptr<TfmPass> fmPass;
};

// The VisM layer is linked into the program, so the control is always "registered"; without it
// the program says so and ends (exit code 0) before any window exists.
bool VisMControlRegistered();
bool CheckVisMControl(bool registered);

} // namespace velmsetup
