#pragma once

#include <QString>

// The text with every control character written as a visible escape ("\n", "\r", "\t", "\xHH";
// the Unicode line and paragraph separators as "\u2028", "\u2029"), so that a file name can
// never end or forge a line of a report, a summary or a log. Other text, backslashes included,
// is kept as it is.
QString VisibleText(const QString &text);

// A file name's bytes as text: each run that the local encoding reads and writes back to the
// same bytes is decoded, every other byte is written as "\xHH".
QString VisibleLocalName(const QByteArray &bytes);
