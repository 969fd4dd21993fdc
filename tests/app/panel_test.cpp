// The control panel: its layout, one render per slider change, Reset, Memory
// A<>B, Save and Save As, the sound menu items and cues, and the ways it ends the
// program. The image is put into the rasters directly, so these cases do not
// depend on the bitmap reader.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QImageReader>
#include <QTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "raster/render.h"

using platform::SoundMode;

namespace {

std::array<int, 8> Positions() {
    std::array<int, 8> p{};
    for (std::size_t i = 0; i < 8; ++i) p[i] = Form4->ScrollBars()[i]->value();
    return p;
}

constexpr std::array<int, 8> kInitial = {13, 160, 255, 0, 0, 0, 0, 0};

}  // namespace

class PanelTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<Seams> seams;
    std::unique_ptr<lumarq::Windows> windows;

    // The windows with a 200 x 150 image in both rasters and the panel shown, as
    // after a start-up on the file `image.bmp`.
    void SetUpImage() {
        windows = std::make_unique<lumarq::Windows>(QStringList{});
        Picture::Loaded image;
        for (TWin* raster : {&image.source, &image.work}) {
            TWin sized(200, 150);
            raster->Swap(sized);
            for (int y = 0; y < 150; ++y)
                for (int x = 0; x < 200; ++x) {
                    std::uint8_t* p = raster->PixelAddress(x, y);
                    TestPixel(x, y, p[0], p[1], p[2]);
                }
        }
        Form1->Document().Take(image, dir.filePath("image.bmp"));
        Form1->Document().CurrentFileName = dir.filePath("image.bmp");
        Form4->show();
    }

private slots:
    void init() {
        seams = std::make_unique<Seams>();
        SetUpImage();
    }
    void cleanup() {
        windows.reset();
        seams.reset();
    }

    void layout() {
        QCOMPARE(Form4->windowTitle(), QStringLiteral("Lumarq"));
        QCOMPARE(Form4->centralWidget()->size(), QSize(338, 253));
        QVERIFY(Form4->windowFlags() & Qt::WindowStaysOnTopHint);
        struct Bar {
            QRect geometry;
            Qt::Orientation orientation;
            int minimum, maximum;
        };
        const Bar bars[8] = {
            {{20, 60, 233, 17}, Qt::Horizontal, 0, 65},       {{20, 76, 233, 17}, Qt::Horizontal, 0, 255},
            {{20, 92, 233, 17}, Qt::Horizontal, 0, 255},      {{20, 108, 233, 17}, Qt::Horizontal, 0, 255},
            {{20, 124, 233, 17}, Qt::Horizontal, 0, 255},     {{4, 4, 309, 17}, Qt::Horizontal, -1500, 1500},
            {{316, 4, 17, 241}, Qt::Vertical, -1500, 1500},   {{4, 228, 309, 17}, Qt::Horizontal, 0, 360}};
        for (std::size_t i = 0; i < 8; ++i) {
            QScrollBar* bar = Form4->ScrollBars()[i];
            QCOMPARE(bar->geometry(), bars[i].geometry);
            QCOMPARE(bar->orientation(), bars[i].orientation);
            QCOMPARE(bar->minimum(), bars[i].minimum);
            QCOMPARE(bar->maximum(), bars[i].maximum);
            QCOMPARE(bar->value(), kInitial[i]);
            QCOMPARE(bar->singleStep(), 1);
            // The form's numbers are the settings table's.
            QCOMPARE(bar->minimum(), kSettings[i].minimum);
            QCOMPARE(bar->maximum(), kSettings[i].maximum);
            QCOMPARE(bar->value(), kSettings[i].initial);
        }
        QCOMPARE(Form4->Button1->text(), QStringLiteral("Reset"));
        QCOMPARE(Form4->Button2->text(), QStringLiteral("Memory A<>B"));
        QCOMPARE(Form4->Label2->text(), QStringLiteral("Detector"));
        QCOMPARE(Form4->Label7->text(), QStringLiteral("X Position"));

        QStringList file, bar;
        for (QAction* a : Form4->File1->actions()) file << (a->isSeparator() ? "-" : a->text());
        for (QAction* a : Form4->menuBar()->actions()) bar << a->text();
        // The panel's own items in their order, with the desktop's usual additions between.
        QCOMPARE(file, (QStringList{"Open", "Open Recent", "Save", "SaveAs", "-", "Copy Image", "Paste Image", "-",
                                    "Save Settings...", "Load Settings...", "Copy as Command", "-",
                                    "Export Animation...", "Play Animation", "Export Video...", "-", "Be Silent",
                                    "Make Noise", "-", "Exit"}));
        QCOMPARE(bar, (QStringList{"File", "Help", "About", "Min"}));
    }

    void keyboardFocusAndTabOrder() {
        QVERIFY(QTest::qWaitForWindowActive(Form4));
        QCOMPARE(QApplication::focusWidget(), Form4->ScrollBar1);
        const int renders = seams->renders;
        QTest::keyClick(Form4->ScrollBar1, Qt::Key_Right);
        QCOMPARE(Form4->ScrollBar1->value(), 14);
        QCOMPARE(seams->renders, renders + 1);
        QCOMPARE(Form4->Label1->text(), QStringLiteral("Lumarq 14"));

        QStringList order;
        for (int i = 0; i < 10; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"ScrollBar1", "ScrollBar2", "ScrollBar3", "ScrollBar4", "ScrollBar5", "Button1",
                                     "Button2", "ScrollBar6", "ScrollBar7", "ScrollBar8"}));
        QCOMPARE(QApplication::focusWidget(), Form4->ScrollBar1);  // and round again

        // The vertical offset moves down with the Down key.
        Form4->ScrollBar7->setFocus();
        QTest::keyClick(Form4->ScrollBar7, Qt::Key_Down);
        QCOMPARE(Form4->ScrollBar7->value(), 1);
    }

    void oneRenderPerChange() {
        const int renders = seams->renders;
        Form4->ScrollBar8->setValue(45);
        QCOMPARE(seams->renders, renders + 1);
        Form4->ScrollBar8->setValue(45);  // not a change
        QCOMPARE(seams->renders, renders + 1);
        Form4->ScrollBar1->setValue(33);
        QCOMPARE(seams->renders, renders + 2);
        QCOMPARE(Form4->Label1->text(), QStringLiteral("Lumarq 33"));
        QCOMPARE(Form4->Settings(), (RenderSettings{33, 160, 255, 0, 0, 0, 0, 45}));

        // An offset that moves the image entirely out of the raster still renders.
        Form4->ScrollBar6->setValue(-1500);
        QCOMPARE(seams->renders, renders + 3);
    }

    // A new image of the same size is rendered from scratch, not over the lines
    // of the grid rendered before it.
    void aNewImageIsRenderedAfresh() {
        Form4->ScrollBar8->setValue(30);
        Form4->ScrollBar1->setValue(3);
        Picture::Loaded image;
        TWin expected(200, 150), source(200, 150);
        for (TWin* raster : {&image.source, &image.work, &source}) {
            TWin sized(200, 150);
            std::memset(sized.Bits, 0x5A, static_cast<std::size_t>(sized.Stride) * 150);
            raster->Swap(sized);
        }
        Form1->Document().Take(image, dir.filePath("other.bmp"));
        Form4->ScrollBar1->setValue(2);
        RenderPipeline(expected, source, Form4->Settings());
        const TWin& work = *Form1->Document().WorkRaster;
        for (int y = 0; y < 150; ++y)
            QVERIFY2(std::memcmp(work.PixelAddress(0, y), expected.PixelAddress(0, y), 3 * 200) == 0,
                     qPrintable(QStringLiteral("row %1").arg(y)));
    }

    void resetRestoresTheInitialSettings() {
        Form4->ScrollBar2->setValue(10);
        Form4->ScrollBar6->setValue(-20);
        Form4->ScrollBar8->setValue(90);
        seams->sounds.clear();
        const int renders = seams->renders;

        QTest::mouseClick(Form4->Button1, Qt::LeftButton);
        QCOMPARE(seams->SoundNames(), QStringList{"RPOP"});
        QCOMPARE(Positions(), kInitial);
        QCOMPARE(seams->renders, renders + 3);  // one per slider that moved
        QCOMPARE(Form4->MemoryBank, (std::array<std::int32_t, 8>{13, 160, 255, 0, 0, 0, 0, 0}));

        // The bank now holds the same settings: an exchange changes nothing.
        Form4->Button2Click();
        QCOMPARE(Positions(), kInitial);
        QCOMPARE(seams->renders, renders + 3);
    }

    void memoryExchangeTwiceRestoresExactly() {
        Form4->ScrollBar1->setValue(50);
        Form4->ScrollBar5->setValue(77);
        Form4->ScrollBar7->setValue(-300);
        QCOMPARE(Form4->Settings(), (RenderSettings{50, 160, 255, 0, 77, 0, -300, 0}));  // each slider its own setting
        const std::array<int, 8> before = Positions();
        seams->sounds.clear();
        const int renders = seams->renders;

        Form4->Button2Click();
        QCOMPARE(Positions(), (std::array<int, 8>{}));  // the bank starts at 0
        QCOMPARE(Form4->MemoryBank, (std::array<std::int32_t, 8>{50, 160, 255, 0, 77, 0, -300, 0}));
        QCOMPARE(seams->renders, renders + 5);  // slider 4, 6 and 8 were at 0 already

        Form4->Button2Click();
        QCOMPARE(Positions(), before);
        QCOMPARE(Form4->MemoryBank, (std::array<std::int32_t, 8>{}));
        QCOMPARE(seams->SoundNames(), (QStringList{"RPOP", "RPOP"}));
    }

    void saveWritesTheWorkingRaster() {
        // The picture knows when what is on screen is not what was loaded or saved.
        const Picture& picture = Form1->Document();
        QVERIFY(!picture.Modified());
        Form4->ScrollBar8->setValue(30);
        QVERIFY(picture.Modified());
        Form4->Save1Click();
        QVERIFY(!picture.Modified());
        QVERIFY(seams->boxes.empty());
        const ReadBack file = ReadTestBitmap(Form1->Document().CurrentFileName);
        QCOMPARE(file.width, 200);
        QCOMPARE(file.height, 150);
        QByteArray expected;
        for (int y = 0; y < 150; ++y)
            expected.append(reinterpret_cast<const char*>(Form1->Document().WorkRaster->PixelAddress(0, y)), 3 * 200);
        QVERIFY(file.pixels == expected);
    }

    void saveFailureIsReported() {
        const QString unwritable = dir.filePath("no-such-folder/out.bmp");
        Form1->Document().CurrentFileName = unwritable;
        Form4->Save1Click();
        QCOMPARE(seams->boxes.size(), std::size_t{1});
        QCOMPARE(seams->boxes[0].text, unwritable + "\n\nCannot create file " + unwritable);
        QVERIFY(!QFile::exists(unwritable));

        // Save As to such a name reports it too, and later Saves go there.
        seams->dialogAnswers = {unwritable};
        Form4->SaveAs1Click();
        QCOMPARE(seams->boxes.size(), std::size_t{2});
        QVERIFY(!lumarq::TerminateRequested());
    }

    void saveAs() {
        const QString original = Form1->Document().CurrentFileName;
        WriteTestBitmap(original, 10, 10);
        QFile file(original);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        // Cancelled: nothing written, the name unchanged.
        Form4->SaveAs1Click();
        QCOMPARE(seams->dialogs.size(), std::size_t{1});
        QCOMPARE(seams->dialogs[0].title, QStringLiteral("Save New Bitmap"));
        QCOMPARE(seams->dialogs[0].fileName, original);
        QCOMPARE(Form1->Document().CurrentFileName, original);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);

        // A name typed without an extension gets ".bmp"; later Saves go there.
        seams->dialogAnswers = {dir.filePath("copy")};
        Form4->SaveAs1Click();
        QCOMPARE(Form1->Document().CurrentFileName, dir.filePath("copy.bmp"));
        QCOMPARE(ReadTestBitmap(dir.filePath("copy.bmp")).width, 200);
    }

    void saveAsAPhoto() {
        // The Save dialog offers every writable format, BMP first and by default.
        Form4->SaveAs1Click();
        QCOMPARE(seams->dialogs[0].filter, QStringLiteral("Bitmap Files|*.bmp|PNG Files|*.png|JPEG Files|*.jpg;*.jpeg|"
                                                          "WebP Files|*.webp|TIFF Files|*.tif;*.tiff|AVIF Files|*.avif|"
                                                          "JPEG XL Files|*.jxl"));
        QCOMPARE(seams->dialogs[0].defaultSuffix, QStringLiteral("bmp"));

        // The chosen name's extension gives the format, and later Saves keep to it.
        const QString jpeg = dir.filePath("result.jpg");
        seams->dialogAnswers = {jpeg};
        Form4->SaveAs1Click();
        QCOMPARE(Form1->Document().CurrentFileName, jpeg);
        QFile file(jpeg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(3), QByteArray("\xFF\xD8\xFF"));
        file.close();
        QVERIFY(file.remove());
        Form4->Save1Click();
        QCOMPARE(QImageReader(jpeg).format(), QByteArray("jpeg"));
        // The resolution lumarq-render writes too, not this screen's: the same bytes from both.
        QCOMPARE(qRound(QImage(jpeg).dotsPerMeterX() * 0.0254), 72);
        QCOMPARE(QImageReader(jpeg).size(), QSize(200, 150));
        QVERIFY(seams->boxes.empty());
    }

    void theSaveDialogTakesTheChosenTypesExtension() {
        // The real dialog: choose JPEG and type a bare name.
        platform::SetFileDialogHandler({});
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            // From Bitmap Files down past PNG Files, as a user would with the keyboard.
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(types);
            QTest::keyClick(types, Qt::Key_Down);
            QTest::keyClick(types, Qt::Key_Down);
            QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("JPEG Files (*.jpg *.jpeg)"));
            dialog->selectFile(QStringLiteral("bare"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const std::optional<QString> chosen = Form1->RunSaveDialog1(dir.filePath("image.bmp"));
        QCOMPARE(chosen.value_or(QString()), dir.filePath("bare.jpg"));
    }

    void soundCues() {
        seams->sounds.clear();
        Form4->File1->popup(QPoint(0, 0));  // opening the File menu
        Form4->File1->hide();
        Form1->Beeper(8);
        Form1->Beeper(2);
        Form1->Beeper(6);
        Form4->About1->trigger();
        Form4->Help1->trigger();
        Form4->Help1->trigger();
        QCOMPARE(seams->SoundNames(), (QStringList{"RCLICK", "RTICK", "RAIR", "RSTRUM", "REXIT", "REXIT"}));
        for (const auto& s : seams->sounds) QCOMPARE(s.second, SoundMode::Asynchronous);
        QVERIFY(Form2->isVisible());
        QVERIFY(Form3->isVisible());

        // Silent from either menu: nothing plays, not even the last cue.
        seams->sounds.clear();
        Form4->BeSilent1->trigger();
        QVERIFY(!Form1->SoundsOn);
        Form4->Button1Click();
        Form1->Beeper(7);
        QVERIFY(seams->sounds.empty());

        // Make Noise plays its cue, also when sounds are on already.
        Form4->MakeNoise1->trigger();
        QVERIFY(Form1->SoundsOn);
        Form1->NoSounds1->trigger();
        QCOMPARE(seams->SoundNames(), (QStringList{"RSTART", "RSTART"}));
        Form1->BeSilent1->trigger();
        QVERIFY(!Form1->SoundsOn);
    }

    void theLastCuePlaysToItsEnd() {
        seams->sounds.clear();
        // The cue's wait runs a loop: every window must still exist then, hidden,
        // with the rasters already freed.
        bool windowsAliveAndHidden = false;
        platform::SetSoundHandler([&](const QString& name, platform::SoundMode mode) {
            seams->sounds.emplace_back(name, mode);
            windowsAliveAndHidden = Form2 && Form3 && Form4 && !Form4->isVisible() && !Form1->isVisible() &&
                                    !Form1->Document().SourceRaster && !Form1->Document().WorkRaster;
        });
        windows.reset();
        QVERIFY(windowsAliveAndHidden);
        QCOMPARE(seams->sounds.size(), std::size_t{1});
        QCOMPARE(seams->sounds[0].first, QStringLiteral("RAIR"));
        QCOMPARE(seams->sounds[0].second, SoundMode::ToEnd);
        QVERIFY(Form1 == nullptr && Form4 == nullptr);
    }

    void exitAndClosingThePanelEndTheProgram() {
        QVERIFY(!lumarq::TerminateRequested());
        Form4->Exit1->trigger();
        QVERIFY(lumarq::TerminateRequested());

        cleanup();
        init();
        QVERIFY(!lumarq::TerminateRequested());
        QVERIFY(Form4->close());
        QVERIFY(lumarq::TerminateRequested());
    }
};

QTEST_MAIN(PanelTest)
#include "panel_test.moc"
