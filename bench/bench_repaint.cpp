// A slider change as the user sees it: the render alone against the panel's whole
// path (ScrollBar1Change: render, FormPaint) followed by the image window actually
// painting, beside a memcpy of the raster in the same run. Runs the real windows on
// Qt's offscreen platform, with a screen of a set size: built twice, for a
// 1920 x 1080 image that a screen of its size shows whole, for a 6000 x 4000
// photograph in a window far larger than its 1600 x 1000 screen, and for a
// 4000 x 3000 photograph shown at Fit on that screen (BENCH_VIEW_FIT), where the
// switch between Fit and Actual Size is timed too.
#include <QApplication>
#include <QDir>
#include <QFile>
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

#ifndef BENCH_IMAGE_WIDTH
#define BENCH_IMAGE_WIDTH 1920
#define BENCH_IMAGE_HEIGHT 1080
#define BENCH_SCREEN_WIDTH 1920
#define BENCH_SCREEN_HEIGHT 1080
#endif
constexpr int kWidth = BENCH_IMAGE_WIDTH, kHeight = BENCH_IMAGE_HEIGHT;
constexpr int kScreenWidth = BENCH_SCREEN_WIDTH, kScreenHeight = BENCH_SCREEN_HEIGHT;

// Points Qt's offscreen platform at a description of one screen of the set size.
bool ConfigureScreen(const QTemporaryDir& folder) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;  // the caller's own choice
    const QString path = QDir(folder.path()).filePath(QStringLiteral("screen.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QStringLiteral(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": %1, "height": %2, "dpr": 1}]})")
                   .arg(kScreenWidth)
                   .arg(kScreenHeight)
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit());
    return true;
}

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

void Memcpy(benchmark::State& state) { CopyRasterBytes(state, *Form1->Document().SourceRaster); }

void Render(benchmark::State& state) {
    const RenderSettings settings = SettingsFor(state.range(0));
    for (auto _ : state) {
        RenderPipeline(*Form1->Document().WorkRaster, *Form1->Document().SourceRaster, settings);
        benchmark::DoNotOptimize(Form1->Document().WorkRaster->Bits);
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

// The timing script's steps: the pattern slider moved down from 29 to 0 a step
// at a time at angle 30, rendered, and painted when asked (as when the user moves
// slower than the program; a burst of keys gets one paint for many renders). Each
// iteration is one step.
void StepPatterns(benchmark::State& state) {
    RenderSettings settings;
    settings.Angle = 30;
    settings.Pattern = 30;
    SetSliders(settings);
    for (auto _ : state) {
        if (Form4->ScrollBar1->value() == 0) {
            state.PauseTiming();
            Form4->ScrollBar1->setValue(30);
            state.ResumeTiming();
        }
        Form4->ScrollBar1->setValue(Form4->ScrollBar1->value() - 1);
        if (state.range(0)) Form1->repaint();
        benchmark::ClobberMemory();
    }
    QApplication::processEvents();
}
BENCHMARK(StepPatterns)->ArgName("painted")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef BENCH_VIEW_FIT
// Ctrl+1 or Ctrl+0 and the paint that follows; each iteration one switch.
void SwitchFitAndActual(benchmark::State& state) {
    bool fit = true;
    for (auto _ : state) {
        fit = !fit;
        if (fit)
            Form1->ViewFit();
        else
            Form1->ViewActualSize();
        Form1->repaint();
        benchmark::ClobberMemory();
    }
    if (!fit) Form1->ViewFit();
    QApplication::processEvents();
}
BENCHMARK(SwitchFitAndActual)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(Render)->ArgName("turned")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(RenderAndRepaint)->ArgName("turned")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Repaint)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QTemporaryDir folder;
    if (!ConfigureScreen(folder)) {
        std::fprintf(stderr, "bench_repaint: cannot write the screen's description\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    platform::SetSoundHandler([](const QString&, platform::SoundMode) {});

    // The image is loaded the program's own way, from a bitmap file given on the
    // command line, so that the windows are sized and shown as at start-up.
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
    if (lumarq::TerminateRequested() || Form1->Document().WorkRaster->Width() != kWidth) {
        std::fprintf(stderr, "bench_repaint: the image window did not open the test image\n");
        return 1;
    }
    QApplication::processEvents();
#ifdef BENCH_VIEW_FIT
    Form1->ViewFit();
    QApplication::processEvents();
#endif

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
