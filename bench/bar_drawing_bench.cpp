// One full draw of the window's 281 x 25 pixel bar at 0, 50 and 100 %.
#include "progress/gradient_bar.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

void drawBar(benchmark::State &state)
{
    progress::GradientBar bar(4215, 375, 15);
    QLabel text(QStringLiteral("0%"), &bar);
    text.setGeometry(120, 0, 33, 17);
    progress::LabelOnBar label(&text);
    const auto percent = static_cast<std::uint8_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(progress::drawWindowBar(percent, bar, label, 15));
}

} // namespace

BENCHMARK(drawBar)->Arg(0)->Arg(50)->Arg(100);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
