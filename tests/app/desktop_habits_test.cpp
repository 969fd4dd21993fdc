// The desktop habits, each as a user reaches for it: dropping a file, the keys
// from either window, Open Recent, the folders and files kept between runs, the
// clipboard both ways, presets shared with lumarq-render, and the sliders' tips.
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>
#include <QUrl>
#include <QtTest>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit3.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "app/recent_files.h"

namespace {

QAction* FileItem(const QString& text) {
    for (QAction* item : Form4->File1->actions())
        if (item->text() == text) return item;
    return nullptr;
}

QByteArray RasterBytes(const TWin& raster) {
    QByteArray bytes;
    for (int y = 0; y < raster.Height(); ++y)
        bytes.append(reinterpret_cast<const char*>(raster.PixelAddress(0, y)), 3 * raster.Width());
    return bytes;
}

QByteArray ImageBytes(const QImage& image) {
    const QImage pixels = image.convertToFormat(QImage::Format_BGR888);
    QByteArray bytes;
    for (int y = 0; y < pixels.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(pixels.constScanLine(y)), 3 * pixels.width());
    return bytes;
}

}  // namespace

class DesktopHabitsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Seams> seams;
    std::unique_ptr<lumarq::Windows> windows;

    QString Bitmap(const QString& name, int width = 200, int height = 150) {
        const QString path = dir.filePath(name);
        WriteTestBitmap(path, width, height);
        return path;
    }
    // A new run of the program on file (none: the Open dialog answers).
    bool Run(const QString& file = {}) {
        windows.reset();
        windows = std::make_unique<lumarq::Windows>(file.isEmpty() ? QStringList{} : QStringList{file});
        return StartProgram();
    }

private slots:
    void init() {
        QSettings(QStringLiteral("Lumarq"), QStringLiteral("Lumarq")).clear();
        seams = std::make_unique<Seams>();
    }
    void cleanup() {
        windows.reset();
        seams.reset();
    }

    void dropOpensTheFirstLocalFile_data() {
        QTest::addColumn<bool>("onPanel");
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QString>("opened");  // empty: the drop is refused
        QTest::newRow("a file on the image window") << false << QStringList{"big.bmp"} << "big.bmp";
        QTest::newRow("a web address and two files on the panel")
            << true << QStringList{"https://example.com/a.bmp", "big.bmp", "start.bmp"} << "big.bmp";
        QTest::newRow("a broken file") << false << QStringList{"broken.bmp"} << "broken.bmp";
        QTest::newRow("only a web address") << true << QStringList{"https://example.com/a.bmp"} << QString();
    }
    void dropOpensTheFirstLocalFile() {
        QFETCH(bool, onPanel);
        QFETCH(QStringList, dropped);
        QFETCH(QString, opened);
        const QString start = Bitmap("start.bmp");
        Bitmap("big.bmp", 300, 220);
        QFile broken(dir.filePath("broken.bmp"));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("BM not really") > 0);
        broken.close();
        QVERIFY(Run(start));
        Form4->ScrollBar8->setValue(30);
        const int renders = seams->renders;

        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : dropped)
            urls << (name.contains(QLatin1Char(':')) ? QUrl(name) : QUrl::fromLocalFile(dir.filePath(name)));
        data.setUrls(urls);
        QWidget* target = onPanel ? static_cast<QWidget*>(Form4) : Form1;
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), !opened.isEmpty());
        if (opened.isEmpty()) return;
        QCOMPARE(enter.dropAction(), Qt::CopyAction);  // never a move: the file stays where it is
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QCoreApplication::processEvents();

        if (opened == QLatin1String("broken.bmp")) {
            // As after a failed Open: the same message, the image and Save's file unchanged.
            QCOMPARE(seams->boxes.size(), std::size_t{1});
            QCOMPARE(Form1->Document().CurrentFileName, start);
            QCOMPARE(Form1->Document().SourceRaster->Width(), 200);
            seams->dialogAnswers = {dir.filePath("broken.bmp")};
            Form4->Open1Click();
            QCOMPARE(seams->boxes.size(), std::size_t{2});
            QCOMPARE(seams->boxes[0].text, seams->boxes[1].text);
            return;
        }
        QVERIFY(seams->boxes.empty());
        QCOMPARE(Form1->Document().CurrentFileName, dir.filePath(opened));
        QCOMPARE(Form1->Document().SourceRaster->Width(), 300);
        QCOMPARE(Form1->size(), QSize(300, 220));
        QCOMPARE(seams->renders, renders + 1);
        QCOMPARE(Form4->ScrollBar8->value(), 30);  // rendered at the settings in use
        QCOMPARE(lumarq::RecentFiles().value(0), dir.filePath(opened));
    }

    void keysReachTheirCommandFromEitherWindow() {
        const QString start = Bitmap("start.bmp");
        const QString other = Bitmap("other.bmp", 240, 180);
        struct Key {
            const char* name;
            QKeyCombination key;
            std::function<void()> before;
            std::function<bool()> done;
        };
        const Key keys[] = {
            {"Ctrl+O", Qt::CTRL | Qt::Key_O, [&] { seams->dialogAnswers = {other}; },
             [&] { return Form1->Document().CurrentFileName == other && Form1->Document().SourceRaster->Width() == 240; }},
            {"Ctrl+S", Qt::CTRL | Qt::Key_S, [&] { Form1->Document().CurrentFileName = dir.filePath("saved.bmp"); },
             [&] { return ReadTestBitmap(dir.filePath("saved.bmp")).width == 200; }},
            {"Ctrl+Shift+S", Qt::CTRL | Qt::SHIFT | Qt::Key_S, [] {},
             [&] { return seams->dialogs.size() == 1 && seams->dialogs[0].title == "Save New Bitmap"; }},
            {"Ctrl+Q", Qt::CTRL | Qt::Key_Q, [] {}, [] { return lumarq::TerminateRequested(); }},
            {"F1", QKeyCombination(Qt::Key_F1), [] {}, [] { return Form3->isVisible(); }},
            {"Ctrl+R", Qt::CTRL | Qt::Key_R, [] { Form4->ScrollBar1->setValue(40); },
             [&] { return Form4->ScrollBar1->value() == 13 && seams->SoundNames().contains("RPOP"); }},
            {"Ctrl+M", Qt::CTRL | Qt::Key_M, [] { Form4->ScrollBar1->setValue(40); },
             [] { return Form4->ScrollBar1->value() == 0 && Form4->MemoryBank[0] == 40; }},
            {"Ctrl+C", Qt::CTRL | Qt::Key_C, [] { QApplication::clipboard()->clear(); },
             [] { return QApplication::clipboard()->image().size() == QSize(200, 150); }},
        };
        for (const Key& key : keys)
            for (const bool onPanel : {false, true}) {
                QVERIFY(Run(start));
                seams->dialogs.clear();
                key.before();
                QWidget* window = onPanel ? static_cast<QWidget*>(Form4) : Form1;
                window->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(window));
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window,
                                key.key.key(), key.key.keyboardModifiers());
                QVERIFY2(key.done(), qPrintable(QStringLiteral("%1 on the %2").arg(key.name, onPanel ? "panel" : "image")));
            }
    }

    void recentFilesNewestFirstAtMostEight() {
        QStringList files;
        for (int i = 0; i < 10; ++i) files << Bitmap(QStringLiteral("file%1.bmp").arg(i), 130, 130);
        QVERIFY(Run(files[0]));
        for (int i = 1; i < 10; ++i) Form1->OpenNamedFile(files[i]);
        Form1->OpenNamedFile(files[4]);  // opened again: first, and only once
        seams->dialogAnswers = {dir.filePath("saved.bmp")};
        Form4->SaveAs1Click();
        QCOMPARE(lumarq::RecentFiles(), (QStringList{dir.filePath("saved.bmp"), files[4], files[9], files[8], files[7],
                                                     files[6], files[5], files[3]}));

        // Another run lists them; a file gone since shows greyed; an entry opens its file.
        QVERIFY(QFile::remove(files[9]));
        QVERIFY(Run(files[0]));
        QMenu* recent = FileItem("Open Recent")->menu();
        emit recent->aboutToShow();
        const QList<QAction*> items = recent->actions();
        QCOMPARE(items.size(), 8 + 2);
        QCOMPARE(items[0]->text(), files[0]);
        QVERIFY(items[2]->isEnabled());
        QVERIFY(!items[3]->isEnabled());
        QCOMPARE(items[3]->text(), files[9]);
        items[2]->trigger();
        QCOMPARE(Form1->Document().CurrentFileName, files[4]);

        emit Form4->File1->aboutToShow();
        QVERIFY(recent->menuAction()->isEnabled());
        recent->actions().last()->trigger();  // Clear Recent
        QVERIFY(lumarq::RecentFiles().isEmpty());
        emit Form4->File1->aboutToShow();
        QVERIFY(!recent->menuAction()->isEnabled());
    }

    void unusableSettingsNeverStopTheProgram() {
        const QString start = Bitmap("start.bmp");
        // A folder where the settings file should be: it can be neither read nor written.
        const QString file = QSettings(QStringLiteral("Lumarq"), QStringLiteral("Lumarq")).fileName();
        QFile::remove(file);
        QVERIFY(QDir().mkpath(file));
        QVERIFY(Run(start));
        Form1->OpenNamedFile(start);
        emit FileItem("Open Recent")->menu()->aboutToShow();
        QCOMPARE(Form1->Document().CurrentFileName, start);
        QVERIFY(seams->boxes.empty());
        windows.reset();
        QVERIFY(QDir(file).removeRecursively());
    }

    void dialogsStartInTheirLastFolderInTheNextRun() {
        QVERIFY(QDir(dir.path()).mkpath("in") && QDir(dir.path()).mkpath("out") && QDir(dir.path()).mkpath("looks"));
        const QString start = Bitmap("in/start.bmp");
        seams->dialogAnswers = {start};
        QVERIFY(Run());
        seams->dialogAnswers = {dir.filePath("out/a.bmp")};
        Form4->SaveAs1Click();
        seams->dialogAnswers = {dir.filePath("looks/a")};
        FileItem("Save Settings...")->trigger();
        QVERIFY(QFile::exists(dir.filePath("looks/a.json")));

        seams->dialogs.clear();
        QVERIFY(Run(start));
        Form4->Open1Click();  // cancelled: the program ends, which is fine here
        QVERIFY(Run(start));
        QApplication::clipboard()->setImage(QImage(200, 200, QImage::Format_RGB32));
        FileItem("Paste Image")->trigger();
        Form4->Save1Click();  // a pasted image has no file: Save asks
        FileItem("Load Settings...")->trigger();
        QCOMPARE(seams->dialogs.size(), std::size_t{3});
        QCOMPARE(seams->dialogs[0].folder, dir.filePath("in"));
        QCOMPARE(seams->dialogs[1].title, QStringLiteral("Save New Bitmap"));
        QCOMPARE(seams->dialogs[1].folder, dir.filePath("out"));
        QCOMPARE(seams->dialogs[2].folder, dir.filePath("looks"));
    }

    void clipboardRoundTrip() {
        QVERIFY(Run(Bitmap("start.bmp")));
        Form4->ScrollBar1->setValue(33);
        FileItem("Copy Image")->trigger();
        const QByteArray shown = RasterBytes(*Form1->Document().WorkRaster);
        QCOMPARE(ImageBytes(QApplication::clipboard()->image()), shown);

        // Pasted back as the source of an unnamed image, rendered at the settings in use.
        Form4->ScrollBar1->setValue(13);
        const int renders = seams->renders;
        FileItem("Paste Image")->trigger();
        QVERIFY(seams->boxes.empty());
        QCOMPARE(RasterBytes(*Form1->Document().SourceRaster), shown);
        QCOMPARE(seams->renders, renders + 1);
        QVERIFY(Form1->Document().CurrentFileName.isEmpty());
        seams->dialogAnswers = {dir.filePath("pasted")};
        Form4->Save1Click();
        QCOMPARE(ReadTestBitmap(dir.filePath("pasted.bmp")).pixels, RasterBytes(*Form1->Document().WorkRaster));

        // Transparent parts come in black; nothing pastable, or too small: a message, nothing changed.
        QImage clear(150, 140, QImage::Format_ARGB32);
        clear.fill(QColor(255, 0, 0, 0));
        QApplication::clipboard()->setImage(clear);
        FileItem("Paste Image")->trigger();
        QCOMPARE(RasterBytes(*Form1->Document().SourceRaster), QByteArray(3 * 150 * 140, '\0'));
        const QByteArray source = RasterBytes(*Form1->Document().SourceRaster);
        QApplication::clipboard()->setText(QStringLiteral("not an image"));
        FileItem("Paste Image")->trigger();
        QApplication::clipboard()->setImage(QImage(128, 300, QImage::Format_RGB32));
        FileItem("Paste Image")->trigger();
        QCOMPARE(seams->boxes.size(), std::size_t{2});
        QCOMPARE(seams->boxes[0].text, QStringLiteral("The clipboard holds no image to paste."));
        QVERIFY(seams->boxes[1].text.contains(QStringLiteral("128 by 300")));
        QCOMPARE(RasterBytes(*Form1->Document().SourceRaster), source);
        QVERIFY(!lumarq::TerminateRequested());
    }

    void presetsRoundTripAndRefuseBadFiles() {
        QVERIFY(Run(Bitmap("start.bmp")));
        const std::array<int, 8> look = {33, 90, 10, 200, 30, -12, 7, 30};
        for (std::size_t i = 0; i < 8; ++i) Form4->ScrollBars()[i]->setValue(look[i]);
        seams->dialogAnswers = {dir.filePath("look")};
        FileItem("Save Settings...")->trigger();
        Form4->Button1Click();
        int renders = seams->renders;
        seams->dialogAnswers = {dir.filePath("look.json")};
        FileItem("Load Settings...")->trigger();
        for (std::size_t i = 0; i < 8; ++i) QCOMPARE(Form4->ScrollBars()[i]->value(), look[i]);
        QCOMPARE(seams->renders, renders + 1);
        QCOMPARE(Form4->Label1->text(), QStringLiteral("Lumarq 33"));

        // The reader's reasons, after the file's name; the sliders as they were.
        const struct {
            const char* text;
            const char* reason;
        } bad[] = {
            {"{\"lumarq\": 1, \"pattern\": }", "malformed settings file (expected a value at line 1)"},
            {"{\"lumarq\": 1,\n \"angle\": 400}", "\"angle\": 400 is out of range (0..360)"},
        };
        QFile broken(dir.filePath("broken.json"));
        for (const auto& file : bad) {
            QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate) && broken.write(file.text) > 0);
            broken.close();
            seams->boxes.clear();
            seams->dialogAnswers = {broken.fileName()};
            renders = seams->renders;
            FileItem("Load Settings...")->trigger();
            QCOMPARE(seams->boxes.size(), std::size_t{1});
            QCOMPARE(seams->boxes[0].text, "Cannot load settings from " + broken.fileName() + ": " + file.reason);
            QCOMPARE(Form4->ScrollBar1->value(), 33);
            QCOMPARE(seams->renders, renders);
        }
    }

    // What lumarq-render makes of a settings file from the windows, and of the
    // command they copy, is what the windows show, byte for byte.
    void lumarqRenderGivesWhatTheScreenShows() {
        const QString image = Bitmap("my 'best' shot.bmp", 203, 161);
        QVERIFY(Run(image));
        const std::array<int, 8> look = {33, 90, 10, 200, 30, -12, 7, 30};
        for (std::size_t i = 0; i < 8; ++i) Form4->ScrollBars()[i]->setValue(look[i]);
        const QByteArray shown = RasterBytes(*Form1->Document().WorkRaster);
        seams->dialogAnswers = {dir.filePath("look.json")};
        FileItem("Save Settings...")->trigger();

        QProcess render;
        render.start(QStringLiteral(LUMARQ_RENDER),
                     {"--settings", dir.filePath("look.json"), image, "-o", dir.filePath("fromsettings.bmp")});
        QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
        QCOMPARE(ReadTestBitmap(dir.filePath("fromsettings.bmp")).pixels, shown);

        FileItem("Copy as Command")->trigger();
        const QString quoted = dir.path().replace("'", "'\\''");
        const QString command = QApplication::clipboard()->text();
        QCOMPARE(command, "lumarq-render --pattern 33 --detector 90 --red 10 --green 200 --blue 30 --x -12 --y 7 "
                          "--angle 30 -o '" + quoted + "/my '\\''best'\\'' shot-rendered.bmp' '" + quoted +
                          "/my '\\''best'\\'' shot.bmp'");
        QCOMPARE(QProcess::execute("/bin/sh", {"-c", QString(command).replace("lumarq-render", LUMARQ_RENDER)}), 0);
        QCOMPARE(ReadTestBitmap(dir.filePath("my 'best' shot-rendered.bmp")).pixels, shown);
    }

    void slidersTellTheirValue() {
        QVERIFY(Run(Bitmap("start.bmp")));
        Form4->ScrollBar8->setValue(30);
        Form4->ScrollBar6->setValue(-12);
        const struct {
            QScrollBar* bar;
            const char* tip;
        } tips[] = {{Form4->ScrollBar2, "Detector 160"}, {Form4->ScrollBar8, "Angle 30\u00B0"},
                    {Form4->ScrollBar6, "X Position -12"}, {Form4->ScrollBar1, "Pattern 13"}};
        for (const auto& tip : tips) {
            QHelpEvent hover(QEvent::ToolTip, QPoint(3, 3), tip.bar->mapToGlobal(QPoint(3, 3)));
            QApplication::sendEvent(tip.bar, &hover);
            QCOMPARE(QToolTip::text(), QString::fromUtf8(tip.tip));
        }
        // While the thumb is dragged, the tip follows.
        Form4->ScrollBar7->setSliderDown(true);
        Form4->ScrollBar7->setValue(-40);
        QCOMPARE(QToolTip::text(), QStringLiteral("Y Position -40"));
        Form4->ScrollBar7->setSliderDown(false);

        // The slider the arrow keys move wears a focus mark; the others none.
        Form4->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form4));
        for (QScrollBar* focused : {Form4->ScrollBar2, Form4->ScrollBar8}) {
            focused->setFocus();
            for (QScrollBar* bar : Form4->ScrollBars()) {
                const auto* mark = bar->findChild<QWidget*>(QStringLiteral("FocusMark"));
                QVERIFY(mark);
                QCOMPARE(mark->isVisible(), bar == focused);
                QCOMPARE(mark->geometry(), bar->rect());
            }
        }
    }
};

QTEST_MAIN(DesktopHabitsTest)
#include "desktop_habits_test.moc"
