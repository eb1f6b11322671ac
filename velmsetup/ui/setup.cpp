#include "setup.h"

#include "Access.h"
#include "Ui.h"
#include "codepage.h"
#include "fone.h"
#include "progress.h"
#include "sourcepass.h"
#include "uexit.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace velmsetup {

namespace {

// Ten blanks open every indented line of the settings memo.
const QString Indent = QStringLiteral("          ");

QPlainTextEdit *Memo(QWidget *parent)
{
    auto *m = new QPlainTextEdit(parent);
    m->setReadOnly(true);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    return m;
}

QLabel *Text(const QString &text, QWidget *parent, bool bold = false)
{
    auto *lb = new QLabel(text, parent);
    lb->setTextFormat(Qt::PlainText);
    if (bold) {
        QFont f = lb->font();
        f.setBold(true);
        lb->setFont(f);
    }
    return lb;
}

// The wizard's left band, in the background window's teal.
QWidget *Banner(QWidget *parent)
{
    auto *band = new QFrame(parent);
    band->setFixedWidth(130);
    QPalette p = band->palette();
    p.setColor(QPalette::Window, QColor(0, 128, 128));
    p.setColor(QPalette::WindowText, Qt::white);
    band->setPalette(p);
    band->setAutoFillBackground(true);
    auto *name = new QLabel(QStringLiteral("Remart"), band);
    QFont f(QStringLiteral("Times New Roman"));
    f.setStyleHint(QFont::Serif);
    f.setPixelSize(26);
    f.setBold(true);
    f.setItalic(true);
    name->setFont(f);
    auto *what = new QLabel(QStringLiteral("Installation\nWizard"), band);
    auto *l = new QVBoxLayout(band);
    l->setContentsMargins(12, 18, 8, 12);
    l->addWidget(name);
    l->addWidget(what);
    l->addStretch();
    return band;
}

} // namespace

// ---- creation -------------------------------------------------------------------------------

TfmSetup::TfmSetup(const TSetupEnv &env, TVisM &vism, TSetupClock &clock, TfmFone &fone)
    : QDialog(nullptr), Installation(env.Dir, vism, clock), FEnv(env), FFone(fone)
{
    setObjectName(QStringLiteral("fmSetup"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    EndApplication = [] { QCoreApplication::quit(); };

    auto action = [this](const char *name, void (TfmSetup::*handler)()) {
        auto *a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    act0go = action("act0go", &TfmSetup::act0goExecute);
    act1Yes = action("act1Yes", &TfmSetup::act1YesExecute);
    act1Back = action("act1Back", &TfmSetup::act1BackExecute);
    act2go = action("act2go", &TfmSetup::act2goExecute);
    act2Back = action("act2Back", &TfmSetup::act2BackExecute);
    act25go = action("act25go", &TfmSetup::act25goExecute);
    act25back = action("act25back", &TfmSetup::act25backExecute);
    act3Install = action("act3Install", &TfmSetup::act3InstallExecute);
    act3back = action("act3back", &TfmSetup::act3backExecute);
    actFin = action("actFin", &TfmSetup::actFinExecute);
    actExit = action("actExit", &TfmSetup::actExitExecute);
    actSoPass = action("actSoPass", &TfmSetup::actSoPassExecute);
    actNoRes = action("actNoRes", &TfmSetup::actNoResExecute);
    actNoAfter = action("actNoAfter", &TfmSetup::actNoAfterExecute);
    BuildPages();

    setWindowTitle(QString::fromLatin1(WizardCaption) + QLatin1Char(' ') + QString::fromLatin1(SetupVersion));
    QFile licence(FEnv.Dir + QStringLiteral("/licence.txt"));
    if (licence.open(QIODevice::ReadOnly)) {
        // The agreement is a Windows-1251 text, as the log.
        QString text = FromWin1251(licence.readAll());
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        LicenceLines = text.split(QLatin1Char('\n'));
        if (!LicenceLines.isEmpty() && LicenceLines.constLast().isEmpty())
            LicenceLines.removeLast();
        Licensed = true;
    }
    Installation.ReadSettings();
    edIP->setText(QString::fromLatin1(Installation.IP));
    edPort->setText(QString::fromLatin1(Installation.Port));
    Installation.ApplyCommandLine(FEnv.Params);
    if (Licensed)
        meLicence->setPlainText(LicenceLines.join(QLatin1Char('\n')));
    Installation.LogStart();
}

TfmSetup::~TfmSetup() { EndProgram(); }

void TfmSetup::SetWindows(TfmProgress *progress, TfmExit *exit, TfmPass *pass)
{
    FProgress = progress;
    FExit = exit;
    FPass = pass;
    Installation.SetWindows(*progress);
}

bool TfmSetup::Start()
{
    if (!Installation.ReadHeader())
        return false;
    const TDistrib &d = Installation.Distrib;
    const QString product = FromWin1251(d.ProductName) + QLatin1Char(' ') + FromWin1251(d.Version);
    FFone.SetTitle(product);
    meProduct->setPlainText(QStringLiteral("Эта программа установит: ") + product + QStringLiteral(". ")
                            + QLatin1Char('\n') + QStringLiteral("Сборка: ") + FromWin1251(d.BuildDate));
    ShowPage(pgWelcome);
    return true;
}

// ---- pages ----------------------------------------------------------------------------------

QPushButton *TfmSetup::Button(const QString &caption, QAction *action)
{
    auto *b = new QPushButton(caption);
    b->setAutoDefault(false);
    b->setMinimumWidth(90);
    connect(b, &QPushButton::clicked, action, &QAction::trigger);
    return b;
}

QWidget *TfmSetup::AddPage(const QStringList &heading, const QList<QPushButton *> &buttons, QWidget *body,
                           int boldLines)
{
    auto *page = new QWidget;
    auto *l = new QVBoxLayout(page);
    l->setContentsMargins(18, 14, 18, 12);
    for (qsizetype i = 0; i < heading.size(); ++i)
        l->addWidget(Text(heading[i], page, i < boldLines));
    l->addSpacing(6);
    l->addWidget(body, 1);
    auto *line = new QFrame(page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    l->addWidget(line);
    auto *row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton *b : buttons) {
        b->setParent(page);
        row->addWidget(b);
    }
    l->addLayout(row);
    pcPages->addWidget(page);
    FDefaults << buttons.value(0);
    return page;
}

void TfmSetup::BuildPages()
{
    pcPages = new QStackedWidget(this);
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(Banner(this));
    outer->addWidget(pcPages, 1);

    // Welcome.
    {
        auto *body = new QWidget;
        auto *l = new QVBoxLayout(body);
        l->setContentsMargins(0, 0, 0, 0);
        meProduct = Memo(body);
        meProduct->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        meProduct->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        meProduct->setAccessibleName(QStringLiteral("Устанавливаемый продукт"));
        l->addWidget(meProduct, 1);
        l->addWidget(Text(QStringLiteral("Нажмите \"Отмена\" для выхода из программы "), body));
        l->addWidget(Text(QStringLiteral("Для продолжения установки нажмите \"Далее\""), body));
        AddPage({QStringLiteral("Вас приветствует установщик программ Remart для Cache")},
                {Button(QStringLiteral("Далее"), act0go), Button(QStringLiteral("Отмена"), actExit)}, body);
    }
    // Agreement.
    {
        auto *body = new QWidget;
        auto *l = new QVBoxLayout(body);
        l->setContentsMargins(0, 0, 0, 0);
        meLicence = Memo(body);
        meLicence->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        meLicence->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        meLicence->setAccessibleName(QStringLiteral("Лицензионное Соглашение"));
        l->addWidget(meLicence, 1);
        l->addWidget(Text(QStringLiteral("Если Вы принимаете условия Лицензионного Соглашения,"), body));
        l->addWidget(Text(QStringLiteral("нажмите ДА для продолжения установки"), body));
        AddPage({QStringLiteral("Прочитайте это Лицензионное Соглашение"),
                 QStringLiteral("Для просмотра всего текста нажмите Page Down")},
                {Button(QStringLiteral("Да"), act1Yes), Button(QStringLiteral("Нет"), actExit),
                 Button(QStringLiteral("Назад"), act1Back)},
                body);
    }
    // Connection.
    {
        auto *body = new QWidget;
        auto *l = new QVBoxLayout(body);
        l->setContentsMargins(0, 0, 0, 0);
        auto *grid = new QGridLayout;
        edIP = new QLineEdit(body);
        edIP->setMaximumWidth(220);
        edPort = new QLineEdit(body);
        // Digits only. Five of them, not the four of old: a port above 9999 must be reachable.
        edPort->setInputMask(QStringLiteral("00000;_"));
        edPort->setMaximumWidth(80);
        auto *lbIP = Text(QStringLiteral("IP адрес"), body);
        auto *lbPort = Text(QStringLiteral("Порт"), body);
        lbIP->setBuddy(edIP);
        lbPort->setBuddy(edPort);
        grid->addWidget(lbIP, 0, 0);
        grid->addWidget(edIP, 0, 1);
        grid->addWidget(lbPort, 1, 0);
        grid->addWidget(edPort, 1, 1, Qt::AlignLeft);
        grid->setColumnStretch(1, 1);
        l->addSpacing(10);
        l->addLayout(grid);
        l->addStretch();
        l->addWidget(Text(QStringLiteral("Если все параметры введены, нажмите Далее"), body));
        AddPage({QStringLiteral("Введите параметры, необходимые для подключения "),
                 QStringLiteral("к серверу Cache")},
                {Button(QStringLiteral("Далее"), act2go), Button(QStringLiteral("Отмена"), actExit),
                 Button(QStringLiteral("Назад"), act2Back)},
                body, 2);
    }
    // Namespace.
    {
        auto *body = new QWidget;
        auto *l = new QVBoxLayout(body);
        l->setContentsMargins(0, 0, 0, 0);
        lbNS = Text(QStringLiteral("Доступны области:"), body);
        liNS = new QListWidget(body);
        liNS->setToolTip(QStringLiteral("Выберите область"));
        lbNS->setBuddy(liNS);
        lbLib = Text(QString(), body);
        lbLib->hide();
        chSource = new QCheckBox(QStringLiteral("Сохранять исходные тексты"), body);
        chNoRes = new QCheckBox(QStringLiteral("НЕ восстанавливать программы"), body);
        chNoAfter = new QCheckBox(QStringLiteral("НЕ выполнять последействия"), body);
        connect(chSource, &QCheckBox::clicked, actSoPass, &QAction::trigger);
        connect(chNoRes, &QCheckBox::clicked, actNoRes, &QAction::trigger);
        connect(chNoAfter, &QCheckBox::clicked, actNoAfter, &QAction::trigger);
        auto *row = new QHBoxLayout;
        auto *left = new QVBoxLayout;
        left->addWidget(lbNS);
        left->addWidget(liNS, 1);
        auto *right = new QVBoxLayout;
        right->addSpacing(lbNS->sizeHint().height() + 4);
        right->addWidget(chSource);
        right->addWidget(chNoRes);
        right->addWidget(chNoAfter);
        right->addStretch();
        row->addLayout(left, 1);
        row->addSpacing(12);
        row->addLayout(right);
        // The library note takes the list's place, over the page's whole width.
        l->addWidget(lbLib);
        l->addLayout(row, 1);
        AddPage({QStringLiteral("Выберите область, в которой установить дистрибутив"),
                 QStringLiteral("Нажмите \"Далее\"")},
                {Button(QStringLiteral("Далее"), act25go), Button(QStringLiteral("Отмена"), actExit),
                 Button(QStringLiteral("Назад"), act25back)},
                body);
    }
    // Install.
    {
        auto *body = new QWidget;
        auto *l = new QVBoxLayout(body);
        l->setContentsMargins(0, 0, 0, 0);
        auto *lbSettings = Text(QStringLiteral("Текущие настройки:"), body);
        meSettings = Memo(body);
        meSettings->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        meSettings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        lbSettings->setBuddy(meSettings);
        l->addWidget(lbSettings);
        l->addWidget(meSettings, 1);
        AddPage({QStringLiteral("Программа готова к установке дистрибутива"),
                 QStringLiteral("Проверьте текущие параметры и нажмите  Установить,"),
                 QStringLiteral("если все правильно")},
                {Button(QStringLiteral("Установить"), act3Install), Button(QStringLiteral("Отмена"), actExit),
                 Button(QStringLiteral("Назад"), act3back)},
                body);
    }
    // Final.
    {
        auto *body = new QWidget;
        auto *l = new QVBoxLayout(body);
        l->setContentsMargins(0, 0, 0, 0);
        meFinal = Memo(body);
        meFinal->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        meFinal->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        meFinal->setAccessibleName(
            QStringLiteral("Результат установки")); // its first line, once there is one
        chShowLog = new QCheckBox(QStringLiteral("Просмотреть протокол установки"), body);
        l->addWidget(meFinal, 1);
        l->addWidget(chShowLog);
        AddPage({QString::fromLatin1(WizardCaption)}, {Button(QStringLiteral("Выход"), actFin)}, body);
    }
    setFixedSize(660, 400);
    GiveAccessibleNames(this);
}

int TfmSetup::Page() const { return pcPages->currentIndex(); }

void TfmSetup::ShowPage(int page)
{
    pcPages->setCurrentIndex(page);
    // Enter presses the page's first button.
    if (QPushButton *b = FDefaults.value(page)) {
        b->setDefault(true);
        b->setFocus();
    }
}

// ---- the actions ----------------------------------------------------------------------------

void TfmSetup::act0goExecute()
{
    if (Licensed) {
        ShowPage(pgLicence);
        meLicence->setFocus();
    } else {
        ShowPage(pgConnect);
    }
}

void TfmSetup::act1YesExecute() { ShowPage(pgConnect); }

void TfmSetup::act1BackExecute() { ShowPage(pgWelcome); }

void TfmSetup::act2BackExecute() { ShowPage(Licensed ? pgLicence : pgWelcome); }

void TfmSetup::act25backExecute() { ShowPage(pgConnect); }

void TfmSetup::act3backExecute() { ShowPage(pgNameSpace); }

void TfmSetup::act2goExecute()
{
    const QString ipText = edIP->text();
    const QString portText = edPort->text().trimmed();
    if (ipText.isEmpty() || portText.isEmpty()) {
        Ui().ShowMessage(QStringLiteral("Параметры соединения должны быть указаны"));
        return;
    }
    // The VisM layer may ask for an account while it connects: nothing stays in front of it.
    SetOnTop(this, false);
    SetOnTop(FProgress, false);
    const bool connected = Installation.ConnectSystem(ToWin1251(ipText), ToWin1251(portText));
    if (Installation.AddressChanged) {
        edIP->setText(FromWin1251(Installation.IP));
        edPort->setText(FromWin1251(Installation.Port));
    }
    show();
    SetOnTop(this, true);
    SetOnTop(FProgress, true);
    if (!connected)
        return;
    FillNameSpaces();
    ShowLibraryNote(Installation.Library);
    ShowPage(pgNameSpace);
}

void TfmSetup::FillNameSpaces()
{
    liNS->clear();
    for (const QByteArray &name : Installation.NameSpaces)
        new QListWidgetItem(FromWin1251(ServerToDisplay(name)), liNS);
    liNS->setCurrentRow(Installation.Proposed());
}

void TfmSetup::ShowLibraryNote(bool library)
{
    if (library) {
        liNS->setCurrentRow(0);
        liNS->setEnabled(false);
        liNS->hide();
        lbNS->hide();
        // The note is written anew each time: connecting again names the namespace once.
        const QString ns = liNS->currentItem() ? liNS->currentItem()->text() : QString();
        lbLib->setText(
            QStringLiteral("Дистрибутив содержит библиотечные программы.\nУстановка будет производиться "
                           "в библиотечную\nобласть ")
            + ns);
        lbLib->setAccessibleName(lbLib->text());
        lbLib->show();
    } else {
        liNS->setEnabled(true);
        liNS->show();
        lbNS->show();
        lbLib->hide();
    }
}

void TfmSetup::act25goExecute()
{
    TSetupOptions &o = Installation.Options;
    o.KeepSources = chSource->isChecked();
    o.RestorePrograms = !chNoRes->isChecked();
    o.RunPostActions = !chNoAfter->isChecked();
    const int row = liNS->currentRow();
    if (row < 0) {
        // Without a namespace the server would install wherever the session happens to be.
        Ui().ShowMessage(QStringLiteral("Выберите область"));
        return;
    }
    const bool connected = Installation.ConnectNameSpace(Installation.NameSpaces.value(row));
    show();
    if (!connected)
        return;
    FillSettingsMemo();
    ShowPage(pgInstall);
}

void TfmSetup::FillSettingsMemo()
{
    const TInstallation &in = Installation;
    const TSetupOptions &o = in.Options;
    QStringList m;
    m << QStringLiteral("Устанавливаемый продукт:");
    m << Indent + FromWin1251(in.Distrib.ProductName) + QLatin1Char(' ') + FromWin1251(in.Distrib.Version);
    m << Indent + QStringLiteral("сборка ") + FromWin1251(in.Distrib.BuildDate);
    m << QString();
    m << QStringLiteral("Область Cache:");
    m << Indent + FromWin1251(ServerToDisplay(in.NameSpace));
    m << Indent
             + (o.KeepSources ? QStringLiteral("С исходными текстами программ")
                              : QStringLiteral("Без исходных текстов программ"));
    if (o.RunPreActions) {
        m << Indent + QStringLiteral("выполнять метки преддействия");
        m << Indent
                 + (o.HardPreAction ? QStringLiteral("установка с \"жестким\" преддействием")
                                    : QStringLiteral("установка с \"мягким\" преддействием"));
    } else {
        m << Indent + QStringLiteral("преддействия не выполнять");
    }
    m << Indent
             + (o.RestorePrograms ? QStringLiteral("восстанавливать программы")
                                  : QStringLiteral("не восстанавливать программы"));
    m << Indent
             + (o.RunPostActions ? QStringLiteral("выполнять метки последействия")
                                 : QStringLiteral("последействия НЕ ВЫПОЛНЯТЬ"));
    m << QString();
    m << QStringLiteral("Параметры сервера Cache:");
    m << Indent + QStringLiteral("IP адрес : ") + FromWin1251(in.IP);
    m << Indent + QStringLiteral("Порт       : ") + FromWin1251(in.Port);
    m << QString();
    meSettings->setPlainText(m.join(QLatin1Char('\n')));
}

void TfmSetup::actSoPassExecute()
{
    if (!chSource->isChecked())
        return;
    const bool ok = FPass->exec() == QDialog::Accepted
                    && FPass->edPass->text() == FromWin1251(Installation.Distrib.SourcePass);
    chSource->setChecked(ok);
}

bool TfmSetup::Confirm(QCheckBox *box, const QString &first, const QString &second)
{
    if (!box->isChecked())
        return true;
    const QString caption = QString::fromLatin1(WizardCaption);
    const bool sure = Ui().AskYesNo(first, TAnswer::No, caption) == TAnswer::Yes
                      && Ui().AskYesNo(second, TAnswer::No, caption) == TAnswer::Yes;
    box->setChecked(sure);
    return sure;
}

void TfmSetup::actNoResExecute()
{
    Confirm(chNoRes, QStringLiteral("Не восстанавливать программы дистрибутива?"),
            QStringLiteral("Вы уверены, что не нужно восстанавливать программы?"));
}

void TfmSetup::actNoAfterExecute()
{
    Confirm(chNoAfter, QStringLiteral("Не выполнять метки последействия?"),
            QStringLiteral("Вы уверены, что не нужно выполнять последействия?"));
}

void TfmSetup::act3InstallExecute()
{
    if (Installation.Installed)
        return;
    hide();
    const bool success = Installation.Install();
    show();
    Installation.SaveSettings();
    if (success)
        meFinal->setPlainText(QStringLiteral("Установка дистрибутива успешно завершена."));
    else
        meFinal->setPlainText(QStringLiteral("Установка дистрибутива не была завершена\n"
                                             "Сохраните протокол установки и обратитеcь к разработчику \n"
                                             "дистрибутива"));
    meFinal->setAccessibleName(meFinal->toPlainText().section(QLatin1Char('\n'), 0, 0));
    const QString readme = FEnv.Dir + QStringLiteral("/readme.txt");
    if (QFile::exists(readme))
        OpenFile(readme);
    ShowPage(pgFinal);
}

void TfmSetup::OpenFile(const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

void TfmSetup::actFinExecute()
{
    EndApplication();
    FProgress->SetLayout(TProgressLayout::Exit);
    FProgress->SetMessage(QStringLiteral("Выход из программы установки..."));
    FProgress->StopAnimation();
    FProgress->Show();
    FProgress->Repaint();
}

void TfmSetup::actExitExecute()
{
    if (FExit->exec() == QDialog::Rejected)
        EndApplication();
}

void TfmSetup::closeEvent(QCloseEvent *e)
{
    // The close box asks as "Отмена" does; after the installation it is "Выход".
    e->ignore();
    if (Page() == pgFinal)
        actFin->trigger();
    else
        actExit->trigger();
}

void TfmSetup::reject()
{
    if (Page() == pgFinal)
        actFin->trigger();
    else
        actExit->trigger();
}

void TfmSetup::EndProgram()
{
    if (FEnded)
        return;
    FEnded = true;
    FLogPath = Installation.WriteLog();
    if (chShowLog->isChecked())
        OpenFile(FLogPath);
}

// ---- the program ----------------------------------------------------------------------------

TSetupProgram::TSetupProgram(const TSetupEnv &env, TVisM &vism, TSetupClock &clock)
{
    fmFone = std::make_unique<TfmFone>(env.Dir + QStringLiteral("/IMAGES"));
    fmSetup = std::make_unique<TfmSetup>(env, vism, clock, *fmFone);
    fmProgress = std::make_unique<TfmProgress>(fmFone.get());
    fmExit = std::make_unique<TfmExit>(fmSetup.get());
    fmPass = std::make_unique<TfmPass>(fmSetup.get());
    fmSetup->SetWindows(fmProgress.get(), fmExit.get(), fmPass.get());
    fmFone->fmSetup = fmSetup.get();
    fmFone->fmProgress = fmProgress.get();
    // Closing the main window ends the program at once; the log is written all the same.
    fmFone->OnClose = [this] { fmSetup->EndApplication(); };
}

TSetupProgram::~TSetupProgram()
{
    // The dialogs belong to the wizard as their parent: they go first.
    fmPass.reset();
    fmExit.reset();
    fmSetup.reset();
    fmProgress.reset();
    fmFone.reset();
}

bool TSetupProgram::Start()
{
    if (!fmSetup->Start())
        return false;
    fmFone->showMaximized();
    fmSetup->show();
    return true;
}

bool VisMControlRegistered() { return true; }

bool CheckVisMControl(bool registered)
{
    if (!registered)
        Ui().ShowMessage(QStringLiteral("Cache-клиент не обнаружен. Установите сначала cache-клиент"));
    return registered;
}

} // namespace velmsetup
