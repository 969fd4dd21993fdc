// Unsaved work: every path that ends the program or replaces the picture asks
// first when the picture differs from what was loaded or saved, and does what the
// answer says; with nothing unsaved it asks nothing.
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"

class UnsavedWorkTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void everyPathAsksAndFollowsTheAnswer() {
        struct Path {
            const char* name;
            std::function<bool(const QString& other)> run;  // true when the path went on
        };
        const Path paths[] = {
            {"Exit", [](const QString&) { Form4->Exit1Click(); return lumarq::TerminateRequested(); }},
            {"closing the panel", [](const QString&) { Form4->close(); return lumarq::TerminateRequested(); }},
            {"closing the image window", [](const QString&) { Form1->close(); return lumarq::TerminateRequested(); }},
            {"Open", [](const QString&) {
                 Form4->Open1Click();
                 return Form1->Document().CurrentFileName.isEmpty() || lumarq::TerminateRequested();
             }},
            {"a dropped or recent file", [](const QString& other) {
                 Form1->OpenNamedFile(other);
                 return Form1->Document().CurrentFileName == other;
             }},
            {"a paste", [](const QString&) {
                 TWin pasted(300, 200);
                 return Form1->OpenUnnamedImage(pasted);
             }},
        };
        enum class Answer { NotAsked, Save, DontSave, Cancel };
        const QString file = dir.filePath("photo.bmp");
        const QString other = dir.filePath("other.bmp");
        WriteTestBitmap(other, 150, 140);

        for (const Path& path : paths)
            for (const Answer answer : {Answer::NotAsked, Answer::Save, Answer::DontSave, Answer::Cancel}) {
                const QByteArray where = QByteArray(path.name) + ", answer " + QByteArray::number(int(answer));
                WriteTestBitmap(file, 200, 150);
                Seams seams;
                lumarq::Windows windows({file});
                QVERIFY2(StartProgram(), where);
                if (answer != Answer::NotAsked) Form4->ScrollBar1->setValue(33);  // the look changed
                seams.questionAnswer = answer == Answer::Save       ? platform::IDYES
                                       : answer == Answer::DontSave ? platform::IDNO
                                                                    : platform::IDCANCEL;
                QByteArray shownBefore(reinterpret_cast<const char*>(Form1->Document().WorkRaster->Bits),
                                       3 * 200 * 150);

                const bool wentOn = path.run(other);

                if (answer == Answer::NotAsked) {
                    QVERIFY2(seams.questions.empty(), where);
                    QVERIFY2(wentOn, where);
                    continue;
                }
                QCOMPARE(seams.questions.size(), std::size_t{1});
                QCOMPARE(seams.questions[0].text, QStringLiteral("Do you want to save the changes to \"photo.bmp\"?\n\n"
                                                           "Your changes will be lost if you don't save them."));
                const ReadBack onDisk = ReadTestBitmap(file);
                QByteArray loaded;
                for (int y = 0; y < 150; ++y)
                    for (int x = 0; x < 200; ++x) {
                        std::uint8_t pixel[3];
                        TestPixel(x, y, pixel[0], pixel[1], pixel[2]);
                        loaded.append(reinterpret_cast<const char*>(pixel), 3);
                    }
                if (answer == Answer::Cancel) {
                    // Everything stays as it was: the program, the picture and the file.
                    QVERIFY2(!wentOn && !lumarq::TerminateRequested(), where);
                    QCOMPARE(Form1->Document().CurrentFileName, file);
                    QVERIFY2(Form1->Document().Modified(), where);
                    QVERIFY2(QByteArray(reinterpret_cast<const char*>(Form1->Document().WorkRaster->Bits),
                                        3 * 200 * 150) == shownBefore,
                             where);
                    QVERIFY2(onDisk.pixels == loaded, where);
                } else {
                    QVERIFY2(wentOn, where);
                    // Saved means the rendered look is in the file; not saved, the file is untouched.
                    QVERIFY2((onDisk.pixels == shownBefore) == (answer == Answer::Save), where);
                    QVERIFY2((onDisk.pixels == loaded) == (answer == Answer::DontSave), where);
                }
            }
    }
};

QTEST_MAIN(UnsavedWorkTest)
#include "unsaved_work_test.moc"
