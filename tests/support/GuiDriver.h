#pragma once
// Helpers for window tests: answer a modal dialog that a handler opens, and save what the
// operator sees as a PNG when VELM_SCREENS_DIR is set (scripts/screens.sh fills docs/screens).

#include <QString>

#include <functional>

class QWidget;

// Runs act on the next modal dialog that becomes active (polled from the event loop), e.g. to
// read its texts and press a button. Fails the test if none appears within timeoutMs.
void WhenModal(const std::function<void(QWidget *)> &act, int timeoutMs = 5000);

// Saves widget->grab() as VELM_SCREENS_DIR/name.png; does nothing when the variable is unset.
void SaveScreen(QWidget *widget, const QString &name);

// Clicks the visible button under root whose caption (or accessible name) is text; fails the
// test when there is none.
void ClickButton(QWidget *root, const QString &text);
