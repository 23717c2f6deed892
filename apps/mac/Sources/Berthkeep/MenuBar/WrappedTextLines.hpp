#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace berthkeep {

// `text` wrapped at word boundaries (anywhere when a word is too long) to
// `width`, each line trimmed. With a limit (maxLines > 0) the last allowed line
// takes whatever is left, elided at its end. The menu's and the settings
// window's text views both draw these lines.
QStringList wrappedTextLines(const QString& text, const QFont& font, qreal width, int maxLines);

} // namespace berthkeep
