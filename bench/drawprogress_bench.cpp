// One full draw of the window's 281 x 25 pixel bar at 0, 50 and 100 %.
#include "progress/picture_box.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

void drawBar(benchmark::State &state)
{
    progress::PictureBox picture(4215, 375, 15);
    QLabel text(QStringLiteral("0%"), &picture);
    text.setGeometry(120, 0, 33, 17);
    progress::LabelOnPicture label(&text);
    const auto percent = static_cast<std::uint8_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(progress::drawwindowbar(percent, picture, label, 15));
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
