#include "app/recent_files.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

namespace lumarq {
namespace {

const QString kRecentKey = QStringLiteral("RecentFiles");

QSettings UserSettings() { return QSettings(QStringLiteral("Lumarq"), QStringLiteral("Lumarq")); }

// Whatever the file holds under the key, only non-empty names survive.
QStringList Cleaned(const QStringList& names) {
    QStringList kept;
    for (const QString& name : names)
        if (!name.isEmpty() && !kept.contains(name) && kept.size() < kRecentFilesKept) kept << name;
    return kept;
}

}  // namespace

QStringList RecentFiles() { return Cleaned(UserSettings().value(kRecentKey).toStringList()); }

void AddRecentFile(const QString& fileName) {
    if (fileName.isEmpty()) return;
    QStringList names = RecentFiles();
    const QString name = QFileInfo(fileName).absoluteFilePath();
    names.removeAll(name);
    names.prepend(name);
    UserSettings().setValue(kRecentKey, Cleaned(names));
}

void ClearRecentFiles() { UserSettings().remove(kRecentKey); }

QString RememberedFolder(const QString& kind) {
    return UserSettings().value(QStringLiteral("Folders/") + kind).toString();
}

void RememberFolder(const QString& kind, const QString& folder) {
    UserSettings().setValue(QStringLiteral("Folders/") + kind, folder);
}

}  // namespace lumarq
