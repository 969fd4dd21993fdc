#include "app/desktop_habits.h"

#include <QApplication>
#include <QCursor>
#include <QDropEvent>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>
#include <QUrl>

#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/image_clipboard.h"
#include "app/picture.h"
#include "app/presets.h"
#include "app/recent_files.h"
#include "platform/qt/file_dialog.h"
#include "settings/render_settings.h"

namespace lumarq {
namespace {

// Shortcuts reach their command from whichever of the program's windows is active.
void SetKey(QAction* action, const QKeySequence& key) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::ApplicationShortcut);
}

// A frame over a slider while it has the keyboard focus: the scroll bars draw none,
// and the arrow keys' target would not show.
class FocusMark : public QWidget {
public:
    explicit FocusMark(QWidget* slider) : QWidget(slider) {
        setObjectName(QStringLiteral("FocusMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        setGeometry(slider->rect());
        setVisible(slider->hasFocus());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
};

}  // namespace

DesktopHabits::DesktopHabits(Picture& picture, TForm1* imageWindow, TForm4* panel)
    : imageWindow_(imageWindow), panel_(panel) {
    SetKey(panel->Open1, QKeySequence(Qt::CTRL | Qt::Key_O));
    SetKey(panel->Save1, QKeySequence(Qt::CTRL | Qt::Key_S));
    SetKey(panel->SaveAs1, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    SetKey(panel->Exit1, QKeySequence(Qt::CTRL | Qt::Key_Q));
    SetKey(panel->Help1, QKeySequence(Qt::Key_F1));

    auto newAction = [this](const QString& text, const QKeySequence& key, auto handler) {
        auto* action = new QAction(text, this);
        if (!key.isEmpty()) SetKey(action, key);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    CopyImage = newAction(QStringLiteral("Copy Image"), QKeySequence(Qt::CTRL | Qt::Key_C),
                          [&picture] { CopyImageToClipboard(picture); });
    PasteImage = newAction(QStringLiteral("Paste Image"), QKeySequence(Qt::CTRL | Qt::Key_V), [this] {
        if (imageWindow_) PasteImageFromClipboard(*imageWindow_);
    });
    SaveSettings = newAction(QStringLiteral("Save Settings..."), {}, [this] {
        if (panel_) SaveSettingsClick(*panel_);
    });
    LoadSettings = newAction(QStringLiteral("Load Settings..."), {}, [this] {
        if (panel_) LoadSettingsClick(*panel_);
    });
    CopyAsCommand = newAction(QStringLiteral("Copy as Command"), {}, [&picture] { CopyAsCommandClick(picture); });
    ResetKey = newAction(QStringLiteral("Reset"), QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
        if (panel_) panel_->Button1Click();
    });
    MemoryKey = newAction(QStringLiteral("Memory A<>B"), QKeySequence(Qt::CTRL | Qt::Key_M), [this] {
        if (panel_) panel_->Button2Click();
    });
    // The buttons are no menu items: their keys live on the panel and show in their tool tips.
    panel->addAction(ResetKey);
    panel->addAction(MemoryKey);
    panel->Button1->setToolTip(QStringLiteral("Reset (%1)").arg(ResetKey->shortcut().toString(QKeySequence::NativeText)));
    panel->Button2->setToolTip(
        QStringLiteral("Memory A<>B (%1)").arg(MemoryKey->shortcut().toString(QKeySequence::NativeText)));

    // File: Open, Open Recent, Save, SaveAs, then the new groups, then the rest as it was.
    OpenRecent = new QMenu(QStringLiteral("Open Recent"), panel);
    panel->File1->insertMenu(panel->Save1, OpenRecent);
    connect(OpenRecent, &QMenu::aboutToShow, this, &DesktopHabits::FillOpenRecent);
    connect(panel->File1, &QMenu::aboutToShow, this,
            [this] { OpenRecent->menuAction()->setEnabled(!RecentFiles().isEmpty()); });
    const QList<QAction*> items = panel->File1->actions();
    QAction* afterSaveAs = items.value(items.indexOf(panel->SaveAs1) + 1);
    panel->File1->insertSeparator(afterSaveAs);
    panel->File1->insertActions(afterSaveAs, {CopyImage, PasteImage});
    panel->File1->insertSeparator(afterSaveAs);
    panel->File1->insertActions(afterSaveAs, {SaveSettings, LoadSettings, CopyAsCommand});

    connect(imageWindow, &TForm1::FileOpened, this, &AddRecentFile);
    connect(&picture, &Picture::Saved, this, &AddRecentFile);
    platform::SetFolderMemory({&RememberedFolder, &RememberFolder});

    for (QWidget* window : {static_cast<QWidget*>(imageWindow), static_cast<QWidget*>(panel)}) {
        window->setAcceptDrops(true);
        window->installEventFilter(this);
    }
    const std::array<QScrollBar*, 8> bars = panel->ScrollBars();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        bars[i]->installEventFilter(this);
        new FocusMark(bars[i]);
        connect(bars[i], &QScrollBar::valueChanged, this, [this, i] { ShowSliderValue(static_cast<int>(i)); });
    }
}

DesktopHabits::~DesktopHabits() {
    platform::SetFolderMemory({});
    delete OpenRecent.data();
}

QString DesktopHabits::DroppedFile(const QMimeData* data) {
    if (!data) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) return QFileInfo(url.toLocalFile()).absoluteFilePath();
    return {};
}

QString DesktopHabits::SliderValueText(int slider, int value) {
    if (slider < 0 || slider >= static_cast<int>(kSettings.size())) return {};
    QString text = QStringLiteral("%1 %2").arg(QLatin1String(kSettings[static_cast<std::size_t>(slider)].label)).arg(value);
    if (slider == 7) text += QChar(0x00B0);  // degrees
    return text;
}

void DesktopHabits::ShowSliderValue(int slider) {
    if (!panel_) return;
    QScrollBar* bar = panel_->ScrollBars()[static_cast<std::size_t>(slider)];
    // While the thumb is dragged, or the tip is already up under the mouse, it follows the value.
    if (bar->isSliderDown() || (bar->underMouse() && QToolTip::isVisible()))
        QToolTip::showText(QCursor::pos(), SliderValueText(slider, bar->value()), bar);
}

void DesktopHabits::FillOpenRecent() {
    OpenRecent->clear();
    for (const QString& name : RecentFiles()) {
        QString text = QFileInfo(name).filePath();
        QAction* item = OpenRecent->addAction(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setEnabled(QFileInfo::exists(name));  // a file since moved or deleted shows greyed
        connect(item, &QAction::triggered, this, [this, name] {
            if (imageWindow_) imageWindow_->OpenNamedFile(name);
        });
    }
    OpenRecent->addSeparator();
    QAction* clear = OpenRecent->addAction(QStringLiteral("Clear Recent"));
    connect(clear, &QAction::triggered, this, [] { ClearRecentFiles(); });
}

bool DesktopHabits::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            // Copied, never moved: the program only reads the file. Nothing opens
            // while a dialog or a message waits for an answer.
            if (!DroppedFile(drag->mimeData()).isEmpty() && (drag->possibleActions() & Qt::CopyAction) &&
                !QApplication::activeModalWidget()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QString file = DroppedFile(drop->mimeData());
            if (file.isEmpty() || !(drop->possibleActions() & Qt::CopyAction) || !imageWindow_ ||
                QApplication::activeModalWidget()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // Opened once the drop is over, so that the source is not kept waiting by
            // the load or by a message about it.
            QMetaObject::invokeMethod(
                imageWindow_,
                [window = imageWindow_, file] {
                    if (!QApplication::activeModalWidget()) window->OpenNamedFile(file);
                },
                Qt::QueuedConnection);
            return true;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Resize:
            if (auto* slider = qobject_cast<QScrollBar*>(watched))
                if (auto* mark = slider->findChild<QWidget*>(QStringLiteral("FocusMark"), Qt::FindDirectChildrenOnly)) {
                    mark->setGeometry(slider->rect());
                    mark->setVisible(slider->hasFocus());
                }
            break;
        case QEvent::ToolTip: {
            const auto bars = panel_ ? panel_->ScrollBars() : std::array<QScrollBar*, 8>{};
            for (std::size_t i = 0; i < bars.size(); ++i)
                if (watched == bars[i]) {
                    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                                       SliderValueText(static_cast<int>(i), bars[i]->value()), bars[i]);
                    return true;
                }
            break;
        }
        default: break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace lumarq
