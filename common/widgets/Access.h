#pragma once
// Screen readers and automation find controls by their visible texts: every control of a
// window gets its caption (or its label's, for an edit) as its accessible name.

#include <QString>

class QWidget;

// Names every control under root that has no accessible name yet: buttons and check boxes by
// their caption (without the "&" mnemonic), edits and combo boxes by their buddy label's text,
// group boxes by their title, labels by their text. Call it after a window is built.
void GiveAccessibleNames(QWidget *root);

// The caption without its mnemonic marker.
QString PlainCaption(const QString &caption);

// The first visible control under root whose accessible name is name.
QWidget *FindByAccessibleName(QWidget *root, const QString &name);
