// lumarq's own command line: --help and --version are answered before any window
// exists; every other first argument is left to be the image to open.
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
        };
        const std::string version = std::string("lumarq ") + LUMARQ_VERSION + "\n";
        const Case cases[] = {
            {{"lumarq", "--help"}, 0, lumarq::kUsage},
            {{"lumarq", "--version"}, 0, version},
            {{"lumarq", "--version", "photo.bmp"}, 0, version},
            {{"lumarq"}, std::nullopt, ""},
            {{"lumarq", "photo.bmp"}, std::nullopt, ""},
            {{"lumarq", "photo.bmp", "--help"}, std::nullopt, ""},
            {{"lumarq", "--helpful.bmp"}, std::nullopt, ""},
            {{"lumarq", "-h"}, std::nullopt, ""},
        };
        for (const Case& c : cases) {
            std::ostringstream out;
            const auto status = lumarq::AnswerCommandLine(static_cast<int>(c.arguments.size()), c.arguments.data(), out);
            const QByteArray where = QByteArray("argument count ") + QByteArray::number(int(c.arguments.size())) +
                                     ", last " + c.arguments.back();
            QVERIFY2(status == c.status, where);
            QVERIFY2(out.str() == c.printed, where);
        }
    }

    void reportsAnAnswerThatCouldNotBeWritten() {
        std::ostream closed(nullptr);
        const char* arguments[] = {"lumarq", "--version"};
        QCOMPARE(lumarq::AnswerCommandLine(2, arguments, closed), std::optional<int>(1));
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
