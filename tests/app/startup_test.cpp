// The image window's start-up: where the first file comes from, loading it,
// sizing and placing the window, the size test, the first render, and the ways
// the program ends before its message loop runs. Also Open from the panel, the
// restore after Min, dragging and the popup menu.
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "platform/gdi/gdi.h"
#include "platform/qt/file_names.h"

using platform::SoundMode;

// What the image window shows on its screen after a paint, in device pixels.
QImage ShownImage() {
    Form1->repaint();
    return Form1->screen()->grabWindow(Form1->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

class StartupTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString Bitmap(const QString& name, int width, int height, bool topDown = false) {
        const QString path = dir.filePath(name);
        WriteTestBitmap(path, width, height, topDown);
        return path;
    }

    static bool AnyWindowVisible() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) return true;
        return false;
    }

private slots:
    void aFileNameThatIsNotUtf8OpensAndSavesUnderItsOwnBytes() {
        Seams seams;
        // Latin-1 bytes, as an old camera card or archive leaves them.
        const std::string name = dir.path().toStdString() + "/caf\xE9 \xFF.bmp";
        const QString plain = dir.filePath("plain.bmp");
        WriteTestBitmap(plain, 150, 140);
        QVERIFY(std::rename(plain.toStdString().c_str(), name.c_str()) == 0);
        const QString argument = platform::FileNameFromNative(name);
        QCOMPARE(platform::NativePath(argument), name);
        lumarq::Windows windows({argument});
        QVERIFY(StartProgram());
        QVERIFY(seams.boxes.empty());
        QCOMPARE(Form1->size(), QSize(150, 140));
        Form4->ScrollBar1->setValue(33);
        Form4->Save1Click();  // back into the same file, not a new one with a mangled name
        QVERIFY(seams.boxes.empty());
        QVERIFY(!Form1->Document().Modified());
        // Qt lists no such name; the file system holds it, and nothing beside it.
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path().toStdString()))
            files.push_back(entry.path().string());
        QCOMPARE(files, std::vector<std::string>{name});
        QCOMPARE(std::remove(name.c_str()), 0);

        // A box names the file above its text, and draws no control character of it.
        Form1->OpenNamedFile(dir.filePath(QStringLiteral("x\x1B]0;t\x07.bmp")));
        QCOMPARE(seams.boxes.size(), std::size_t{1});
        QVERIFY(seams.boxes[0].text.startsWith("'" + dir.filePath("x'$'\\033'']0;t'$'\\a''.bmp'\n\nCannot open file ")));
        QVERIFY(seams.boxes[0].text.endsWith(dir.filePath("x\\x1B]0;t\\x07.bmp")));
    }

    void startsWithTheFileGivenOnTheCommandLine() {
        Seams seams;
        const QString path = Bitmap("odd.bmp", 201, 151);
        lumarq::Windows windows({path});
        QVERIFY(StartProgram());

        QVERIFY(seams.dialogs.empty());
        QVERIFY(seams.boxes.empty());
        QCOMPARE(Form1->Document().CurrentFileName, path);
        QCOMPARE(Form1->size(), QSize(201, 151));
        QCOMPARE(Form1->pos(), QPoint(0, 0));
        QVERIFY(Form4->isVisible());
        QCOMPARE(Form4->Label1->text(), QStringLiteral("Lumarq 13"));
        QCOMPARE(seams.renders, 1);
        QCOMPARE(seams.SoundNames(), QStringList{"RCLICK"});
        QCOMPARE(seams.sounds[0].second, SoundMode::Asynchronous);

        // Pattern 13 at offset 0 and angle 0 leaves the image as it is, but for
        // the last column and row of an odd size, which the turn about the centre
        // does not reach.
        TWin& work = *Form1->Document().WorkRaster;
        TWin& source = *Form1->Document().SourceRaster;
        QCOMPARE(work.Width(), 201);
        QCOMPARE(work.Height(), 151);
        int differing = 0;
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x)
                if (std::memcmp(work.PixelAddress(x, y), source.PixelAddress(x, y), 3) != 0) ++differing;
        QCOMPARE(differing, 0);

        // The window shows the working raster pixel for pixel.
        const QImage shown = ShownImage();
        QCOMPARE(shown.size(), QSize(201, 151));
        for (QPoint p : {QPoint(0, 0), QPoint(57, 98), QPoint(199, 149)}) {
            const std::uint8_t* pixel = work.PixelAddress(p.x(), p.y());
            QCOMPARE(shown.pixelColor(p), QColor(pixel[2], pixel[1], pixel[0]));
        }
        QVERIFY(!lumarq::TerminateRequested());
    }

    void sizeTest_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("129 x 129") << 129 << 129 << false << true;
        QTest::newRow("129 x 129 top-down") << 129 << 129 << true << true;
        QTest::newRow("128 x 500") << 128 << 500 << false << false;
        QTest::newRow("500 x 128") << 500 << 128 << false << false;
        QTest::newRow("500 x 128 top-down") << 500 << 128 << true << false;
    }
    void sizeTest() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, topDown);
        QFETCH(bool, accepted);
        Seams seams;
        bool panelShownBehindBox = false;
        seams.onBox = [&] { panelShownBehindBox = Form4 && Form4->isVisible(); };
        lumarq::Windows windows({Bitmap("size.bmp", width, height, topDown)});

        QCOMPARE(StartProgram(), accepted);
        QCOMPARE(lumarq::TerminateRequested(), !accepted);
        if (accepted) {
            QVERIFY(seams.boxes.empty());
            QCOMPARE(seams.renders, 1);
            return;
        }
        QCOMPARE(seams.boxes.size(), std::size_t{1});
        QCOMPARE(seams.boxes[0].caption, QStringLiteral("Sorry: Bitmap Too Small"));
        QCOMPARE(seams.boxes[0].text,
                 QStringLiteral("Due to the mathematical nature of this program, the minimum size of the bitmap "
                                "must be: 129 by 129 pixels.  The program must now exit to prevent it from crashing."));
        QCOMPARE(seams.boxes[0].flags, 0x42040u);
        QVERIFY(panelShownBehindBox);
        QCOMPARE(seams.renders, 0);
        QVERIFY(!AnyWindowVisible());
    }

    void cancellingTheOpenDialogEndsQuietly() {
        Seams seams;
        lumarq::Windows windows({});
        QVERIFY(!StartProgram());
        QVERIFY(lumarq::TerminateRequested());
        QCOMPARE(seams.dialogs.size(), std::size_t{1});
        QCOMPARE(seams.dialogs[0].title, QStringLiteral("Please Choose a Bitmap to Load and Edit"));
        QCOMPARE(seams.dialogs[0].filter,
                 QStringLiteral("Bitmap Files|*.bmp|"
                                "Image files|*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.webp;*.tif;*.tiff;*.ppm;*.pgm;*.pbm;"
                                "*.heic;*.heif;*.hif;*.avif;*.jxl|"
                                "PNG Files|*.png|JPEG Files|*.jpg;*.jpeg|GIF Files|*.gif|"
                                "WebP Files|*.webp|TIFF Files|*.tif;*.tiff|PPM and PGM Files|*.ppm;*.pgm;*.pbm|"
                                "HEIC and HEIF Files|*.heic;*.heif;*.hif|AVIF Files|*.avif|JPEG XL Files|*.jxl|"
                                "Videos|*.mp4;*.mov;*.m4v;*.mkv;*.webm;*.avi|All files|*"));
        // Bitmaps come first, but the dialog starts on every readable image.
        QCOMPARE(seams.dialogs[0].startFilter, QStringLiteral("Image files"));
        QVERIFY(seams.boxes.empty());
        QVERIFY(seams.sounds.empty());
        QCOMPARE(seams.renders, 0);
        QVERIFY(!AnyWindowVisible());
    }

    void aFileThatFailsAtStartUpLeadsToTheOpenDialog() {
        Seams seams;
        const QString missing = dir.filePath("missing.bmp");
        const QString good = Bitmap("good.bmp", 160, 140);
        seams.dialogAnswers = {good};
        lumarq::Windows windows({missing});
        QVERIFY(StartProgram());
        QCOMPARE(seams.boxes.size(), std::size_t{1});
        QCOMPARE(seams.boxes[0].text, missing + "\n\nCannot open file " + missing);
        QCOMPARE(seams.dialogs.size(), std::size_t{1});
        QCOMPARE(Form1->Document().CurrentFileName, good);
        QCOMPARE(Form1->size(), QSize(160, 140));
        QCOMPARE(seams.renders, 1);
    }

    void cancellingAfterAFailedStartUpLoadEndsQuietly() {
        Seams seams;
        lumarq::Windows windows({dir.filePath("missing.bmp")});
        QVERIFY(!StartProgram());
        QCOMPARE(seams.boxes.size(), std::size_t{1});  // the load error only
        QCOMPARE(seams.dialogs.size(), std::size_t{1});
        QVERIFY(!Form4->isVisible());
    }

    void openFromThePanel() {
        Seams seams;
        const QString first = Bitmap("first.bmp", 200, 150);
        lumarq::Windows windows({first});
        QVERIFY(StartProgram());
        Form4->ScrollBar1->setValue(40);
        const int renders = seams.renders;

        // A file that cannot be loaded: the message, and the program goes on with
        // the image on screen, whose file Save still writes.
        const QString missing = dir.filePath("gone.bmp");
        seams.dialogAnswers = {missing};
        seams.sounds.clear();
        Form4->Open1Click();
        QCOMPARE(seams.dialogs.size(), std::size_t{1});  // asked although a file was open
        QCOMPARE(seams.boxes.size(), std::size_t{1});
        QCOMPARE(seams.boxes[0].text, missing + "\n\nCannot open file " + missing);
        QCOMPARE(Form1->Document().CurrentFileName, first);
        QVERIFY(!lumarq::TerminateRequested());
        QVERIFY(Form1->isVisible() && Form4->isVisible());
        QCOMPARE(Form1->size(), QSize(200, 150));
        QCOMPARE(seams.renders, renders);
        QVERIFY(seams.sounds.empty());
        // The image stays whole: a render after the failure still shows it, and
        // Save writes it, not a black picture, over the file it came from.
        QCOMPARE(Form1->Document().SourceRaster->Width(), 200);
        Form4->ScrollBar1->setValue(13);
        Form4->Save1Click();
        const ReadBack saved = ReadTestBitmap(first);
        QCOMPARE(saved.width, 200);
        std::uint8_t blue, green, red;
        TestPixel(20, 30, blue, green, red);
        const int at = 3 * (30 * 200 + 20);
        QCOMPARE(static_cast<std::uint8_t>(saved.pixels[at]), blue);
        QCOMPARE(static_cast<std::uint8_t>(saved.pixels[at + 1]), green);
        QCOMPARE(static_cast<std::uint8_t>(saved.pixels[at + 2]), red);
        Form4->ScrollBar1->setValue(40);

        // Another image: loaded, the window fits it, rendered with the current settings.
        Form1->move(40, 30);
        const QString second = Bitmap("second.bmp", 300, 220);
        seams.dialogAnswers = {second};
        Form4->Open1Click();
        QCOMPARE(Form1->Document().CurrentFileName, second);
        QCOMPARE(Form1->size(), QSize(300, 220));
        QCOMPARE(Form1->pos(), QPoint(0, 0));
        QCOMPARE(seams.renders, renders + 3);  // two slider moves and the load
        QCOMPARE(Form4->ScrollBar1->value(), 40);
        QCOMPARE(Form4->Label1->text(), QStringLiteral("Lumarq 40"));
        QCOMPARE(seams.SoundNames(), QStringList{"RCLICK"});

        // Cancelled: the program ends.
        Form4->Open1Click();
        QVERIFY(lumarq::TerminateRequested());
    }

    void opensAPhotoFromThePanel() {
        Seams seams;
        lumarq::Windows windows({Bitmap("first.bmp", 200, 150)});
        QVERIFY(StartProgram());
        QImage photo(230, 170, QImage::Format_RGB32);
        for (int y = 0; y < 170; ++y)
            for (int x = 0; x < 230; ++x) {
                std::uint8_t blue, green, red;
                TestPixel(x, y, blue, green, red);
                photo.setPixel(x, y, qRgb(red, green, blue));
            }
        const QString path = dir.filePath("photo.png");
        QVERIFY(photo.save(path));

        seams.dialogAnswers = {path};
        Form4->Open1Click();
        QVERIFY(seams.boxes.empty());
        QCOMPARE(Form1->Document().CurrentFileName, path);
        QCOMPARE(Form1->size(), QSize(230, 170));
        for (TWin* raster : {Form1->Document().SourceRaster.get(), Form1->Document().WorkRaster.get()})
            for (QPoint p : {QPoint(0, 0), QPoint(101, 77), QPoint(228, 168)}) {
                const std::uint8_t* pixel = raster->PixelAddress(p.x(), p.y());
                QCOMPARE(qRgb(pixel[2], pixel[1], pixel[0]), photo.pixel(p));
            }
    }

    void saveAfterSaveAsAndAFailedOpenWritesTheSaveAsFile() {
        Seams seams;
        const QString a = Bitmap("a.bmp", 200, 150), b = dir.filePath("b.bmp"), c = dir.filePath("c.bmp");
        QFile broken(c);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("BM but nothing more of a bitmap");
        broken.close();
        const ReadBack original = ReadTestBitmap(a);
        lumarq::Windows windows({a});
        QVERIFY(StartProgram());
        seams.dialogAnswers = {b, c};
        Form4->SaveAs1Click();
        Form4->Open1Click();
        QCOMPARE(seams.boxes.size(), std::size_t{1});
        QCOMPARE(Form1->Document().CurrentFileName, b);
        Form4->ScrollBar1->setValue(40);  // a look that differs from the file's own pixels
        Form4->Save1Click();
        QCOMPARE(ReadTestBitmap(a).pixels, original.pixels);
        const TWin& work = *Form1->Document().WorkRaster;
        QCOMPARE(ReadTestBitmap(b).pixels,
                 QByteArray(reinterpret_cast<const char*>(work.Bits), static_cast<qsizetype>(work.Stride) * 150));
        QVERIFY(ReadTestBitmap(b).pixels != original.pixels);
        QFile check(c);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(), QByteArray("BM but nothing more of a bitmap"));
    }

    // Whichever of the three image buffers of an Open cannot be had, the user is
    // told and the image, its file and the window stay as they were.
    void openWithoutMemoryKeepsThePreviousImage_data() {
        QTest::addColumn<int>("failing");
        QTest::addColumn<QString>("message");
        const QString system =
            "System Error.  Code: 8.\r\nNot enough memory resources are available to process this command.";
        QTest::newRow("source raster") << 1 << system;
        QTest::newRow("working raster") << 2 << system;
        QTest::newRow("window surface") << 3 << QStringLiteral("Out of memory");
    }
    void openWithoutMemoryKeepsThePreviousImage() {
        QFETCH(int, failing);
        QFETCH(QString, message);
        Seams seams;
        const QString first = Bitmap("first.bmp", 200, 150);
        lumarq::Windows windows({first});
        QVERIFY(StartProgram());
        const QImage shown = ShownImage();
        int requests = 0;
        platform::gdi::SetImageAllocationFailureForTesting([&](std::size_t) { return ++requests == failing; });
        const QString second = Bitmap("second.bmp", 300, 220);
        seams.dialogAnswers = {second};
        Form4->Open1Click();
        platform::gdi::SetImageAllocationFailureForTesting({});
        QCOMPARE(seams.boxes.size(), std::size_t{1});
        QCOMPARE(seams.boxes[0].text, second + "\n\n" + message);
        QCOMPARE(Form1->Document().CurrentFileName, first);
        QCOMPARE(Form1->size(), QSize(200, 150));
        QCOMPARE(Form1->Document().SourceRaster->Width(), 200);
        QCOMPARE(Form1->Document().WorkRaster->Width(), 200);
        QCOMPARE(ShownImage(), shown);
    }

    void theFirstLoadRunsFromTheLoopOnceTheWindowIsShown() {
        Seams seams;
        lumarq::Windows windows({});
        seams.dialogAnswers = {Bitmap("later.bmp", 200, 150)};
        lumarq::ShowMainWindow();
        QVERIFY(Form1->isVisible());
        QVERIFY(seams.dialogs.empty());  // not from inside the show
        QCoreApplication::processEvents();
        QCOMPARE(seams.dialogs.size(), std::size_t{1});
        QCOMPARE(Form1->size(), QSize(200, 150));
    }

    void restoringAfterMinDoesNotLoadAgain() {
        Seams seams;
        lumarq::Windows windows({Bitmap("min.bmp", 200, 150)});
        QVERIFY(StartProgram());
        const int renders = seams.renders;
        seams.sounds.clear();

        Form4->Min1Click();
        QCOMPARE(seams.SoundNames(), QStringList{"REXIT"});
        QVERIFY(Form1->isMinimized());
        QVERIFY(Form4->isMinimized());

        Form1->showNormal();
        QVERIFY(!Form1->isMinimized());
        QVERIFY(!Form4->isMinimized());  // the whole program comes back
        QVERIFY(seams.dialogs.empty());
        QVERIFY(seams.boxes.empty());
        QCOMPARE(seams.renders, renders);
        QCOMPARE(seams.SoundNames(), QStringList{"REXIT"});
    }

    void dragsFromAnyPointAndOffersThePopupMenu() {
        Seams seams;
        lumarq::Windows windows({Bitmap("drag.bmp", 200, 150)});
        QVERIFY(StartProgram());
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QTest::mousePress(Form1, Qt::LeftButton, {}, QPoint(120, 90));
        QTest::mouseMove(Form1, QPoint(150, 110));
        QTest::mouseRelease(Form1, Qt::LeftButton, {}, QPoint(150, 110));
        QCOMPARE(Form1->pos(), QPoint(30, 20));

        QStringList items;
        for (QAction* action : Form1->PopupMenu1->actions()) items << (action->isSeparator() ? "-" : action->text());
        QCOMPARE(items, (QStringList{"Help", "About", "-", "Be Silent", "Make Noise", "-"}));
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
