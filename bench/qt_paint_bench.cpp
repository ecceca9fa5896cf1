// One paint of the spectrum view at 1920 x 1080 through the Qt canvas, as
// the window paints it every second: the erase, the grid and labels, a
// stopped band and a selection, the minimum-amplitude, average and peak
// traces. The spectrum is shaped like a receiver's (a noise floor, speech
// harmonics, a whistle) with frame-to-frame scatter; at Zoom In (argument 1)
// its traces run twenty times as tall, mostly off the top.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "app/headless/recording_view.h"
#include "app/qt/painter_canvas.h"
#include "app/qt/spectrum_area.h"
#include "engine/audio_engine.h"
#include "mixer/level_controls.h"
#include "platform/sim/sim_host.h"
#include "platform/sim/sim_wave.h"
#include "ui/command_table.h"
#include "ui/dialog_templates.h"
#include "ui/main_window.h"
#include "ui/window_messages.h"

namespace {

void BM_QtSpectrumPaint1920(benchmark::State& state) {
    sim::SimHost host;
    platform::setHost(&host);
    sim::ScriptedWaveIn in;
    sim::ScriptedWaveOut out;
    CMixerExtend mixer;
    AutoInputLevel level(mixer);
    auto filters = std::make_unique<engine::InputFilters>();
    auto engine = std::make_unique<CAudioEngine>();
    engine->attach(&in, &out, &level, filters.get());
    headless::RecordingView view(host);
    const QFont font = [] {
        QFont f;
        f.setBold(true);
        return f;
    }();
    const ui::FontMetrics metrics = qt_front::labelMetrics(font);
    view.metrics = metrics;
    ui::MainWindow window({*engine, *filters, mixer, &level, nullptr, view});
    view.attach(&window);
    view.onModalDialog = [](dialogs::DialogModel& d) {
        if (d.dialogTemplate().resourceId != ui::kWelcomeDialog.resourceId) return;
        d.command(ui::kIdRate44100);
        d.command(ui::kIdSimulatedStereo);
        d.command(dialogs::kIdOk);
    };
    window.handleMessage(ui::kWmCreate, 0, 0);
    view.onModalDialog = {};
    host.runUntilIdle();
    const int width = 1920, height = 1080;
    window.handleMessage(ui::kWmSize, ui::kSizeRestored, ui::sizeParam(width, height));
    window.handleMessage(ui::kWmCommand, ui::ID_SHOW_PEAKS, 0);
    window.handleMessage(ui::kWmCommand, ui::ID_SHOW_MIN_AMPLITUDE, 0);
    window.handleMessage(ui::kWmCommand, ui::ID_NOTCH_WIDE, 0);
    if (state.range(0) == 1) window.handleMessage(ui::kWmCommand, ui::ID_ZOOM_IN, 0);
    window.handleMessage(ui::kWmLButtonDown, 0, ui::pointParam(300, 100));
    window.handleMessage(ui::kWmMouseMove, 0, ui::pointParam(600, 100));
    window.handleMessage(ui::kWmLButtonUp, 0, ui::pointParam(600, 100));
    host.runUntilIdle();

    std::mt19937 random(7);
    std::uniform_real_distribution<double> scatter(0.6, 1.4);
    std::vector<double> shape(engine->binCount);
    for (uint32_t k = 0; k < engine->binCount; ++k) {
        const double f = engine->binFrequency[k];
        double a = 4000.0 + 3000.0 * std::exp(-f / 3000.0);
        for (double h = 150.0; h < 3000.0; h += 150.0)
            a += 40000.0 * std::exp(-(f - h) * (f - h) / 800.0) * std::exp(-f / 1500.0);
        a += 300000.0 * std::exp(-(f - 5000.0) * (f - 5000.0) / 300.0);
        shape[k] = a;
    }
    QImage image(width, height, QImage::Format_RGB32);
    const QColor background(ui::kWindowBackground.red, ui::kWindowBackground.green,
                            ui::kWindowBackground.blue);
    for (auto _ : state) {
        // A second of frames summed, as the engine leaves them.
        state.PauseTiming();
        for (uint32_t k = 0; k < engine->binCount; ++k) {
            engine->displaySum[k] = 43.0 * shape[k] * scatter(random);
            engine->peakSpectrum[k] = 1.8 * shape[k] * scatter(random);
        }
        engine->frameCount = 43;
        state.ResumeTiming();
        QPainter painter(&image);
        painter.fillRect(image.rect(), background);
        qt_front::PainterCanvas canvas(painter, font);
        window.paint(canvas);
    }
    window.handleMessage(ui::kWmCommand, ui::ID_EXIT, 0);
    host.runUntilIdle();
    platform::setHost(nullptr);
}
BENCHMARK(BM_QtSpectrumPaint1920)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The erase alone, for comparison: what any paint of the area costs.
void BM_QtEraseOnly1920(benchmark::State& state) {
    QImage image(1920, 1080, QImage::Format_RGB32);
    const QColor background(ui::kWindowBackground.red, ui::kWindowBackground.green,
                            ui::kWindowBackground.blue);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), background);
    }
}
BENCHMARK(BM_QtEraseOnly1920)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
