#include "app/unsaved_work.h"

#include <QFileInfo>

#include "app/dialogs.h"
#include "app/picture.h"
#include "platform/qt/message_box.h"

namespace lumarq {

bool SavePicture(Picture& picture, QWidget* dialogOwner, bool askForName) {
    if (!picture.WorkRaster) return false;
    // A pasted image has no file yet: Save asks for one.
    if (askForName || picture.CurrentFileName.isEmpty()) {
        std::optional<QString> chosen = RunSaveDialog1(dialogOwner, picture.CurrentFileName);
        if (!chosen) return false;
        picture.CurrentFileName = *chosen;
    }
    const SaveResult result = picture.Save();
    if (!result) ReportError(QString::fromLocal8Bit(result.error.c_str()), picture.CurrentFileName);
    return result.ok;
}

bool MayDropPicture(Picture& picture, QWidget* dialogOwner) {
    if (!picture.Modified()) return true;
    const QString name = picture.CurrentFileName.isEmpty()
                             ? QStringLiteral("the pasted image")
                             : QStringLiteral("\"%1\"").arg(QFileInfo(picture.CurrentFileName).fileName());
    const int answer = platform::AskToSaveChanges(
        QStringLiteral("Do you want to save the changes to %1?\n\nYour changes will be lost if you don't save them.")
            .arg(name),
        QStringLiteral("Lumarq"));
    if (answer == platform::IDNO) return true;
    if (answer != platform::IDYES) return false;
    return SavePicture(picture, dialogOwner, false);
}

}  // namespace lumarq
