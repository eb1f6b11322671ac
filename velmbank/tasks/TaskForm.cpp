#include "TaskForm.h"

#include "Access.h"
#include "Connect.h"
#include "UBHint.h"
#include "Ui.h"
#include "clientman.h"
#include "codepage.h"
#include "data.h"
#include "newclb.h"
#include "taskdata.h"
#include "taskpar.h"
#include "taskrun.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QSettings>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmbank {

TfmTaskForm *fmTaskForm = nullptr;

namespace {

constexpr int PictureSize = 16;
constexpr int TextGap = 5; // between a picture and its text

const QString SettingsOrg = QStringLiteral("Remart");
const QString SettingsApp = QStringLiteral("VelmBank");

QString OptionsGroup(qint32 user, qint64 task)
{
    return QStringLiteral("Forms/TaskForm/%1/%2").arg(user).arg(task);
}

// ---- the pictures, drawn once ----

QPixmap Blank(int size)
{
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    return p;
}

void DrawCheck(QPainter &p, const QColor &color, qreal width, const QRectF &r)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(r.left() + r.width() * 0.15, r.top() + r.height() * 0.55);
    path.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.80);
    path.lineTo(r.left() + r.width() * 0.88, r.top() + r.height() * 0.22);
    p.drawPath(path);
}

void DrawCross(QPainter &p, const QColor &color, qreal width, const QRectF &r)
{
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

// A box with a mark: the include marks. inverse: the marks of the current cell.
QPixmap DrawBox(bool included, bool inverse)
{
    QPixmap pm = Blank(PictureSize);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1.5, 1.5, PictureSize - 3, PictureSize - 3);
    p.setPen(QPen(inverse ? QColor(255, 255, 255) : QColor(80, 80, 80), 1));
    p.setBrush(inverse ? QColor(0, 70, 160) : QColor(255, 255, 255));
    p.drawRoundedRect(box, 2, 2);
    const QRectF inner = box.adjusted(2.5, 2.5, -2.5, -2.5);
    if (included)
        DrawCheck(p, inverse ? QColor(255, 255, 255) : QColor(0, 140, 40), 2.2, inner);
    else
        DrawCross(p, inverse ? QColor(255, 200, 200) : QColor(190, 40, 40), 1.8,
                  inner.adjusted(1, 1, -1, -1));
    return pm;
}

// A round badge with a white check (done) or cross (failed).
QPixmap DrawBadge(const QColor &fill, bool done)
{
    QPixmap pm = Blank(PictureSize);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(1, 1, PictureSize - 2, PictureSize - 2));
    if (done)
        DrawCheck(p, Qt::white, 2.2, QRectF(3.5, 3.5, PictureSize - 7, PictureSize - 7));
    else
        DrawCross(p, Qt::white, 2.2, QRectF(5, 5, PictureSize - 10, PictureSize - 10));
    return pm;
}

QPixmap DrawOk() { return DrawBadge(QColor(20, 150, 50), true); }
QPixmap DrawFail() { return DrawBadge(QColor(200, 30, 30), false); }

// ---- the button images ----

enum class TButtonImage { Run, IncAll, ClearAll, Inverse, Close };

QIcon ButtonIcon(TButtonImage which)
{
    constexpr int s = 24;
    QPixmap pm = Blank(s);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (which) {
    case TButtonImage::Run: { // a document going into the database
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(250, 250, 240));
        p.drawRect(QRectF(3.5, 1.5, 11, 14));
        for (int y = 5; y <= 12; y += 3)
            p.drawLine(QPointF(6, y + 0.5), QPointF(12, y + 0.5));
        p.setBrush(QColor(60, 110, 190));
        p.drawEllipse(QRectF(9.5, 13.5, 13, 5));
        p.drawRect(QRectF(9.5, 16, 13, 5));
        p.drawEllipse(QRectF(9.5, 18.5, 13, 5));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(10, 16, 12, 5));
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(110, 160, 230));
        p.drawEllipse(QRectF(9.5, 13.5, 13, 5));
        break;
    }
    case TButtonImage::IncAll:
    case TButtonImage::ClearAll:
    case TButtonImage::Inverse: {
        for (int i = 0; i < 3; ++i) {
            const bool included = which == TButtonImage::IncAll || (which == TButtonImage::Inverse && i != 1);
            p.drawPixmap(i * 4, i * 4, DrawBox(included, false));
        }
        if (which == TButtonImage::Inverse) {
            p.setPen(QPen(QColor(0, 90, 200), 2));
            p.drawArc(QRectF(12, 1, 10, 10), 0, 270 * 16);
        }
        break;
    }
    case TButtonImage::Close: { // a door with an arrow out
        p.setPen(QPen(QColor(90, 60, 30), 1));
        p.setBrush(QColor(190, 140, 80));
        p.drawRect(QRectF(3.5, 2.5, 10, 19));
        p.setBrush(QColor(60, 40, 20));
        p.drawEllipse(QRectF(10, 11, 2, 2));
        p.setPen(QPen(QColor(200, 30, 30), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(12, 12), QPointF(22, 12));
        p.drawLine(QPointF(18, 8), QPointF(22, 12));
        p.drawLine(QPointF(18, 16), QPointF(22, 12));
        break;
    }
    }
    return QIcon(pm);
}

} // namespace

QPixmap TaskPicture(TTaskPicture picture)
{
    static const QPixmap pictures[] = {
        Blank(PictureSize),
        DrawOk(),
        DrawFail(),
        DrawBox(true, false),
        DrawBox(false, false),
        DrawBox(true, true),
        DrawBox(false, true),
    };
    return pictures[int(picture)];
}

// ---- the delegate ----

TTaskGridDelegate::TTaskGridDelegate(TdmTask *task, QObject *parent)
    : QStyledItemDelegate(parent), FTask(task)
{}

TTaskCellLook TTaskGridDelegate::Look(const QModelIndex &index, bool selectedFocused, int width) const
{
    TTaskCellLook look;
    const TMemTable *t = FTask->tbTask;
    const int row = index.row();
    const int field = index.column();
    if (!index.isValid() || row >= t->RecordCount() || field >= t->FieldCount()
        || TdmTask::tfInclude >= t->FieldCount())
        return look;
    const auto fits = [width](TTaskPicture p) { return TaskPicture(p).width() + TextGap < width; };
    if (field == FTask->TransactField()) {
        const QByteArray &value = t->TextAt(row, field);
        if (value.isEmpty() || t->IsNullAt(row, TdmTask::tfInclude) || !t->IntegerAt(row, TdmTask::tfInclude))
            return look;
        look.Custom = true;
        if (value == "1" || value == "2") {
            look.Picture = TTaskPicture::Ok;
            if (fits(look.Picture))
                look.Text =
                    value == "1" ? QStringLiteral("Документ создан") : QStringLiteral("Документ закрыт");
        } else {
            look.Picture = TTaskPicture::Fail;
            if (fits(look.Picture))
                look.Text = FromWin1251(value);
        }
    } else if (field == TdmTask::tfInclude && !t->IsNullAt(row, field)) {
        look.Custom = true;
        const bool included = t->IntegerAt(row, field) != 0;
        if (included)
            look.Picture = selectedFocused ? TTaskPicture::Includei : TTaskPicture::Include;
        else
            look.Picture = selectedFocused ? TTaskPicture::Excludei : TTaskPicture::Exclude;
        if (fits(TTaskPicture::Include))
            look.Text = included ? QStringLiteral("Включить") : QStringLiteral("Отменить");
    }
    return look;
}

void TTaskGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const bool focused = selected && (option.state & QStyle::State_HasFocus);
    const TTaskCellLook look = Look(index, focused, option.rect.width());
    if (!look.Custom) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The cell cleared in the grid's colours, then the picture and the text.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    const QWidget *w = option.widget;
    QStyle *style = w ? w->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, w);

    painter->save();
    painter->setClipRect(option.rect);
    const QPixmap pm = TaskPicture(look.Picture);
    const QRect r = option.rect;
    QPoint at = r.topLeft();
    if (look.Picture == TTaskPicture::Fail)
        at += QPoint(2, 0);
    else if (look.Picture != TTaskPicture::Ok)
        at += QPoint(0, -1);
    painter->drawPixmap(at, pm);
    if (!look.Text.isEmpty()) {
        const QPalette::ColorGroup cg =
            option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        painter->setPen(option.palette.color(cg, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        const QRect textRect(r.left() + pm.width() + TextGap, r.top() + 2, r.width() - pm.width() - TextGap,
                             r.height() - 2);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, look.Text);
    }
    painter->restore();
}

bool TTaskGridDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
                                  const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

// ---- the row indicator ----

TRowIndicator::TRowIndicator(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize TRowIndicator::sizeHint() const
{
    QSize s = QHeaderView::sizeHint();
    s.setWidth(14);
    return s;
}

void TRowIndicator::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.text.clear();
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    const auto *view = qobject_cast<const QAbstractItemView *>(parentWidget());
    if (!view || view->currentIndex().row() != logicalIndex)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    const QPointF c = QRectF(rect).center();
    const QPointF tri[] = {{c.x() - 2.5, c.y() - 4.5}, {c.x() + 2.5, c.y()}, {c.x() - 2.5, c.y() + 4.5}};
    painter->drawPolygon(tri, 3);
    painter->restore();
}

// ---- the grid ----

TTaskGrid::TTaskGrid(QWidget *parent) : QTableView(parent)
{
    setVerticalHeader(new TRowIndicator(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setMouseTracking(true);
    setWordWrap(false);
    setShowGrid(true);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Rows of one height, fixed: a view over 100,000 rows needs no per-row measuring.
    const int h = std::max(fontMetrics().height() + 4, PictureSize + 2);
    verticalHeader()->setMinimumSectionSize(h);
    verticalHeader()->setDefaultSectionSize(h);
}

void TTaskGrid::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) {
        Q_EMIT ToggleKey();
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

void TTaskGrid::mouseMoveEvent(QMouseEvent *e)
{
    QTableView::mouseMoveEvent(e);
    Q_EMIT MouseMoved(e->position().toPoint());
}

// ---- the window ----

TfmTaskForm::TfmTaskForm(TdmTask *task, QWidget *parent)
    : QMainWindow(parent), Run(new TTaskRun(task, this)), Hint(new TBHint(this)), FTask(task)
{
    setWindowTitle(QStringLiteral("Настройка входной формы клиент банка"));
    BHint = Hint;

    const auto action = [this](const QString &caption, const QString &hint, TButtonImage image) {
        auto *a = new QAction(ButtonIcon(image), caption, this);
        a->setToolTip(hint);
        a->setStatusTip(hint);
        return a;
    };
    actRun =
        action(QStringLiteral("Запись"), QStringLiteral("Запись экземпляров в ВЕЛЬМ"), TButtonImage::Run);
    actIncAll =
        action(QStringLiteral("Выделить"), QStringLiteral("Выделить все документы"), TButtonImage::IncAll);
    actClearAll = action(QStringLiteral("Очистить"), QStringLiteral("Снять выделение со всех документов"),
                         TButtonImage::ClearAll);
    actClearAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    actInverse = action(QStringLiteral("Инверсия"), QStringLiteral("Инвертировать выделенные документы"),
                        TButtonImage::Inverse);
    actClose = action(QStringLiteral("Выход"), QStringLiteral("Выход из задачи"), TButtonImage::Close);
    connect(actRun, &QAction::triggered, this, &TfmTaskForm::actRunExecute);
    connect(actIncAll, &QAction::triggered, this, &TfmTaskForm::actIncAllExecute);
    connect(actClearAll, &QAction::triggered, this, &TfmTaskForm::actClearAllExecute);
    connect(actInverse, &QAction::triggered, this, &TfmTaskForm::actInverseExecute);
    connect(actClose, &QAction::triggered, this, &TfmTaskForm::actCloseExecute);

    mnActions = menuBar()->addMenu(QStringLiteral("Действия"));
    mnActions->addAction(actRun);
    mnActions->addSeparator();
    mnActions->addAction(actIncAll);
    mnActions->addAction(actClearAll);
    mnActions->addAction(actInverse);
    mnActions->addSeparator();
    mnActions->addAction(actClose);

    tbButtons = new QToolBar(QStringLiteral("Команды"), this);
    tbButtons->setMovable(false);
    tbButtons->setFloatable(false);
    tbButtons->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tbButtons->setIconSize(QSize(24, 24));
    tbButtons->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    for (QAction *a : {actRun, actIncAll, actClearAll, actInverse, actClose}) {
        auto *b = new QToolButton(tbButtons);
        b->setDefaultAction(a);
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setFixedSize(65, 50);
        b->setAccessibleName(a->text());
        tbButtons->addWidget(b);
    }
    addToolBar(Qt::TopToolBarArea, tbButtons);

    auto *central = new QWidget(this);
    auto *l = new QVBoxLayout(central);
    l->setContentsMargins(4, 2, 4, 4);
    chCloseDoc = new QCheckBox(QStringLiteral("Закрывать незакрытые документы без подтверждения"), central);
    l->addWidget(chCloseDoc);
    gbMain = new QGroupBox(QStringLiteral("Поля dbf файла"), central);
    auto *gl = new QVBoxLayout(gbMain);
    gl->setContentsMargins(4, 4, 4, 4);
    dbgEx = new TTaskGrid(gbMain);
    Delegate = new TTaskGridDelegate(task, dbgEx);
    dbgEx->setItemDelegate(Delegate);
    dbgEx->setModel(task->dsTask);
    gl->addWidget(dbgEx);
    l->addWidget(gbMain, 1);
    setCentralWidget(central);

    mnGrid = new QMenu(dbgEx);
    mnGrid->addAction(actIncAll);
    mnGrid->addAction(actClearAll);
    mnGrid->addAction(actInverse);
    dbgEx->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbgEx, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { mnGrid->popup(dbgEx->viewport()->mapToGlobal(pos)); });

    connect(dbgEx, &QAbstractItemView::clicked, this, &TfmTaskForm::dbgExCellClick);
    connect(dbgEx, &TTaskGrid::ToggleKey, this, [this] {
        const QModelIndex current = dbgEx->currentIndex();
        if (current.isValid() && current.column() == TdmTask::tfInclude)
            ToggleInclude(current.row());
    });
    connect(dbgEx, &TTaskGrid::MouseMoved, this, &TfmTaskForm::dbgExMouseMove);
    connect(dbgEx->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { GridCurrentChanged(current); });
    connect(dbgEx->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int field, int, int size) {
        if (FSyncing)
            return;
        for (const TGridColumn &c : FTask->dsTask->Columns())
            if (c.Field == field) {
                if (TGridColumn *bound = FTask->dsTask->ColumnById(c.Id))
                    bound->Width = size;
                break;
            }
    });
    connect(task->dsTask, &TTaskDataSource::ColumnsChanged, this, &TfmTaskForm::ApplyColumns);
    connect(task->dsTask, &QAbstractItemModel::modelReset, this, &TfmTaskForm::ApplyColumns);
    connect(task->dsTask, &TMemTableModel::CurrentRowChanged, this, &TfmTaskForm::TableRowChanged);
    connect(task->dsTask, &TTaskDataSource::SelectedColumnChanged, this, &TfmTaskForm::SelectedColumnChanged);
    connect(Run, &TTaskRun::RunEnabledChanged, actRun, &QAction::setEnabled);
    actRun->setEnabled(Run->RunEnabled());

    GiveAccessibleNames(this);
    dbgEx->setAccessibleName(gbMain->title());
    resize(726, 403);
    QSettings placement(SettingsOrg, SettingsApp);
    restoreGeometry(placement.value(QStringLiteral("Forms/TaskForm/Geometry")).toByteArray());
    ApplyColumns();
}

TfmTaskForm::~TfmTaskForm()
{
    if (fmTaskForm == this)
        fmTaskForm = nullptr;
}

void TfmTaskForm::SetFrameCaption(const QString &caption)
{
    gbMain->setTitle(caption);
    gbMain->setAccessibleName(caption);
    dbgEx->setAccessibleName(caption);
}

QString TfmTaskForm::ImportCaption(int rows, int otherDirection, int faulty, bool complete)
{
    QString caption = QStringLiteral("Промежуточная таблица: %1 документов").arg(rows);
    QStringList aside;
    if (otherDirection)
        aside << QStringLiteral("%1 другого направления").arg(otherDirection);
    if (faulty)
        aside << QStringLiteral("%1 с ошибками").arg(faulty);
    if (!aside.isEmpty())
        caption += QStringLiteral("; оставлено в стороне: ") + aside.join(QStringLiteral(", "));
    if (!complete)
        caption += QStringLiteral(" (импорт не завершён)");
    return caption;
}

void TfmTaskForm::ApplyColumns()
{
    // The grid column list of the data source: order, widths, hidden columns, alignment.
    QHeaderView *h = dbgEx->horizontalHeader();
    const int count = FTask->dsTask->columnCount();
    if (h->count() != count)
        return;
    FSyncing = true;
    const QList<TGridColumn> &columns = FTask->dsTask->Columns();
    int position = 0;
    for (const TGridColumn &c : columns) {
        if (c.Field < 0 || c.Field >= count)
            continue;
        const int from = h->visualIndex(c.Field);
        if (from != position)
            h->moveSection(from, position);
        ++position;
        h->resizeSection(c.Field, c.Width);
        h->setSectionHidden(c.Field, !c.Visible);
    }
    FSyncing = false;
}

int TfmTaskForm::GridColumnOf(int field) const
{
    // Counted as the grid counts them: the row indicator is 0, hidden columns are not there.
    const QHeaderView *h = dbgEx->horizontalHeader();
    if (field < 0 || field >= h->count() || h->isSectionHidden(field))
        return 0;
    int col = 1;
    for (int v = 0; v < h->visualIndex(field); ++v)
        if (!h->isSectionHidden(h->logicalIndex(v)))
            ++col;
    return col;
}

void TfmTaskForm::TableRowChanged(int row)
{
    // The table's cursor moved (the run walks it): the grid follows.
    if (FSyncing || row < 0)
        return;
    const QModelIndex current = dbgEx->currentIndex();
    if (current.isValid() && current.row() == row)
        return;
    int column = current.isValid() ? current.column() : -1;
    if (column < 0) {
        const QHeaderView *h = dbgEx->horizontalHeader();
        for (int v = 0; v < h->count() && column < 0; ++v)
            if (!h->isSectionHidden(h->logicalIndex(v)))
                column = h->logicalIndex(v);
    }
    FSyncing = true;
    dbgEx->setCurrentIndex(FTask->dsTask->index(row, std::max(column, 0)));
    FSyncing = false;
    dbgEx->verticalHeader()->viewport()->update();
}

void TfmTaskForm::GridCurrentChanged(const QModelIndex &current)
{
    dbgEx->verticalHeader()->viewport()->update();
    // While the run walks the table, a click in the grid must not move the walk's cursor.
    if (FSyncing || FRunning || !current.isValid())
        return;
    TMemTable *t = FTask->tbTask;
    if (!t->Active() || current.row() == t->CurrentRow())
        return;
    FSyncing = true;
    FTask->Set.Link.RunReported([&] { t->SetRecNo(current.row() + 1); });
    FSyncing = false;
}

void TfmTaskForm::SelectedColumnChanged(int id)
{
    const TGridColumn *c = nullptr;
    for (const TGridColumn &column : FTask->dsTask->Columns())
        if (column.Id == id)
            c = &column;
    if (!c || c->Field < 0)
        return;
    const int row = std::max(FTask->tbTask->CurrentRow(), 0);
    FSyncing = true;
    dbgEx->setCurrentIndex(FTask->dsTask->index(row, c->Field));
    FSyncing = false;
}

void TfmTaskForm::ToggleInclude(int row)
{
    TMemTable *t = FTask->tbTask;
    if (FRunning || !t->Active() || row < 0 || row >= t->RecordCount()
        || TdmTask::tfInclude >= t->FieldCount() || t->IsNullAt(row, TdmTask::tfInclude))
        return;
    try {
        t->SetRecNo(row + 1);
        t->Edit();
        t->SetAsBoolean(TdmTask::tfInclude, !t->AsBoolean(TdmTask::tfInclude));
        t->Post();
    } catch (const std::exception &e) {
        if (t->State() != TMemTableState::Browse)
            t->Cancel();
        FTask->Set.Link.StandardErrorReport(FailureText(e));
    }
}

void TfmTaskForm::dbgExCellClick(const QModelIndex &index)
{
    if (index.isValid() && index.column() == TdmTask::tfInclude)
        ToggleInclude(index.row());
}

void TfmTaskForm::SetIncludeAll(TIncludeAll how)
{
    TMemTable *t = FTask->tbTask;
    if (FRunning || !t->Active() || t->IsEmpty() || TdmTask::tfInclude >= t->FieldCount())
        return;
    // One reset of the view at the end instead of a signal per row; the cursor, the current
    // column and the scrolled position come back as they were.
    const TBookmark remembered = t->GetBookmark();
    const int column = dbgEx->currentIndex().column();
    const int vertical = dbgEx->verticalScrollBar()->value();
    const int horizontal = dbgEx->horizontalScrollBar()->value();
    dbgEx->setUpdatesEnabled(false);
    t->DisableControls();
    try {
        for (t->First(); !t->Eof(); t->Next()) {
            t->Edit();
            const bool value = how == TIncludeAll::All    ? true
                               : how == TIncludeAll::None ? false
                                                          : !t->AsBoolean(TdmTask::tfInclude);
            t->SetAsBoolean(TdmTask::tfInclude, value);
            t->Post();
        }
    } catch (const std::exception &e) {
        if (t->State() != TMemTableState::Browse)
            t->Cancel();
        FTask->Set.Link.StandardErrorReport(FailureText(e));
    }
    t->GotoBookmark(remembered);
    FSyncing = true; // the table stands where it stood; only the view is to follow
    t->EnableControls();
    FSyncing = false;
    if (t->CurrentRow() >= 0)
        dbgEx->setCurrentIndex(FTask->dsTask->index(t->CurrentRow(), std::max(column, 0)));
    dbgEx->verticalScrollBar()->setValue(vertical);
    dbgEx->horizontalScrollBar()->setValue(horizontal);
    dbgEx->setUpdatesEnabled(true);
}

void TfmTaskForm::actIncAllExecute() { SetIncludeAll(TIncludeAll::All); }
void TfmTaskForm::actClearAllExecute() { SetIncludeAll(TIncludeAll::None); }
void TfmTaskForm::actInverseExecute() { SetIncludeAll(TIncludeAll::Invert); }

void TfmTaskForm::SetCommandsEnabled(bool enabled)
{
    for (QAction *a : {actIncAll, actClearAll, actInverse, actClose})
        a->setEnabled(enabled);
    chCloseDoc->setEnabled(enabled);
}

void TfmTaskForm::actRunExecute()
{
    if (FRunning || !Run->RunEnabled())
        return;
    FRunning = true;
    SetCommandsEnabled(false);
    Run->CloseDoc = chCloseDoc->isChecked();
    Run->actRunExecute();
    FRunning = false;
    SetCommandsEnabled(true);
    // The run ends silently when a call fails; the operator is told here, once, and the rows
    // done keep their results.
    if (!Run->RunFailure.isEmpty())
        FTask->Set.Link.StandardErrorReport(Run->RunFailure);
}

void TfmTaskForm::dbgExMouseMove(const QPoint &pos)
{
    const QModelIndex index = dbgEx->indexAt(pos);
    if (!index.isValid())
        return;
    const int col = GridColumnOf(index.column());
    const int row = index.row() + 1;
    if (row <= 0 || col < 2)
        return;
    // The hint shows the values of the import: the copy taken then, at the row under the mouse.
    const TMemTable *copy = FTask->tbTask2;
    QString text;
    if (copy->Active() && index.row() < copy->RecordCount() && index.column() < copy->FieldCount())
        text = FromWin1251(copy->StringAt(index.row(), index.column()));
    QString hint;
    if (!text.isEmpty()
        && dbgEx->fontMetrics().horizontalAdvance(text) + 2
               > dbgEx->horizontalHeader()->sectionSize(index.column()))
        hint = text;
    // The viewport carries the hint: its tool tips go through the delegate, which leaves them
    // to the cell hint.
    dbgEx->viewport()->setToolTip(hint);
    Hint->ActivateHint(dbgEx->viewport(), col, row);
}

void TfmTaskForm::LoadTaskOptions(int task, qint32 user)
{
    QSettings s(SettingsOrg, SettingsApp);
    s.beginGroup(OptionsGroup(user, task));
    Run->Surname = ToWin1251(s.value(QStringLiteral("familia"), QString()).toString());
    if (task == 1 || task == 2)
        chCloseDoc->setChecked(s.value(QStringLiteral("closedoc"), false).toBool());
    // The widths the operator gave the columns, by column name.
    const QStringList widths = s.value(QStringLiteral("Columns")).toStringList();
    s.endGroup();
    if (s.status() != QSettings::NoError) {
        FTask->Set.Link.StandardErrorReport(
            ToWin1251(QStringLiteral("Не удалось прочитать параметры задачи из %1").arg(s.fileName())));
        return;
    }
    TTaskDataSource *ds = FTask->dsTask;
    bool changed = false;
    for (const QString &item : widths) {
        const QString name = item.section(QLatin1Char('='), 0, 0);
        bool ok = false;
        const int width = item.section(QLatin1Char('='), 1).toInt(&ok);
        const int field = FTask->tbTask->FieldIndex(name);
        if (!ok || field < 0 || width <= 0)
            continue;
        for (const TGridColumn &c : ds->Columns())
            if (c.Field == field) {
                ds->ColumnById(c.Id)->Width = std::min(width, 2000);
                changed = true;
            }
    }
    if (changed)
        ApplyColumns();
}

void TfmTaskForm::SaveTaskOptions(qint64 taskId, qint32 user)
{
    QSettings s(SettingsOrg, SettingsApp);
    s.beginGroup(OptionsGroup(user, taskId));
    if (!Run->Surname.isEmpty())
        s.setValue(QStringLiteral("familia"), FromWin1251(Run->Surname));
    if (taskId == 1 || taskId == 2)
        s.setValue(QStringLiteral("closedoc"), chCloseDoc->isChecked());
    QStringList widths;
    const QHeaderView *h = dbgEx->horizontalHeader();
    const TMemTable *t = FTask->tbTask;
    for (int v = 0; v < h->count(); ++v) {
        const int field = h->logicalIndex(v);
        if (!h->isSectionHidden(field) && field < t->FieldCount())
            widths << QStringLiteral("%1=%2").arg(t->FieldDef(field).Name).arg(h->sectionSize(field));
    }
    if (!widths.isEmpty())
        s.setValue(QStringLiteral("Columns"), widths);
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError)
        FTask->Set.Link.StandardErrorReport(
            ToWin1251(QStringLiteral("Не удалось сохранить параметры задачи в %1").arg(s.fileName())));
}

void TfmTaskForm::actCloseExecute()
{
    if (FRunning)
        return;
    SaveTaskOptions(FTask->Set.tbTasks->AsInteger(TdmSet::tkId), FTask->Set.Link.UserNumber);
    close();
}

void TfmTaskForm::closeEvent(QCloseEvent *e)
{
    if (FRunning) { // the run walks the table: it is stopped with Esc, not by closing under it
        e->ignore();
        return;
    }
    Hint->ActivateHint(nullptr, 0, 0);
    dbgEx->viewport()->setToolTip(QString());
    QSettings placement(SettingsOrg, SettingsApp);
    placement.setValue(QStringLiteral("Forms/TaskForm/Geometry"), saveGeometry());
    if (FTask->Set.tbSet->Active())
        FTask->Set.tbSet->EmptyTable();
    e->accept();
    if (MainWindow)
        MainWindow->show();
}

namespace {
// The dialogs belong to the main window and may go with it before FreeTaskWindows runs.
QPointer<QDialog> OwnedClients, OwnedPass, OwnedTaskPar;
} // namespace

void CreateTaskWindows(QWidget *mainWindow)
{
    if (fmTaskForm || !dmTask)
        return;
    OwnedClients = fmClients = new TfmClients(mainWindow);
    OwnedPass = fmPass = new TfmPass(mainWindow);
    OwnedTaskPar = fmTaskPar = new TfmTaskPar(mainWindow);
    fmTaskForm = new TfmTaskForm(dmTask);
    if (mainWindow)
        QObject::connect(mainWindow, &QObject::destroyed, [] { FreeTaskWindows(); });
}

void FreeTaskWindows()
{
    delete fmTaskForm;
    fmTaskForm = nullptr;
    delete OwnedTaskPar.data();
    delete OwnedPass.data();
    delete OwnedClients.data();
    fmTaskPar = nullptr;
    fmPass = nullptr;
    fmClients = nullptr;
}

} // namespace velmbank
