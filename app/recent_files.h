// What the program keeps between runs in the user's settings (organisation and
// application "Lumarq"): the files last opened or saved and the dialogs' folders.
// A settings file that cannot be read or written only means nothing is kept.
#pragma once

#include <QString>
#include <QStringList>

namespace lumarq {

// How many recent files are kept.
inline constexpr int kRecentFilesKept = 8;

// The recent files, newest first, at most kRecentFilesKept, no duplicates.
QStringList RecentFiles();
// Puts fileName (made absolute) first, dropping an older entry of the same file.
void AddRecentFile(const QString& fileName);
void ClearRecentFiles();

// The folder last chosen in the dialogs of one kind ("Open", "Save", ...).
QString RememberedFolder(const QString& kind);
void RememberFolder(const QString& kind, const QString& folder);

}  // namespace lumarq
