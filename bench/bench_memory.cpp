// How much the windowed program's resident memory grows per image pixel with an
// image loaded: the image window first shows a 129 x 129 image, then opens a
// 3840 x 2160 one through the panel's Open and paints it; the growth of the
// process's resident set, divided by the pixels added, is printed. Runs the real
// windows (Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise).
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "bench/bench_common.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/sound.h"

namespace {

long long ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    return -1;
}

QString WriteImage(const QTemporaryDir& folder, const char* name, int width, int height) {
    const QString path = QDir(folder.path()).filePath(QString::fromLatin1(name));
    TWin image(width, height);
    FillLikeAPhotograph(image);
    return image.SaveToFile(QFile::encodeName(path).toStdString()) ? path : QString();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    platform::SetSoundHandler([](const QString&, platform::SoundMode) {});
    constexpr int kWidth = 3840, kHeight = 2160, kSmall = 129;
    QTemporaryDir folder;
    const QString small = WriteImage(folder, "small.bmp", kSmall, kSmall), large = WriteImage(folder, "large.bmp", kWidth, kHeight);
    if (small.isEmpty() || large.isEmpty()) {
        std::fprintf(stderr, "bench_memory: cannot write the test images\n");
        return 1;
    }
    lumarq::Windows windows(QStringList{small});
    lumarq::ShowMainWindow();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    Form1->repaint();
    const long long before = ResidentBytes();

    platform::SetFileDialogHandler([&](const platform::FileDialogRequest&) { return std::optional<QString>(large); });
    Form4->Open1Click();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    Form1->repaint();
    const long long after = ResidentBytes();
    if (Form1->Document().WorkRaster->Width() != kWidth) {
        std::fprintf(stderr, "bench_memory: the image window did not open the large image\n");
        return 1;
    }
    const double pixels = double(kWidth) * kHeight - double(kSmall) * kSmall;
    std::printf("resident before %lld bytes, after %lld bytes: %.2f bytes per image pixel (%d x %d)\n", before, after,
                double(after - before) / pixels, kWidth, kHeight);
    return 0;
}
