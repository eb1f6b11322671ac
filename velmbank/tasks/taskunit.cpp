#include "taskunit.h"

#include "Access.h"
#include "Connect.h"
#include "Ui.h"
#include "about.h"
#include "codepage.h"
#include "data.h"
#include "funcs.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QToolBar>
#include <QToolButton>

static void InitTaskResources()
{
    // The toolbar's images live in a static library: referencing them keeps them linked in.
    Q_INIT_RESOURCE(tasks);
}

namespace velmbank {

TfmTaskMan *fmTaskMan = nullptr;

namespace {

constexpr char EntrySeparator = MenuEntrySep;
constexpr char PartSeparator = MenuPartSep;
const QString PlacementGroup = QStringLiteral("Forms/TaskMan");

QString Escaped(const QString &caption)
{
    QString s = caption;
    return s.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

// ---- entry items ----

TTaskMenuItem::TTaskMenuItem(const QByteArray &entryText, QObject *parent)
    : QAction(CaptionOf(entryText), parent), EntryText(entryText)
{}

QString TTaskMenuItem::CaptionOf(const QByteArray &entryText)
{
    return Escaped(
        FromWin1251(Piece(entryText, PartSeparator, 1) + ':' + Piece(entryText, PartSeparator, 3)));
}

// ---- the window ----

TfmTaskMan::TfmTaskMan(QWidget *parent) : QWidget(parent)
{
    InitTaskResources();
    setObjectName(QStringLiteral("fmTaskMan"));
    setWindowTitle(QStringLiteral("Шлюз \"ВЕЛЬМ - Банк\" Диспетчер задач"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    const auto action = [this](const char *name, const QString &caption, const QString &image = QString()) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QLatin1String(name));
        if (!image.isEmpty())
            a->setIcon(QIcon(image));
        return a;
    };
    actSetup = action("actSetup", QStringLiteral("Редактор настроек"), QStringLiteral(":/tasks/editor.png"));
    actTask1 = action("actTask1", QStringLiteral("Деньги: расход"), QStringLiteral(":/tasks/moneyout.png"));
    actTask2 = action("actTask2", QStringLiteral("Деньги: приход"), QStringLiteral(":/tasks/moneyin.png"));
    actAbout = action("actAbout", QStringLiteral("О программе"), QStringLiteral(":/tasks/about.png"));
    actSetupPrp = action("actSetupPrp", QStringLiteral("Выбрать настройку"));
    actProp1 = action("actProp1", QStringLiteral("Выбрать настройку"));
    actProp2 = action("actProp2", QStringLiteral("Выбрать настройку"));

    connect(actSetup, &QAction::triggered, this, [this] { actSetupExecute(nullptr); });
    connect(actTask1, &QAction::triggered, this, [this] { actTask1Execute(nullptr); });
    connect(actTask2, &QAction::triggered, this, [this] { actTask2Execute(nullptr); });
    connect(actAbout, &QAction::triggered, this, &TfmTaskMan::actAboutExecute);
    connect(actSetupPrp, &QAction::triggered, this, &TfmTaskMan::actSetupPrpExecute);
    connect(actProp1, &QAction::triggered, this, &TfmTaskMan::actProp1Execute);
    connect(actProp2, &QAction::triggered, this, &TfmTaskMan::actProp2Execute);

    const auto menu = [this](const char *name, QAction *fixed) {
        auto *m = new QMenu(this);
        m->setObjectName(QLatin1String(name));
        m->addSeparator();
        m->addAction(fixed);
        m->setDefaultAction(fixed);
        return m;
    };
    mn0 = menu("mn0", actSetupPrp);
    mn1 = menu("mn1", actProp1);
    mn2 = menu("mn2", actProp2);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBar1->setIconSize(QSize(16, 16));
    const auto button = [this](const char *name, QAction *act, QMenu *m) {
        auto *b = new QToolButton(ToolBar1);
        b->setObjectName(QLatin1String(name));
        b->setDefaultAction(act);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        if (m) {
            b->setMenu(m);
            b->setPopupMode(QToolButton::MenuButtonPopup);
        }
        ToolBar1->addWidget(b);
        return b;
    };
    tb0 = button("tb0", actSetup, mn0);
    tb1 = button("tb1", actTask1, mn1);
    tb2 = button("tb2", actTask2, mn2);
    tbAbout = button("tbAbout", actAbout, nullptr);
    // Buttons of one size, at least 105 by 36, wide enough for the longest caption.
    QSize size(105, 36);
    for (QToolButton *b : {tb0, tb1, tb2, tbAbout})
        size = size.expandedTo(b->sizeHint());
    for (QToolButton *b : {tb0, tb1, tb2, tbAbout})
        b->setFixedSize(size);

    auto *l = new QHBoxLayout(this);
    l->setContentsMargins(2, 2, 2, 2);
    l->addWidget(ToolBar1);
    l->addStretch();

    // FormCreate: what the user may do, then the menus.
    actSetup->setEnabled(dmSet && dmSet->HasRight(0, dmSet->Link.UserNumber));
    actTask1->setEnabled(dmSet && dmSet->HasRight(1, dmSet->Link.UserNumber));
    actTask2->setEnabled(dmSet && dmSet->HasRight(2, dmSet->Link.UserNumber));
    for (int task = 0; task <= 2; ++task)
        BuildTaskMenu(task);
    if (dmSet)
        dmSet->Menus = this;

    GiveAccessibleNames(this);
    setFixedSize(QSize(460, 40).expandedTo(sizeHint()));
    RestorePlacement();
}

TfmTaskMan::~TfmTaskMan()
{
    if (dmSet && dmSet->Menus == this)
        dmSet->Menus = nullptr;
    if (fmTaskMan == this)
        fmTaskMan = nullptr;
}

QMenu *TfmTaskMan::TaskMenu(int task) const { return task == 0 ? mn0 : task == 1 ? mn1 : mn2; }

QToolButton *TfmTaskMan::TaskButton(int task) const { return task == 0 ? tb0 : task == 1 ? tb1 : tb2; }

QAction *TfmTaskMan::FixedItem(int task) const
{
    return task == 0 ? actSetupPrp : task == 1 ? actProp1 : actProp2;
}

QList<TTaskMenuItem *> TfmTaskMan::EntryItems(int task) const
{
    QList<TTaskMenuItem *> out;
    for (QAction *a : TaskMenu(task)->actions())
        if (auto *item = qobject_cast<TTaskMenuItem *>(a))
            out.append(item);
    return out;
}

bool TfmTaskMan::GotoTaskRow(int task)
{
    if (!dmSet)
        return false;
    const TBookmark row = task == 0   ? dmSet->TaskRowSetup
                          : task == 1 ? dmSet->TaskRowMoneyOut
                                      : dmSet->TaskRowMoneyIn;
    if (!dmSet->tbTasks->BookmarkValid(row))
        return false;
    dmSet->tbTasks->GotoBookmark(row);
    return true;
}

TTaskMenuItem *TfmTaskMan::NewEntry(int task, const QByteArray &entryText)
{
    auto *item = new TTaskMenuItem(entryText, TaskMenu(task));
    connect(item, &QAction::triggered, this, [this, task, item] { TaskExecute(task, item); });
    return item;
}

void TfmTaskMan::SetDefault(QMenu *menu, QAction *item) { menu->setDefaultAction(item); }

void TfmTaskMan::Promote(QMenu *menu, QAction *item)
{
    const QList<QAction *> all = menu->actions();
    if (all.isEmpty() || all.first() == item)
        return;
    menu->removeAction(item);
    menu->insertAction(all.first(), item);
}

void TfmTaskMan::BuildTaskMenu(int task)
{
    QMenu *menu = TaskMenu(task);
    for (TTaskMenuItem *item : EntryItems(task)) {
        menu->removeAction(item);
        item->deleteLater();
    }
    SetDefault(menu, FixedItem(task));
    if (!GotoTaskRow(task))
        return;
    const QByteArray menus = dmSet->tbTasks->AsString(TdmSet::tkMenus);
    QAction *separator = menu->actions().first();
    const int n = CountChar(menus, EntrySeparator);
    for (int i = 1; i <= n + 1; ++i) {
        const QByteArray entry = Piece(menus, EntrySeparator, i);
        // A stored list ends at its first empty item (an empty Menus text has no entries).
        if (entry.isEmpty())
            break;
        TTaskMenuItem *item = NewEntry(task, entry);
        menu->insertAction(separator, item);
        if (i == 1)
            SetDefault(menu, item);
    }
}

void TfmTaskMan::UpdateButtonHints()
{
    for (int task = 0; task <= 2; ++task) {
        QAction *def = TaskMenu(task)->defaultAction();
        // The button shows its action's hint.
        (task == 0   ? actSetup
         : task == 1 ? actTask1
                     : actTask2)
            ->setToolTip(def ? PlainCaption(def->text()) : QString());
    }
}

void TfmTaskMan::AddMenuEntry(int task, const QByteArray &entryText)
{
    QMenu *menu = TaskMenu(task);
    for (TTaskMenuItem *item : EntryItems(task)) {
        if (item->EntryText == entryText) {
            SetDefault(menu, item);
            Promote(menu, item);
            return;
        }
    }
    const QList<QAction *> all = menu->actions();
    if (all.size() == MaxEntries + 2) {
        QAction *lowest = all[MaxEntries - 1];
        menu->removeAction(lowest);
        lowest->deleteLater();
    }
    TTaskMenuItem *item = NewEntry(task, entryText);
    menu->insertAction(menu->actions().first(), item);
    SetDefault(menu, item);
}

void TfmTaskMan::RemoveMenuEntry(const QByteArray &entryText)
{
    bool numeric = false;
    const QByteArray client = Piece(entryText, PartSeparator, 1);
    const qint64 setId = Piece(entryText, PartSeparator, 2).toLongLong(&numeric);
    for (int task = 0; task <= 2; ++task) {
        QMenu *menu = TaskMenu(task);
        bool wasDefault = false;
        for (TTaskMenuItem *item : EntryItems(task)) {
            if (item->EntryText != entryText
                && !(numeric && EntryNamesSetting(item->EntryText, client, setId)))
                continue;
            wasDefault = wasDefault || menu->defaultAction() == item;
            menu->removeAction(item);
            item->deleteLater();
        }
        if (wasDefault) {
            const QList<TTaskMenuItem *> left = EntryItems(task);
            SetDefault(menu, left.isEmpty() ? FixedItem(task) : left.first());
        }
    }
}

void TfmTaskMan::SettingRenamed(const QByteArray &client, qint64 setId, const QByteArray &name)
{
    for (int task = 0; task <= 2; ++task) {
        bool renamed = false;
        for (TTaskMenuItem *item : EntryItems(task)) {
            if (!EntryNamesSetting(item->EntryText, client, setId))
                continue;
            item->EntryText = MenuEntry(Piece(item->EntryText, PartSeparator, 1), setId, name);
            item->setText(TTaskMenuItem::CaptionOf(item->EntryText));
            renamed = true;
        }
        if (renamed)
            SaveTaskMenu(task);
    }
}

void TfmTaskMan::SettingDeleted(const QByteArray &client, qint64 setId)
{
    QList<int> listed;
    for (int task = 0; task <= 2; ++task)
        for (const TTaskMenuItem *item : EntryItems(task))
            if (EntryNamesSetting(item->EntryText, client, setId)) {
                listed << task;
                break;
            }
    RemoveMenuEntry(MenuEntry(client, setId, {}));
    for (int task : std::as_const(listed))
        SaveTaskMenu(task);
}

void TfmTaskMan::SaveTaskMenu(int task)
{
    if (!GotoTaskRow(task))
        return;
    QList<QByteArray> entries;
    for (const TTaskMenuItem *item : EntryItems(task))
        entries.append(item->EntryText);
    // The column (and the server) keeps 254 characters: cutting inside an entry would store a
    // broken pair, so whole entries go from the bottom until the rest fits.
    QByteArray menus = entries.join(EntrySeparator);
    while (menus.size() > MenusWidth) {
        entries.removeLast();
        menus = entries.join(EntrySeparator);
    }
    TMemTable *tb = dmSet->tbTasks;
    try {
        tb->Edit();
        tb->SetAsString(TdmSet::tkMenus, menus);
        tb->Post();
    } catch (const std::exception &) {
        if (tb->State() == TMemTableState::Edit)
            tb->Cancel();
        Ui().ShowMessage(QStringLiteral("Menus"));
    }
}

void TfmTaskMan::actSetupExecute(QAction *sender) { TaskExecute(0, sender); }
void TfmTaskMan::actTask1Execute(QAction *sender) { TaskExecute(1, sender); }
void TfmTaskMan::actTask2Execute(QAction *sender) { TaskExecute(2, sender); }

void TfmTaskMan::TaskExecute(int task, QAction *sender)
{
    QMenu *menu = TaskMenu(task);
    auto *item = qobject_cast<TTaskMenuItem *>(sender);
    if (!item) {
        // The button repeats the menu's default: the pair last used, or the choice of one.
        if (QAction *def = menu->defaultAction())
            def->trigger();
        return;
    }
    if (menu->defaultAction() != item) {
        SetDefault(menu, item);
        Promote(menu, item);
    }
    if (!GotoTaskRow(task))
        return;
    TMemTable *tb = dmSet->tbTasks;
    try {
        tb->Edit();
        tb->SetAsString(TdmSet::tkClient, Piece(item->EntryText, PartSeparator, 1));
        bool numeric = false;
        const qint64 set = Piece(item->EntryText, PartSeparator, 2).toLongLong(&numeric);
        if (numeric)
            tb->SetAsInteger(TdmSet::tkSet, set);
        else
            tb->Clear(TdmSet::tkSet); // the start then asks for a setting
        tb->SetAsString(TdmSet::tkSName, Piece(item->EntryText, PartSeparator, 3));
        tb->Post();
    } catch (const EMemTableError &e) {
        if (tb->State() == TMemTableState::Edit)
            tb->Cancel();
        Ui().ShowMessage(e.Text);
        return;
    }
    if (task == 0) {
        OpenSettingEditor();
        SaveTaskMenu(0);
    } else {
        StartTask(task);
    }
}

void TfmTaskMan::actAboutExecute()
{
    if (fmAbout) {
        fmAbout->exec();
        return;
    }
    TfmAbout about(this);
    about.exec();
}

// ---- activation, placement, closing ----

void TfmTaskMan::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        UpdateButtonHints();
}

void TfmTaskMan::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!FActiveControl.isEmpty())
        if (auto *w = findChild<QWidget *>(FActiveControl); w && w->isEnabled())
            w->setFocus();
}

void TfmTaskMan::closeEvent(QCloseEvent *e)
{
    SavePlacement();
    QWidget::closeEvent(e);
    Q_EMIT Closed();
}

void TfmTaskMan::RestorePlacement()
{
    QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
    settings.beginGroup(PlacementGroup);
    const QRect screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->availableGeometry()
                             : QRect(0, 0, 1024, 768);
    QPoint pos = screen.center() - rect().center();
    if (settings.contains(QStringLiteral("Left")) && settings.contains(QStringLiteral("Top"))) {
        const QPoint saved(settings.value(QStringLiteral("Left")).toInt(),
                           settings.value(QStringLiteral("Top")).toInt());
        // A place on a screen that is gone would leave the window out of reach.
        if (QGuiApplication::screenAt(saved + QPoint(20, 10)))
            pos = saved;
    }
    move(pos);
    FActiveControl = settings.value(QStringLiteral("ActiveControl")).toString();
    // A minimised state is not brought back: the main window opens where it can be seen.
}

void TfmTaskMan::SavePlacement()
{
    QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
    settings.beginGroup(PlacementGroup);
    settings.setValue(QStringLiteral("Left"), pos().x());
    settings.setValue(QStringLiteral("Top"), pos().y());
    settings.setValue(QStringLiteral("State"), isMinimized() ? 1 : 0);
    QWidget *focus = focusWidget();
    settings.setValue(QStringLiteral("ActiveControl"),
                      focus && isAncestorOf(focus) ? focus->objectName() : QString());
}

} // namespace velmbank
