#pragma once

#include <QString>

// Titles the main window makes from text.
namespace MainText {

// Paste as sibling / child: leading spaces dropped, cut before the first line break,
// the fallback when nothing is left, at most 255 characters followed by "...".
QString TitleFromClipboardText(const QString &text, const QString &fallback);

// To Note caption: line breaks become spaces, spaces at both ends go, the first
// character is upper-cased. Empty when nothing is left.
QString TitleFromSelection(const QString &selection);

// The tray icon's tip for a window caption: the part before the first "|", at most
// 63 characters (a character outside the BMP is never split).
QString TrayTip(const QString &caption);

} // namespace MainText
