// A slider change as the user sees it on a 1920 x 1080 image: the render alone
// against the panel's whole path (ScrollBar1Change: render, FormPaint) followed by
// the image window actually painting, beside a memcpy of the raster in the same
// run. Runs the real windows on Qt's offscreen platform.
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "platform/qt/sound.h"
#include "bench/bench_common.h"
#include "raster/render.h"
#include "raster/win.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

// The slider positions of one case: the start-up settings, or angle 30 with pattern 33.
RenderSettings SettingsFor(std::int64_t turned) {
    RenderSettings settings;
    if (turned) {
        settings.Angle = 30;
        settings.Pattern = 33;
    }
    return settings;
}

void SetSliders(const RenderSettings& s) {
    Form4->ScrollBar1->setValue(s.Pattern);
    Form4->ScrollBar2->setValue(s.Detector);
    Form4->ScrollBar3->setValue(s.Red);
    Form4->ScrollBar4->setValue(s.Green);
    Form4->ScrollBar5->setValue(s.Blue);
    Form4->ScrollBar6->setValue(s.XOffset);
    Form4->ScrollBar7->setValue(s.YOffset);
    Form4->ScrollBar8->setValue(s.Angle);
}

void Memcpy(benchmark::State& state) { CopyRasterBytes(state, *Form1->SourceRaster); }

void Render(benchmark::State& state) {
    const RenderSettings settings = SettingsFor(state.range(0));
    for (auto _ : state) {
        RenderPipeline(*Form1->WorkRaster, *Form1->SourceRaster, settings);
        benchmark::DoNotOptimize(Form1->WorkRaster->Bits);
        benchmark::ClobberMemory();
    }
}

// The panel's handler renders and calls FormPaint; repaint() then makes the shown
// window paint at once, as the event loop would after the handler returns.
void RenderAndRepaint(benchmark::State& state) {
    SetSliders(SettingsFor(state.range(0)));
    for (auto _ : state) {
        Form4->ScrollBar1Change();
        Form1->repaint();
        benchmark::ClobberMemory();
    }
    QApplication::processEvents();
}

// The paint alone, for the breakdown.
void Repaint(benchmark::State& state) {
    for (auto _ : state) {
        Form1->repaint();
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(Render)->ArgName("turned")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(RenderAndRepaint)->ArgName("turned")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Repaint)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    platform::SetSoundHandler([](const QString&, platform::SoundMode) {});

    // The image is loaded the program's own way, from a bitmap file given on the
    // command line, so that the windows are sized and shown as at start-up.
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("photograph.bmp"));
    {
        TWin image(kWidth, kHeight);
        FillLikeAPhotograph(image);
        if (!image.SaveToFile(QFile::encodeName(path).toStdString())) {
            std::fprintf(stderr, "bench_repaint: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    lumarq::Windows windows(QStringList{path});
    lumarq::ShowMainWindow();
    QApplication::processEvents();  // the first load runs from the loop
    if (lumarq::TerminateRequested() || Form1->WorkRaster->Width() != kWidth) {
        std::fprintf(stderr, "bench_repaint: the image window did not open the test image\n");
        return 1;
    }
    QApplication::processEvents();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
