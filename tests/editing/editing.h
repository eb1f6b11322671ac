#pragma once
// What the settings-editing tests do as the operator does: type into a cell of the editor's
// grid or pick from its list, walk the wizard to its method page.

#include "GuiDriver.h"
#include "codepage.h"
#include "data.h"
#include "inform.h"
#include "memtablemodel.h"
#include "new.h"
#include "setparams.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>

#include <gtest/gtest.h>

using namespace velmbank;

// Enters the cell (its editor opens, as the grid always shows one), types or picks text there
// and leaves the cell, which takes the text into the row.
inline void EnterCell(TfmInform *f, int row, int field, const QString &text)
{
    const QModelIndex index = f->dsSet->index(row, field);
    f->rdbIn->setCurrentIndex(index);
    if (!f->rdbIn->IsEditing())
        f->rdbIn->edit(index);
    QWidget *editor = f->Delegate->OpenEditor();
    ASSERT_NE(editor, nullptr);
    if (auto *c = qobject_cast<QComboBox *>(editor)) {
        const int at = c->findText(text, Qt::MatchExactly);
        if (at >= 0)
            c->setCurrentIndex(at); // picked from the list
        else
            c->setEditText(text); // typed
    } else if (auto *e = qobject_cast<QLineEdit *>(editor)) {
        e->setText(text);
    }
    f->rdbIn->EndEdit();
}

inline QList<QByteArray> Values(const TMemTable *t, int field)
{
    QList<QByteArray> out;
    for (int r = 0; r < t->RecordCount(); ++r)
        out << t->StringAt(r, field);
    return out;
}

inline QStringList MenuCaptions(const QMenu *m)
{
    QStringList out;
    for (const QAction *a : m->actions())
        out << a->text();
    return out;
}

// From the task page to the method page: the task item, then the name.
inline void WizardToMethods(int taskItem, const QString &name)
{
    fmNew->liTask->setCurrentRow(taskItem);
    ClickButton(fmNew, QStringLiteral("Далее"));
    fmNew->edName->setText(name);
    ClickButton(fmNew, QStringLiteral("Далее"));
    ASSERT_EQ(fmNew->pcPages->currentWidget(), fmNew->tsNS);
}
