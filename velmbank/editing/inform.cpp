#include "inform.h"

#include "Access.h"
#include "Connect.h"
#include "Ui.h"
#include "codepage.h"
#include "data.h"
#include "memos.h"
#include "memtablemodel.h"
#include "setparams.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmbank {

TfmInform *fmInform = nullptr;

namespace {

const QString PlacementGroup = QStringLiteral("Forms/Inform");
const QString FormCaption = QStringLiteral("Настройка входной формы");

// The grid's columns: field, title, width. The other fields of tbSet are not shown.
struct TInformColumn
{
    int Field;
    const char *Title;
    int Width;
};
const TInformColumn Columns[] = {
    {TdmSet::sfName, "Название", 104},
    {TdmSet::sfType, "Тип данных", 65},
    {TdmSet::sfLength, "Длина", 93},
    {TdmSet::sfMAPX, "Поле Вельм", 210},
};

bool Shown(int field)
{
    for (const TInformColumn &c : Columns)
        if (c.Field == field)
            return true;
    return false;
}

QStringList Texts(const QList<QByteArray> &list)
{
    QStringList out;
    out.reserve(list.size());
    for (const QByteArray &s : list)
        out << FromWin1251(s);
    return out;
}

// A plus or a minus for the row commands.
QIcon SignIcon(bool plus)
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(plus ? QColor(30, 140, 60) : QColor(190, 40, 40));
    p.drawRoundedRect(QRectF(3, 10, 18, 4), 1.5, 1.5);
    if (plus)
        p.drawRoundedRect(QRectF(10, 3, 4, 18), 1.5, 1.5);
    return QIcon(pm);
}

} // namespace

// ---- the cells' editors ----

QWidget *TInformDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                       const QModelIndex &index) const
{
    const int field = index.column();
    const int maxLength = index.data(TMemTableModel::MaxLengthRole).toInt();
    QWidget *editor = nullptr;
    if (field == TdmSet::sfType || field == TdmSet::sfMAPX) {
        auto *c = new QComboBox(parent);
        c->setEditable(true); // typed text is taken too; the save's check catches it
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(field == TdmSet::sfType ? TypeNames : Characteristics);
        c->setMaxVisibleItems(16);
        if (c->completer()) {
            c->completer()->setCaseSensitivity(Qt::CaseInsensitive);
            c->completer()->setCompletionMode(QCompleter::PopupCompletion);
        }
        if (maxLength > 0)
            c->lineEdit()->setMaxLength(maxLength);
        editor = c;
    } else {
        editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *e = qobject_cast<QLineEdit *>(editor); e && maxLength > 0)
            e->setMaxLength(maxLength);
    }
    // The cell's editor is named by its column's title.
    editor->setAccessibleName(index.model()->headerData(field, Qt::Horizontal).toString());
    FEditor = editor;
    return editor;
}

void TInformDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *c = qobject_cast<QComboBox *>(editor)) {
        const QString text = index.data(Qt::EditRole).toString();
        const int at = c->findText(text, Qt::MatchFixedString);
        if (at >= 0 && c->itemText(at) == text)
            c->setCurrentIndex(at);
        else
            c->setEditText(text);
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void TInformDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *c = qobject_cast<QComboBox *>(editor)) {
        const QString text = c->currentText();
        // A cell left as it was is no change: the row is not posted again.
        if (text != index.data(Qt::EditRole).toString())
            model->setData(index, text, Qt::EditRole);
        return;
    }
    if (auto *e = qobject_cast<QLineEdit *>(editor)) {
        if (e->text() != index.data(Qt::EditRole).toString())
            model->setData(index, e->text(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

void TInformDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &index) const
{
    (void)index;
    editor->setGeometry(option.rect);
}

// ---- the grid ----

TInformGrid::TInformGrid(QWidget *parent) : QTableView(parent) {}

void TInformGrid::EndEdit()
{
    auto *d = qobject_cast<TInformDelegate *>(itemDelegate());
    QWidget *editor = d ? d->OpenEditor() : nullptr;
    if (!editor || state() != QAbstractItemView::EditingState)
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TInformGrid::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Insert && e->modifiers() == Qt::NoModifier) {
        Q_EMIT InsertRowKey();
        return;
    }
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::ControlModifier) {
        Q_EMIT DeleteRowKey();
        return;
    }
    if (e->key() == Qt::Key_Down && e->modifiers() == Qt::NoModifier && model()
        && currentIndex().row() == model()->rowCount() - 1) {
        Q_EMIT AppendRowKey();
        return;
    }
    QTableView::keyPressEvent(e);
}

// ---- the window ----

TfmInform::TfmInform(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("fmInform"));
    setWindowTitle(QStringLiteral("Настройка входной формы клиент банка"));

    const auto action = [this](const QString &caption, const QString &hint, const QIcon &icon) {
        auto *a = new QAction(icon, caption, this);
        a->setToolTip(hint);
        a->setStatusTip(hint);
        return a;
    };
    QStyle *s = style();
    actAdd = action(QStringLiteral("Добавить"), QStringLiteral("Добавить поле"), SignIcon(true));
    actDelete = action(QStringLiteral("Убрать"), QStringLiteral("Убрать поле"), SignIcon(false));
    actSave = action(QStringLiteral("Сохранить"), QStringLiteral("Сохранить настройку в БД"),
                     s->standardIcon(QStyle::SP_DialogSaveButton));
    actDelSet = action(QStringLiteral("Удалить"), QStringLiteral("Удалить настройку"),
                       s->standardIcon(QStyle::SP_TrashIcon));
    actClose = action(QStringLiteral("Выход"), QStringLiteral("Закрыть редактор"),
                      s->standardIcon(QStyle::SP_DialogCloseButton));
    actClose->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F10));
    actSetParams = action(QStringLiteral("Параметры"), QStringLiteral("Параметры настройки"),
                          s->standardIcon(QStyle::SP_FileDialogDetailedView));
    actNew = action(QStringLiteral("Создать"), QStringLiteral("Создать новую настройку"),
                    s->standardIcon(QStyle::SP_FileIcon));
    connect(actAdd, &QAction::triggered, this, &TfmInform::actAddExecute);
    connect(actDelete, &QAction::triggered, this, &TfmInform::actDeleteExecute);
    connect(actSave, &QAction::triggered, this, [this] { actSaveExecute(); });
    connect(actDelSet, &QAction::triggered, this, &TfmInform::actDelSetExecute);
    connect(actClose, &QAction::triggered, this, &TfmInform::actCloseExecute);
    connect(actSetParams, &QAction::triggered, this, &TfmInform::actSetParamsExecute);
    connect(actNew, &QAction::triggered, this, &TfmInform::actNewExecute);

    // The main menu; "Создать" is there only.
    mnSettings = menuBar()->addMenu(QStringLiteral("Настройки"));
    mnSettings->addAction(actNew);
    mnSettings->addAction(actSave);
    mnSettings->addAction(actDelSet);
    mnSettings->addSeparator();
    mnSettings->addAction(actSetParams);
    mnFields = menuBar()->addMenu(QStringLiteral("Поля"));
    mnFields->addAction(actAdd);
    mnFields->addAction(actDelete);
    // The menu bar shows its own "Выход" as a word; the key is actClose's.
    QAction *mnExit = menuBar()->addAction(QStringLiteral("Выход"));
    mnExit->setToolTip(actClose->toolTip());
    connect(mnExit, &QAction::triggered, this, &TfmInform::actCloseExecute);

    auto *central = new QWidget(this);
    auto *l = new QVBoxLayout(central);
    l->setContentsMargins(4, 2, 4, 4);

    // The button bar in its three sections.
    auto *bar = new QHBoxLayout;
    bar->setSpacing(6);
    const auto section = [central, bar](const QString &title, std::initializer_list<QAction *> actions) {
        auto *g = new QGroupBox(title, central);
        auto *gl = new QHBoxLayout(g);
        gl->setContentsMargins(4, 2, 4, 2);
        gl->setSpacing(2);
        for (QAction *a : actions) {
            auto *b = new QToolButton(g);
            b->setDefaultAction(a);
            b->setAutoRaise(true);
            b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            b->setIconSize(QSize(24, 24));
            b->setMinimumWidth(64);
            b->setAccessibleName(a->text());
            gl->addWidget(b);
        }
        bar->addWidget(g);
    };
    section(QStringLiteral("Поля"), {actAdd, actDelete});
    section(QStringLiteral("Настройки"), {actSave, actDelSet, actClose});
    section(QStringLiteral("Общие"), {actSetParams});
    bar->addStretch();
    l->addLayout(bar);

    gbFields = new QGroupBox(QStringLiteral("Поля dbf файла"), central);
    auto *gl = new QVBoxLayout(gbFields);
    gl->setContentsMargins(4, 4, 4, 4);
    rdbIn = new TInformGrid(gbFields);
    rdbIn->setObjectName(QStringLiteral("rdbIn"));
    dsSet = new TMemTableModel(dmSet->tbSet, this);
    dsSet->SetEditable(true);
    for (const TInformColumn &c : Columns)
        dsSet->SetCaption(c.Field, QString::fromUtf8(c.Title));
    Delegate = new TInformDelegate(rdbIn);
    Delegate->TypeNames = Texts(dmSet->TypeNames);
    rdbIn->setItemDelegate(Delegate);
    rdbIn->setModel(dsSet);
    rdbIn->setSelectionBehavior(QAbstractItemView::SelectItems);
    rdbIn->setSelectionMode(QAbstractItemView::SingleSelection);
    rdbIn->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked
                           | QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed
                           | QAbstractItemView::AnyKeyPressed);
    rdbIn->setTabKeyNavigation(true);
    rdbIn->horizontalHeader()->setSectionsMovable(false);
    rdbIn->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    rdbIn->horizontalHeader()->setStretchLastSection(false);
    rdbIn->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    rdbIn->verticalHeader()->setDefaultSectionSize(rdbIn->fontMetrics().height() + 10);
    for (int field = 0; field < dsSet->columnCount(); ++field)
        rdbIn->setColumnHidden(field, !Shown(field));
    for (const TInformColumn &c : Columns) {
        // The widths the operators know, or the title's when the font needs more.
        const int title =
            rdbIn->horizontalHeader()->fontMetrics().horizontalAdvance(QString::fromUtf8(c.Title)) + 16;
        rdbIn->setColumnWidth(c.Field, std::max(c.Width, title));
    }
    gl->addWidget(rdbIn);
    l->addWidget(gbFields, 1);

    mmComment = new QPlainTextEdit(central);
    mmComment->setObjectName(QStringLiteral("mmComment"));
    mmComment->setReadOnly(true);
    mmComment->setFocusPolicy(Qt::NoFocus);
    mmComment->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette pal = mmComment->palette();
    pal.setColor(QPalette::Text, Qt::blue);
    mmComment->setPalette(pal);
    mmComment->setFixedHeight(mmComment->fontMetrics().lineSpacing() * 3 + 12);
    l->addWidget(mmComment);
    setCentralWidget(central);

    if (!fmMemo)
        fmMemo = new TfmMemo(this);
    if (!fmSetParams)
        fmSetParams = new TfmSetParams(this);
    connect(fmSetParams, &QDialog::accepted, this, &TfmInform::ParamsAccepted);

    connect(rdbIn->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TfmInform::GridCurrentChanged);
    connect(dsSet, &TMemTableModel::CurrentRowChanged, this, &TfmInform::TableRowChanged);
    connect(dsSet, &TMemTableModel::EditRefused, this, [](const QString &text) { Ui().ShowMessage(text); });
    connect(rdbIn, &TInformGrid::InsertRowKey, this, &TfmInform::actAddExecute);
    connect(rdbIn, &TInformGrid::DeleteRowKey, this, &TfmInform::actDeleteExecute);
    connect(rdbIn, &TInformGrid::AppendRowKey, this, &TfmInform::AppendRow);

    GiveAccessibleNames(this);
    rdbIn->setAccessibleName(gbFields->title());
    mmComment->setAccessibleName(QStringLiteral("Подсказка"));
    FitGrid();
    resize(sizeHint().width(), 460);
}

TfmInform::~TfmInform()
{
    if (fmInform == this)
        fmInform = nullptr;
}

// ---- opening ----

void TfmInform::FillFromSetting()
{
    fmSetParams->FillFromSetting();
    Delegate->Characteristics = Texts(dmSet->Characteristics);
    FitGrid();
    SetCaptionFromSetting();
    FAppendedRow = -1;
    rdbIn->EndEdit();
    if (dsSet->rowCount() > 0)
        SelectCell(0, TdmSet::sfName);
}

void TfmInform::FitGrid()
{
    // The characteristic's column as wide as the longest entry of its list, within reason.
    int mapx = 0;
    for (const QString &entry : std::as_const(Delegate->Characteristics))
        mapx = std::max(mapx, rdbIn->fontMetrics().horizontalAdvance(entry) + 36);
    for (const TInformColumn &c : Columns)
        if (c.Field == TdmSet::sfMAPX)
            rdbIn->setColumnWidth(c.Field, std::clamp(mapx, c.Width, 3 * c.Width / 2));
    // Room for every column beside the row indicator and the scroll bar.
    int width = rdbIn->verticalHeader()->sizeHint().width() + 2 * rdbIn->frameWidth()
                + rdbIn->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    for (const TInformColumn &c : Columns)
        width += rdbIn->columnWidth(c.Field);
    rdbIn->setMinimumWidth(width);
    // The window grows at once to the grid's new width, before it is shown.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QMargins margins = centralWidget()->layout()->contentsMargins();
    const int needed = gbFields->minimumSizeHint().width() + margins.left() + margins.right();
    if (this->width() < needed)
        resize(needed, height());
}

void TfmInform::SetCaptionFromSetting()
{
    setWindowTitle(QStringLiteral("Редактор настроек. Клиент-банк: %1, настройка %2")
                       .arg(FromWin1251(dmSet->tbTasks->AsString(TdmSet::tkClient)),
                            FromWin1251(dmSet->tbSets->AsString(TdmSet::stName))));
}

void TfmInform::GotoSetupRow()
{
    // The editor works for the settings-editor task only.
    if (dmSet->tbTasks->BookmarkValid(dmSet->TaskRowSetup))
        dmSet->tbTasks->GotoBookmark(dmSet->TaskRowSetup);
}

// ---- the grid and the table's cursor ----

void TfmInform::SelectCell(int row, int field)
{
    if (row < 0 || row >= dsSet->rowCount())
        return;
    // A field without a column of its own (read from the server) is shown by its row.
    const int column = Shown(field) ? field : int(TdmSet::sfName);
    rdbIn->setCurrentIndex(dsSet->index(row, column));
    rdbIn->scrollTo(rdbIn->currentIndex());
}

void TfmInform::GridCurrentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (!current.isValid())
        return;
    if (current.column() != previous.column() || !previous.isValid())
        if (const std::optional<QString> help = fmMemo->ColumnHelp(current.column()))
            mmComment->setPlainText(*help);
    if (current.row() != previous.row() && FAppendedRow >= 0 && FAppendedRow != current.row())
        QTimer::singleShot(0, this, &TfmInform::DropUntouchedAppendedRow);
    if (FSyncing)
        return;
    TMemTable *set = dmSet->tbSet;
    if (set->CurrentRow() == current.row())
        return;
    FSyncing = true;
    try {
        set->SetRecNo(current.row() + 1);
    } catch (const EMemTableError &e) {
        Ui().ShowMessage(e.Text);
    }
    FSyncing = false;
}

void TfmInform::TableRowChanged(int row)
{
    if (FSyncing || row < 0 || row >= dsSet->rowCount())
        return;
    const QModelIndex current = rdbIn->currentIndex();
    if (current.isValid() && current.row() == row)
        return;
    FSyncing = true;
    rdbIn->setCurrentIndex(dsSet->index(row, current.isValid() ? current.column() : int(TdmSet::sfName)));
    FSyncing = false;
}

bool TfmInform::AddEmptyRow(bool append)
{
    TMemTable *set = dmSet->tbSet;
    // An empty row is nothing to save: the setting counts as changed once a cell is typed in.
    const bool modified = dmSet->SetModified;
    try {
        if (append)
            set->Append();
        else
            set->Insert();
        set->Post();
    } catch (const EMemTableError &e) {
        if (set->State() != TMemTableState::Browse)
            set->Cancel();
        Ui().ShowMessage(e.Text);
        return false;
    }
    dmSet->SetModified = modified;
    return true;
}

void TfmInform::AppendRow()
{
    rdbIn->EndEdit();
    const QModelIndex current = rdbIn->currentIndex();
    if (!AddEmptyRow(true))
        return;
    FAppendedRow = dmSet->tbSet->CurrentRow();
    SelectCell(FAppendedRow, current.isValid() ? current.column() : int(TdmSet::sfName));
}

void TfmInform::DropUntouchedAppendedRow()
{
    const int row = FAppendedRow;
    TMemTable *set = dmSet->tbSet;
    const QModelIndex current = rdbIn->currentIndex();
    if (row < 0 || row >= set->RecordCount() || !current.isValid() || current.row() == row)
        return;
    FAppendedRow = -1;
    for (int field = 0; field < set->FieldCount(); ++field)
        if (!set->IsNullAt(row, field))
            return;
    rdbIn->EndEdit();
    const int back = current.row() > row ? current.row() - 1 : current.row();
    FSyncing = true;
    set->SetRecNo(row + 1);
    set->Delete();
    FSyncing = false;
    SelectCell(back, current.column());
    SyncTableRow();
}

void TfmInform::SyncTableRow()
{
    const QModelIndex current = rdbIn->currentIndex();
    TMemTable *set = dmSet->tbSet;
    if (!current.isValid() || set->CurrentRow() == current.row())
        return;
    FSyncing = true;
    set->SetRecNo(current.row() + 1);
    FSyncing = false;
}

// ---- row commands ----

void TfmInform::actAddExecute()
{
    rdbIn->EndEdit();
    SyncTableRow();
    if (!AddEmptyRow(false))
        return;
    SelectCell(dmSet->tbSet->CurrentRow(), TdmSet::sfName);
    rdbIn->setFocus();
}

void TfmInform::actDeleteExecute()
{
    rdbIn->EndEdit();
    if (Ui().AskYesNo(QStringLiteral("Удалить поле?"), TAnswer::Yes, FormCaption) != TAnswer::Yes)
        return;
    TMemTable *set = dmSet->tbSet;
    if (set->IsEmpty())
        return;
    SyncTableRow();
    try {
        set->Delete();
        // A removed field is a change to save like any other.
        dmSet->SetModified = true;
    } catch (const std::exception &e) {
        dmSet->Link.StandardErrorReport(FailureText(e));
        Ui().ShowMessage(QStringLiteral("Удалить не удалось"));
    }
    FAppendedRow = -1;
}

// ---- the properties ----

void TfmInform::actSetParamsExecute()
{
    rdbIn->EndEdit();
    FParamsModeless = false;
    fmSetParams->hide();
    for (;;) {
        const int result = fmSetParams->exec();
        if (result != QDialog::Accepted)
            return;
        dmSet->SetModified = true;
        const QString refusal = ParamsRefusal();
        if (refusal.isEmpty())
            break;
        Ui().ShowMessage(refusal);
        fmSetParams->FocusOnShow = fmSetParams->edName;
    }
    dmSet->Link.RunReported([] { fmSetParams->StoreIntoSetting(); });
}

QString TfmInform::ParamsRefusal() const
{
    const QByteArray name = ToWin1251(fmSetParams->edName->text());
    if (name.isEmpty())
        return QStringLiteral("Имя настройки должно быть определено.");
    // A second setting of that name for the task would leave its lists showing two of one name.
    TMemTable *sets = dmSet->tbSets;
    if (name != sets->AsString(TdmSet::stName)
        && dmSet->SettingNameTaken(name, sets->AsInteger(TdmSet::stType), sets->AsInteger(TdmSet::stId)))
        return QStringLiteral("Настройка с таким именем уже существует");
    return {};
}

void TfmInform::ParamsAccepted()
{
    // "Ok" in the dialog a save opened for the missing name takes what was typed, as the
    // command does; otherwise the name asked for would be dropped.
    if (!FParamsModeless)
        return;
    FParamsModeless = false;
    dmSet->SetModified = true;
    if (const QString refusal = ParamsRefusal(); !refusal.isEmpty()) {
        Ui().ShowMessage(refusal);
        FParamsModeless = true;
        fmSetParams->FocusOnShow = fmSetParams->edName;
        fmSetParams->show();
        return;
    }
    dmSet->Link.RunReported([] { fmSetParams->StoreIntoSetting(); });
}

// ---- the save ----

bool TfmInform::actSaveExecute()
{
    rdbIn->EndEdit();
    GotoSetupRow();
    TMemTable *set = dmSet->tbSet;
    const TBookmark remembered = set->GetBookmark();
    TSettingSave end = TSettingSave::NotSaved;
    int failedRow = -1, failedField = -1;
    {
        // The grid does not follow the checks' walk over the rows.
        TControlsOff quiet(set);
        if (!dmSet->Link.RunReported([&] { end = dmSet->SaveEditedSetting(failedRow, failedField); }))
            return false;
    }
    switch (end) {
    case TSettingSave::NoName:
        Ui().ShowMessage(QStringLiteral("Имя настройки должно быть определено"));
        fmSetParams->FocusOnShow = fmSetParams->edName;
        FParamsModeless = true;
        fmSetParams->show();
        fmSetParams->raise();
        fmSetParams->activateWindow();
        fmSetParams->edName->setFocus();
        return false;
    case TSettingSave::RowFailed:
        SelectCell(failedRow, failedField);
        rdbIn->setFocus();
        return false;
    case TSettingSave::Saved:
    case TSettingSave::NotSaved: break;
    }
    GotoSetupRow();
    SetCaptionFromSetting();
    dmSet->Link.RunReported([&] { set->GotoBookmark(remembered); });
    return end == TSettingSave::Saved;
}

// ---- the setting deleted ----

void TfmInform::actDelSetExecute()
{
    rdbIn->EndEdit();
    GotoSetupRow();
    if (Ui().AskYesNoCancel(QStringLiteral("Вы уверены, что нужно удалить настройку?"), TAnswer::No,
                            FromWin1251(dmSet->tbTasks->AsString(TdmSet::tkName)))
        != TAnswer::Yes)
        return;
    // A failure is reported there, and then the tasks and menus still have the setting; the
    // editor closes all the same.
    dmSet->DeleteSetting();
    dmSet->SetModified = false;
    close();
}

// ---- "Создать" ----

void TfmInform::actNewExecute()
{
    rdbIn->EndEdit();
    if (dmSet->SetModified
        && Ui().AskYesNo(QStringLiteral("Сохранить описание?"), TAnswer::Yes, FormCaption) == TAnswer::Yes
        // Saved as "Сохранить" saves: rows stored unchecked and unnumbered would not fit the
        // file. A row that fails keeps the editor open on it.
        && !actSaveExecute())
        return;
    Leave();
    hide();
    GotoSetupRow();
    TMemTable *tasks = dmSet->tbTasks;
    dmSet->Link.RunReported([tasks] {
        tasks->Edit();
        tasks->Clear(TdmSet::tkSet);
        tasks->Post();
    });
    if (NewSetting)
        NewSetting();
}

// ---- closing ----

void TfmInform::actCloseExecute() { close(); }

void TfmInform::closeEvent(QCloseEvent *e)
{
    rdbIn->EndEdit();
    if (dmSet && dmSet->SetModified) {
        const TAnswer answer = Ui().AskYesNoCancel(QStringLiteral("Сохранить настройку?"), TAnswer::Yes,
                                                   QStringLiteral("Редактор настроек"));
        // Yes with rows that did not reach the server keeps the editor open on them, instead
        // of losing the operator's edits.
        if (answer == TAnswer::Cancel || (answer == TAnswer::Yes && !actSaveExecute())) {
            e->ignore();
            return;
        }
    }
    Leave();
    e->accept();
}

void TfmInform::Leave()
{
    FParamsModeless = false;
    if (fmSetParams && fmSetParams->isVisible())
        fmSetParams->reject();
    FAppendedRow = -1;
    if (dmSet && dmSet->tbSet->Active())
        dmSet->tbSet->EmptyTable();
    if (MainWindow)
        MainWindow->show();
}

// ---- placement ----

void TfmInform::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (FPlaced)
        return;
    FPlaced = true;
    QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
    settings.beginGroup(PlacementGroup);
    restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());
    if (settings.value(QStringLiteral("State")).toInt() == 2)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TfmInform::hideEvent(QHideEvent *e)
{
    QSettings settings(QStringLiteral("Remart"), QStringLiteral("VelmBank"));
    settings.beginGroup(PlacementGroup);
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    settings.setValue(QStringLiteral("State"), isMaximized() ? 2 : 0);
    QWidget *focus = focusWidget();
    settings.setValue(QStringLiteral("ActiveControl"), focus ? focus->objectName() : QString());
    QMainWindow::hideEvent(e);
}

} // namespace velmbank
