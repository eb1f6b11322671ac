#pragma once
// String helpers on byte strings, the way every server reply and stored list is read.

#include <QByteArray>

// The n-th piece (from 1) of text split at sep; n <= 1 gives the text before the first sep.
// Empty when the text has fewer than n - 1 separators.
QByteArray Piece(const QByteArray &text, char sep, int n);

// How many times ch occurs in text.
int CountChar(const QByteArray &text, char ch);

// True when any byte is above 0x7F.
bool HasHighChars(const QByteArray &text);

// M's $TRANSLATE: each byte found in from (at its first position p) becomes to[p], or is
// removed when to is shorter; other bytes stay in order.
QByteArray TranslateChars(const QByteArray &text, const QByteArray &from, const QByteArray &to);
