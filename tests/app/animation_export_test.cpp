// Motion in the windows, as a user reaches for it: File > Export Animation... with
// its dialog, the progress and its Cancel, Copy as Command, and the Play preview
// that any slider move stops.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/animation_export.h"
#include "app/app_test_util.h"
#include "raster/render.h"
#include "settings/sweep.h"

namespace {

QAction* FileItem(const QString& text) {
    for (QAction* item : Form4->File1->actions())
        if (item->text() == text) return item;
    return nullptr;
}

// Runs `answer` on the next modal window of type T once it is up.
template <typename T>
void WhenShown(std::function<void(T*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            answer(window);
        }
    });
    poll->start(5);
}

QPushButton* Button(lumarq::ExportAnimationDialog* dialog, const QString& text) {
    for (QAbstractButton* button : dialog->ButtonBox->buttons())
        if (button->text() == text) return qobject_cast<QPushButton*>(button);
    return nullptr;
}

}  // namespace

class AnimationExportTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Seams> seams;
    std::unique_ptr<lumarq::Windows> windows;
    QString source;

    // Memory holds X 0 at angle 0; the sliders stand at X -40, angle 30, pattern 48.
    void StartWithASweep() {
        source = dir.filePath(QStringLiteral("photo.bmp"));
        WriteTestBitmap(source, 160, 130);  // smaller ones are refused
        windows = std::make_unique<lumarq::Windows>(QStringList{source});
        QVERIFY(StartProgram());
        Form4->Button1Click();  // Reset: Memory holds the start-up look
        Form4->ScrollBar1->setValue(48);
        Form4->ScrollBar6->setValue(-40);
        Form4->ScrollBar8->setValue(30);
    }

private slots:
    void init() {
        QSettings(QStringLiteral("Lumarq"), QStringLiteral("Lumarq")).clear();
        seams = std::make_unique<Seams>();
        StartWithASweep();
    }
    void cleanup() {
        windows.reset();
        seams.reset();
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(dir.filePath(name));
    }

    void exportWritesEveryFrameOfTheSweepAndCopiesItsCommand() {
        const QString pattern = dir.filePath(QStringLiteral("frame-%02d.bmp"));
        WhenShown<lumarq::ExportAnimationDialog>([&](lumarq::ExportAnimationDialog* dialog) {
            dialog->FramesBox->setValue(3);
            dialog->RateBox->setValue(10);
            dialog->FileEdit->setText(pattern);
            QCOMPARE(dialog->DurationBox->value(), 0.3);  // frames and duration follow each other
            Button(dialog, QStringLiteral("Copy as Command"))->click();
            Button(dialog, QStringLiteral("Export"))->click();
        });
        FileItem(QStringLiteral("Export Animation..."))->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("lumarq-render --pattern 13:48 --x 0:-40 --angle 0:30 --frames 3 --fps 10 -o '") +
                     pattern + QStringLiteral("' '") + source + QStringLiteral("'"));
        QVERIFY(seams->boxes.empty());

        Sweep sweep;
        sweep.to.Pattern = 48, sweep.to.XOffset = -40, sweep.to.Angle = 30, sweep.frames = 3;
        for (int i = 0; i < 3; ++i) {
            TWin picture(0, 0), work(160, 130);
            picture.LoadFromFile(source.toStdString());
            RenderPipeline(work, picture, sweep.Frame(i));
            const ReadBack frame = ReadTestBitmap(QString::asprintf(qPrintable(pattern), i));
            QByteArray expected;
            for (int y = 0; y < 130; ++y) expected.append(reinterpret_cast<const char*>(work.PixelAddress(0, y)), 3 * 160);
            QVERIFY2(frame.pixels == expected, qPrintable(QStringLiteral("frame %1").arg(i)));
        }
    }

    void cancelLeavesNothingBehind() {
        WhenShown<lumarq::ExportAnimationDialog>([&](lumarq::ExportAnimationDialog* dialog) {
            dialog->FramesBox->setValue(100000);
            dialog->FileEdit->setText(dir.filePath(QStringLiteral("many-%05d.bmp")));
            WhenShown<QProgressDialog>([](QProgressDialog* progress) {
                QTimer::singleShot(100, progress, [progress] { progress->findChild<QPushButton*>()->click(); });  // a few frames in
            });
            Button(dialog, QStringLiteral("Export"))->click();
        });
        FileItem(QStringLiteral("Export Animation..."))->trigger();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("photo.bmp")});
        QVERIFY(seams->boxes.empty());  // a Cancel is no failure
    }

    void playShowsTheSweepUntilASliderMoves() {
        QAction* play = FileItem(QStringLiteral("Play Animation"));
        QVERIFY(play && play->shortcut() == QKeySequence(Qt::Key_F5));
        const RenderSettings current = Form4->Settings();
        play->trigger();
        QCOMPARE(Form1->Document().Settings(), RenderSettings{});  // the first frame is the look in memory
        QTRY_VERIFY(Form1->Document().Settings() != RenderSettings{});
        play->trigger();  // stopped: the current look again
        QCOMPARE(Form1->Document().Settings(), current);
        QCOMPARE(play->text(), QStringLiteral("Play Animation"));

        play->trigger();
        QCOMPARE(play->text(), QStringLiteral("Stop Animation"));
        Form4->ScrollBar2->setValue(99);
        QCOMPARE(play->text(), QStringLiteral("Play Animation"));
        QTest::qWait(100);
        QCOMPARE(Form1->Document().Settings(), Form4->Settings());
    }

    // A phone clip stored on its side (a rotation of 90 in its display matrix) opens
    // upright, as its first frame, so that the look can be tuned on it.
    void aVideoOpensUprightAndExportsWhole() {
        const QString flat = dir.filePath(QStringLiteral("flat.mp4")), clip = dir.filePath(QStringLiteral("clip.mp4"));
        // ffmpeg writes the turn only when it copies the stream, not while it encodes.
        const QString ffmpeg = QStringLiteral("ffmpeg");
        if (QProcess::execute(ffmpeg, {"-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=200x150:rate=10", "-t",
                                       "0.5", "-pix_fmt", "yuv420p", flat}) != 0 ||
            QProcess::execute(ffmpeg, {"-loglevel", "error", "-i", flat, "-c", "copy", "-metadata:s:v:0", "rotate=90", clip}) != 0)
            QSKIP("no ffmpeg to make a clip with");
        seams->dialogAnswers = {clip};
        Form4->Open1Click();
        QVERIFY(seams->boxes.empty());
        QCOMPARE(Form1->Document().CurrentFileName, clip);
        QCOMPARE(QSize(Form1->Document().SourceRaster->Width(), Form1->Document().SourceRaster->Height()),
                 QSize(150, 200));

        // Export Video... writes every frame of the clip, upright, through the look.
        Form4->ScrollBar1->setValue(48);
        seams->dialogAnswers = {dir.filePath(QStringLiteral("led-%d.bmp"))};
        FileItem(QStringLiteral("Export Video..."))->trigger();
        QVERIFY(seams->boxes.empty());
        for (int i = 0; i < 5; ++i) {
            const ReadBack frame = ReadTestBitmap(dir.filePath(QStringLiteral("led-%1.bmp").arg(i)));
            QCOMPARE(QSize(frame.width, frame.height), QSize(150, 200));
        }
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("led-5.bmp"))));
    }
};

QTEST_MAIN(AnimationExportTest)
#include "animation_export_test.moc"
