// lumarq's own command line: --help and --version are answered before any window
// exists, an unknown option is refused; every other first argument is left to be
// the image to open.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "lumarq/version.h"

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void answersOnlyHelpAndVersionAsTheFirstArgument() {
        struct Case {
            std::vector<const char*> arguments;
            std::optional<int> status;
            std::string printed;
            std::string complaint = {};
        };
        // A file whose name starts with a dash is still a file to open.
        QTemporaryDir folder;
        QVERIFY(QDir::setCurrent(folder.path()));
        QFile dashed(QStringLiteral("-dashed.bmp"));
        QVERIFY(dashed.open(QIODevice::WriteOnly));
        dashed.close();
        const std::string version = std::string("lumarq ") + LUMARQ_VERSION + "\n" + LUMARQ_LICENSE_NOTICE;
        const std::string usage = lumarq::kUsage;
        const Case cases[] = {
            {{"lumarq", "--help"}, 0, lumarq::kUsage},
            {{"lumarq", "--version"}, 0, version},
            {{"lumarq", "--version", "photo.bmp"}, 0, version},
            {{"lumarq"}, std::nullopt, ""},
            {{"lumarq", "photo.bmp"}, std::nullopt, ""},
            {{"lumarq", "photo.bmp", "--help"}, std::nullopt, ""},
            {{"lumarq", "-dashed.bmp"}, std::nullopt, ""},
            {{"lumarq", "--helpful.bmp"}, 2, "", "lumarq: unknown option --helpful.bmp\n" + usage},
            {{"lumarq", "-h"}, 2, "", "lumarq: unknown option -h\n" + usage},
            {{"lumarq", "-\x1b]0;x\a"}, 2, "", "lumarq: unknown option '-'$'\\033'']0;x'$'\\a'\n" + usage},
        };
        for (const Case& c : cases) {
            std::ostringstream out, err;
            const auto status =
                lumarq::AnswerCommandLine(static_cast<int>(c.arguments.size()), c.arguments.data(), out, err);
            const QByteArray where = QByteArray("argument count ") + QByteArray::number(int(c.arguments.size())) +
                                     ", last " + c.arguments.back();
            QVERIFY2(status == c.status, where);
            QVERIFY2(out.str() == c.printed, where);
            QVERIFY2(err.str() == c.complaint, where);
        }
    }

    void reportsAnAnswerThatCouldNotBeWritten() {
        std::ostream closed(nullptr);
        const char* arguments[] = {"lumarq", "--version"};
        QCOMPARE(lumarq::AnswerCommandLine(2, arguments, closed, closed), std::optional<int>(1));
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
