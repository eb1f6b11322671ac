#include "new.h"

#include "Access.h"
#include "Connect.h"
#include "Ui.h"
#include "codepage.h"
#include "data.h"
#include "dbfsettings.h"
#include "setparams.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmbank {

TfmNew *fmNew = nullptr;

namespace {

const QString LeaveCaption = QStringLiteral("Создание настройки");

// The wizard's picture: a client-bank file's table turning into a setting.
QPixmap WizardPicture(const QSize &size)
{
    QPixmap pm(size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, QColor(28, 58, 110));
    g.setColorAt(1, QColor(92, 140, 200));
    p.fillRect(pm.rect(), g);

    const auto sheet = [&p](const QRectF &r, int rows, const QColor &head) {
        p.setPen(QPen(QColor(40, 60, 90), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(r, 3, 3);
        p.fillRect(QRectF(r.left() + 1, r.top() + 1, r.width() - 2, 12), head);
        const qreal step = (r.height() - 14) / rows;
        p.setPen(QPen(QColor(170, 185, 205), 1));
        for (int i = 1; i < rows; ++i)
            p.drawLine(QPointF(r.left() + 4, r.top() + 13 + i * step),
                       QPointF(r.right() - 4, r.top() + 13 + i * step));
        p.drawLine(QPointF(r.left() + r.width() * 0.4, r.top() + 13),
                   QPointF(r.left() + r.width() * 0.4, r.bottom() - 3));
    };
    const qreal w = size.width();
    sheet(QRectF(w * 0.14, 40, w * 0.6, 90), 6, QColor(230, 170, 60));
    sheet(QRectF(w * 0.26, 190, w * 0.6, 90), 6, QColor(80, 170, 90));
    // the arrow between them
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(w * 0.5, 142), QPointF(w * 0.5, 176));
    p.drawLine(QPointF(w * 0.5 - 9, 166), QPointF(w * 0.5, 177));
    p.drawLine(QPointF(w * 0.5 + 9, 166), QPointF(w * 0.5, 177));
    QFont f = p.font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, size.height() - 60, w, 40), Qt::AlignCenter, QStringLiteral("ВЕЛЬМ - Банк"));
    return pm;
}

QPushButton *Button(QWidget *parent, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout *ButtonRow(std::initializer_list<QPushButton *> buttons)
{
    auto *l = new QHBoxLayout;
    l->addStretch();
    for (QPushButton *b : buttons)
        l->addWidget(b);
    return l;
}

QLabel *Heading(QWidget *parent, const QString &text)
{
    auto *l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->setWordWrap(true);
    return l;
}

} // namespace

TfmNew::TfmNew(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmNew"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    FileFilter = QStringLiteral("dbf (*.dbf);;Файлы обмена 1С (*.txt);;Все файлы (*.*)");

    auto *l = new QHBoxLayout(this);
    imPicture = new QLabel(this);
    imPicture->setPixmap(WizardPicture(QSize(150, 340)));
    imPicture->setAlignment(Qt::AlignTop);
    l->addWidget(imPicture, 0, Qt::AlignTop);
    pcPages = new QStackedWidget(this);
    l->addWidget(pcPages, 1);

    // ---- the task page ----
    tsTask = new QWidget(pcPages);
    {
        auto *v = new QVBoxLayout(tsTask);
        auto *lbTask = Heading(tsTask, QStringLiteral("Выберите задачу для которой создается настройка"));
        liTask = new QListWidget(tsTask);
        liTask->addItems(SettingTaskItems());
        liTask->setMaximumHeight(liTask->sizeHintForRow(0) * 2 + 2 * liTask->frameWidth() + 6);
        lbTask->setBuddy(liTask);
        auto *lbDescript = new QLabel(QStringLiteral("Описание:"), tsTask);
        mmDescript = new QPlainTextEdit(tsTask);
        mmDescript->setReadOnly(true);
        mmDescript->setFrameShape(QFrame::NoFrame);
        mmDescript->viewport()->setAutoFillBackground(false);
        mmDescript->setFocusPolicy(Qt::NoFocus);
        lbDescript->setBuddy(mmDescript);
        v->addWidget(lbTask);
        v->addWidget(liTask);
        v->addWidget(lbDescript);
        v->addWidget(mmDescript, 1);
        v->addWidget(new QLabel(QStringLiteral("Для продолжения нажмите Далее"), tsTask));
        btTaskNext = Button(tsTask, QStringLiteral("Далее"));
        btTaskCancel = Button(tsTask, QStringLiteral("Отмена"));
        v->addLayout(ButtonRow({btTaskNext, btTaskCancel}));
    }
    pcPages->addWidget(tsTask);

    // ---- the parameters page ----
    tsParams = new QWidget(pcPages);
    {
        auto *v = new QVBoxLayout(tsParams);
        v->addWidget(Heading(tsParams, QStringLiteral("Введите параметры настройки")));
        auto *f = new QFormLayout;
        f->setLabelAlignment(Qt::AlignLeft);
        const auto edit = [this](int maxLength) {
            auto *e = new QLineEdit(tsParams);
            e->setMaxLength(maxLength);
            return e;
        };
        edName = edit(40);
        edDir = new TDirectoryEdit(tsParams);
        edFile = edit(30);
        edFunc = edit(50);
        edVFunc = edit(20);
        edFindEx = edit(8192);
        const auto row = [f](QLabel *label, QWidget *field, QWidget *buddy) {
            label->setBuddy(buddy);
            f->addRow(label, field);
        };
        lbDir = new QLabel(QStringLiteral("Каталог, где находится DBF:"), tsParams);
        lbFile = new QLabel(QStringLiteral("Имя DBF файла:"), tsParams);
        lbFindEx = new QLabel(QStringLiteral("Характеристики для\nпоиска \"похожих\" э-ров"), tsParams);
        row(new QLabel(QStringLiteral("Название настройки"), tsParams), edName, edName);
        row(lbDir, edDir, edDir->Edit);
        row(lbFile, edFile, edFile);
        row(new QLabel(QStringLiteral("Функция трансформации"), tsParams), edFunc, edFunc);
        row(new QLabel(QStringLiteral("Функция проверки"), tsParams), edVFunc, edVFunc);
        row(lbFindEx, edFindEx, edFindEx);
        v->addLayout(f);
        v->addStretch();
        auto *note = new QLabel(QStringLiteral("Если все параметры введены, нажмите Далее."), tsParams);
        note->setWordWrap(true);
        v->addWidget(note);
        btParamsBack = Button(tsParams, QStringLiteral("Назад"));
        btParamsNext = Button(tsParams, QStringLiteral("Далее"));
        btParamsCancel = Button(tsParams, QStringLiteral("Отмена"));
        btParamsNext->setDefault(true);
        v->addLayout(ButtonRow({btParamsBack, btParamsNext, btParamsCancel}));
    }
    pcPages->addWidget(tsParams);

    // ---- the method page ----
    tsNS = new QWidget(pcPages);
    {
        auto *v = new QVBoxLayout(tsNS);
        v->addWidget(Heading(tsNS, QStringLiteral("Выберите метод создания:")));
        auto *g = new QGridLayout;
        g->setHorizontalSpacing(10);
        const auto method = [this, g](const QString &caption, const QString &hint,
                                      QStyle::StandardPixmap icon, Qt::Key key, QToolButton *&button) {
            auto *a = new QAction(style()->standardIcon(icon), caption, this);
            a->setToolTip(hint);
            a->setShortcut(QKeySequence(key));
            a->setShortcutContext(Qt::WindowShortcut);
            button = new QToolButton(tsNS);
            button->setDefaultAction(a);
            button->setIconSize(QSize(32, 32));
            button->setFixedSize(44, 44);
            button->setAccessibleName(caption);
            auto *label = new QLabel(caption, tsNS);
            label->setToolTip(hint);
            const int r = g->rowCount();
            g->addWidget(button, r, 0);
            g->addWidget(label, r, 1);
            return a;
        };
        actFileDbf = method(QStringLiteral("Взять поля из DBF файла"),
                            QStringLiteral("Создать настройку по образу внешнего файла"), QStyle::SP_FileIcon,
                            Qt::Key_F2, btFileDbf);
        actCopySet = method(QStringLiteral("Взять поля из существующей настройки"),
                            QStringLiteral("Скоировать поля из уже созданной настройки"),
                            QStyle::SP_FileDialogContentsView, Qt::Key_F3, btCopySet);
        actAuto = method(QStringLiteral("Создать поля автоматически"),
                         QStringLiteral("Создать поля настройки автоматически"), QStyle::SP_BrowserReload,
                         Qt::Key_F4, btAuto);
        actConstr = method(QStringLiteral("Конструктор"), QStringLiteral("Зайти в конструктор настроек"),
                           QStyle::SP_FileDialogDetailedView, Qt::Key_F5, btConstr);
        g->setColumnStretch(1, 1);
        v->addLayout(g);
        v->addStretch();
        btMethodBack = Button(tsNS, QStringLiteral("Назад"));
        btMethodExit = Button(tsNS, QStringLiteral("Выход"));
        v->addLayout(ButtonRow({btMethodBack, btMethodExit}));
    }
    pcPages->addWidget(tsNS);
    pmSets = new QMenu(this);
    pmSets->setObjectName(QStringLiteral("pmSets"));

    connect(liTask, &QListWidget::itemClicked, this, &TfmNew::liTaskClick);
    connect(liTask, &QListWidget::currentRowChanged, this, &TfmNew::liTaskClick);
    connect(liTask, &QListWidget::itemDoubleClicked, this, &TfmNew::act1YesExecute);
    connect(btTaskNext, &QPushButton::clicked, this, &TfmNew::act1YesExecute);
    connect(btTaskCancel, &QPushButton::clicked, this, &TfmNew::actExitExecute);
    connect(btParamsBack, &QPushButton::clicked, this, &TfmNew::act2BackExecute);
    connect(btParamsNext, &QPushButton::clicked, this, &TfmNew::act2goExecute);
    connect(btParamsCancel, &QPushButton::clicked, this, &TfmNew::actExitExecute);
    connect(btMethodBack, &QPushButton::clicked, this, &TfmNew::act25backExecute);
    connect(btMethodExit, &QPushButton::clicked, this, &TfmNew::actExitExecute);
    connect(actFileDbf, &QAction::triggered, this, &TfmNew::actFileDbfExecute);
    connect(actCopySet, &QAction::triggered, this, &TfmNew::actCopySetExecute);
    connect(actAuto, &QAction::triggered, this, &TfmNew::actAutoExecute);
    connect(actConstr, &QAction::triggered, this, &TfmNew::actConstrExecute);

    GiveAccessibleNames(this);
    ShowPage(tsTask);
    // One size for the three pages, the largest.
    setFixedSize(sizeHint().expandedTo(QSize(640, 360)));
}

TfmNew::~TfmNew()
{
    if (fmNew == this)
        fmNew = nullptr;
}

QString TfmNew::TaskDescription(int item)
{
    return item == 1
               ? QStringLiteral("Создание экземпляров  \nДеньги-Приход на основе записей из \nвнешнего файла")
               : QStringLiteral(
                   "Создание экземпляров  \nДеньги-Расход на основе записей из \nвнешнего файла");
}

int TfmNew::TaskType() const { return liTask->currentRow() == 1 ? 2 : 1; }

void TfmNew::ShowPage(QWidget *page)
{
    pcPages->setCurrentWidget(page);
    // The method keys work on the method page only.
    for (QAction *a : {actFileDbf, actCopySet, actAuto, actConstr})
        a->setEnabled(page == tsNS);
}

void TfmNew::Prepare()
{
    ShowPage(tsTask);
    liTask->setCurrentRow(0);
    setWindowTitle(QStringLiteral("Клиент-банк %1. Создание новой настройки")
                       .arg(FromWin1251(dmSet->tbTasks->AsString(TdmSet::tkClient))));
    mmDescript->setPlainText(TaskDescription(0));
    liTask->setFocus();
}

bool TfmNew::Execute()
{
    Prepare();
    return exec() == QDialog::Accepted;
}

void TfmNew::liTaskClick() { mmDescript->setPlainText(TaskDescription(liTask->currentRow())); }

void TfmNew::act1YesExecute()
{
    lbDir->setText(QStringLiteral("Каталог, где находится DBF:"));
    lbFile->setText(QStringLiteral("Имя DBF файла:"));
    TMemTable *tasks = dmSet->tbTasks;
    const TBookmark task = TaskType() == 1 ? dmSet->TaskRowMoneyOut : dmSet->TaskRowMoneyIn;
    if (tasks->BookmarkValid(task)) {
        tasks->GotoBookmark(task);
        edName->setText(FromWin1251(tasks->AsString(TdmSet::tkName)));
        edFindEx->setText(FromWin1251(tasks->AsString(TdmSet::tkDefFindEx)));
    }
    tasks->GotoBookmark(dmSet->TaskRowSetup);
    lbFindEx->show();
    edFindEx->show();
    edDir->InitialDir = QDir::currentPath();
    ShowPage(tsParams);
    edName->setFocus();
}

void TfmNew::act2goExecute()
{
    const QString name = edName->text();
    if (name.isEmpty()) {
        Ui().ShowMessage(QStringLiteral("Имя настройки должно быть указано"));
        edName->setFocus();
        return;
    }
    if (dmSet->SettingNameExists(ToWin1251(name))) {
        Ui().ShowMessage(QStringLiteral("Настройка с таким именем уже существует"));
        edName->setFocus();
        return;
    }
    // The copy menu: the settings of the chosen task type, by name, in list order; an item
    // copies its own setting, by Id, whatever name another shares with it.
    pmSets->clear();
    TMemTable *sets = dmSet->tbSets;
    const int type = TaskType();
    for (int r = 0; r < sets->RecordCount(); ++r) {
        if (sets->IsNullAt(r, TdmSet::stType) || sets->IntegerAt(r, TdmSet::stType) != type)
            continue;
        QString caption = FromWin1251(sets->TextAt(r, TdmSet::stName));
        QAction *item = pmSets->addAction(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        const qint64 setId = sets->IntegerAt(r, TdmSet::stId);
        connect(item, &QAction::triggered, this, [this, setId] { actItemExecute(setId); });
    }
    FileDir = QDir::currentPath();
    ShowPage(tsNS);
}

void TfmNew::act2BackExecute()
{
    ShowPage(tsTask);
    liTask->setFocus();
}

void TfmNew::act25backExecute()
{
    ShowPage(tsParams);
    edName->setFocus();
}

void TfmNew::actExitExecute()
{
    if (Ui().AskYesNo(QStringLiteral("Отказаться от создания настройки?"), TAnswer::No, LeaveCaption)
        == TAnswer::Yes)
        QDialog::reject();
}

void TfmNew::reject() { QDialog::reject(); }

void TfmNew::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        // Esc is "Отмена" on the first two pages and nothing on the method page.
        if (pcPages->currentWidget() != tsNS)
            actExitExecute();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TfmNew::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (const QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

template <class Work>
void TfmNew::RunMethod(Work &&work)
{
    try {
        if (work())
            accept();
    } catch (const std::exception &e) {
        dmSet->Link.StandardErrorReport(FailureText(e));
        QDialog::reject();
    }
}

void TfmNew::CreateSettingRow()
{
    const QByteArray client = dmSet->tbTasks->AsString(TdmSet::tkClient);
    // Without the client-bank's list the new Id would be 1 and the name unchecked: its save
    // would replace a setting the server has.
    if (!dmSet->SettingsListOf(client))
        throw EMemTableError(
            QStringLiteral("Список настроек клиент-банка %1 не загружен: настройка не создана")
                .arg(FromWin1251(client)));
    const int id = dmSet->NextSettingId();
    TMemTable *sets = dmSet->tbSets;
    sets->Insert();
    try {
        sets->SetAsInteger(TdmSet::stId, id);
        sets->SetAsString(TdmSet::stClient, client);
        sets->SetAsInteger(TdmSet::stType, TaskType());
        WriteSettingParams(sets, edName->text(), edDir->text(), edFile->text(), edFunc->text(),
                           edVFunc->text(), edFindEx->text());
        sets->Post();
    } catch (...) {
        sets->Cancel();
        throw;
    }
}

void TfmNew::actFileDbfExecute()
{
    RunMethod([this] {
        const std::optional<QString> chosen = Ui().ChooseFile(QStringLiteral("Открыть"), FileDir, FileFilter);
        if (!chosen)
            return false;
        if (!QFileInfo(*chosen).isFile()) {
            Ui().ShowMessage(QStringLiteral("Файл, выбранный Вами, не найден"));
            return false;
        }
        // The fields are the file's, whatever an earlier use left. A setting of the fields read
        // before a failure (or of none) would not fit the file: none is made, and the operator
        // may choose another file or method.
        dmSet->tbSet->EmptyTable();
        bool read = false;
        try {
            read = LoadDbfStructure(*dmSet, *chosen); // a file that cannot be opened is reported there
        } catch (const std::exception &e) {
            dmSet->Link.StandardErrorReport(FailureText(e));
        }
        if (!read) {
            dmSet->tbSet->EmptyTable();
            return false;
        }
        CreateSettingRow();
        dmSet->SetModified = true;
        return true;
    });
}

void TfmNew::actCopySetExecute()
{
    if (pmSets->isEmpty())
        return;
    pmSets->popup(btCopySet->mapToGlobal(QPoint(0, btCopySet->height())));
}

void TfmNew::actItemExecute(qint64 setId)
{
    RunMethod([this, setId] {
        dmSet->tbSet->EmptyTable();
        LoadSettingFieldsOf(*dmSet, setId); // a failure is reported there
        CreateSettingRow();
        dmSet->SetModified = true;
        return true;
    });
}

void TfmNew::actAutoExecute()
{
    RunMethod([this] {
        dmSet->tbSet->EmptyTable();
        dmSet->AutoCreateFields(TaskType()); // a failure is reported there; the rows got stay
        CreateSettingRow();
        dmSet->SetModified = true;
        return true;
    });
}

void TfmNew::actConstrExecute()
{
    RunMethod([this] {
        dmSet->tbSet->EmptyTable();
        CreateSettingRow();
        return true;
    });
}

} // namespace velmbank
