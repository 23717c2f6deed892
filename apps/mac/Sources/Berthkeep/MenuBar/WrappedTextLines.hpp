#pragma once

#include <QFont>
#include <QMargins>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace berthkeep {

// `text` wrapped at word boundaries (anywhere when a word is too long) to
// `width`, each line trimmed. With a limit (maxLines > 0) the last allowed line
// takes whatever is left, elided at its end. The menu's and the settings
// window's text views both draw these lines.
QStringList wrappedTextLines(const QString& text, const QFont& font, qreal width, int maxLines);

// The height of that many lines (one at least) in `font`, with the margins.
int wrappedTextHeight(qsizetype lineCount, const QFont& font, const QMargins& margins);

// Draws the lines one under the other from the top left of `area`, in the
// painter's pen.
void drawWrappedLines(QPainter& painter, const QStringList& lines, const QFont& font,
                      const QRectF& area);

} // namespace berthkeep
