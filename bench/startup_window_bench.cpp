// The program's start to a shown main window and its quit (Escape: save, close, process end), with a
// database of a million addresses and with none, in child processes of this benchmark that run the
// program's own start-up on the offscreen platform. Beside them in the same loop: a Qt Widgets hello
// linking the same libraries, and, for the quit, the save of the same database in this process.
#include "bench/bench_support.h"
#include "gui/app/application.h"
#include "gui/app/main_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <cstring>
#include <ctime>

namespace {

using namespace sendwell::bench;

std::int64_t MonotonicNs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// --- The child ---------------------------------------------------------------------------------------

enum class ChildMode { Hello, Start, Quit };

// Watches for the first paint of the main window (or the hello widget): a start ends the process there;
// a quit presses Escape and writes when it did so.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(ChildMode mode) : mode_(mode) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (done_ || event->type() != QEvent::Paint || !watched->isWidgetType()) {
            return false;
        }
        auto* widget = static_cast<QWidget*>(watched);
        if (mode_ != ChildMode::Hello && qobject_cast<sendwell::gui::MainWindow*>(widget) == nullptr) {
            return false;
        }
        done_ = true;
        if (mode_ != ChildMode::Quit) {
            std::_Exit(0);
        }
        QTimer::singleShot(0, widget, [widget] {
            std::printf("%lld\n", static_cast<long long>(MonotonicNs()));
            std::fflush(stdout);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &press);
        });
        return false;
    }

private:
    ChildMode mode_;
    bool done_ = false;
};

int ChildMain(int argc, char** argv, ChildMode mode) {
    // As the program's main() does.
    if (mode != ChildMode::Hello) {
        sendwell::gui::PrepareProcess();
    }
    QApplication app(argc, argv);
    FirstPaint watch(mode);
    app.installEventFilter(&watch);
    if (mode == ChildMode::Hello) {
        QWidget hello;
        hello.resize(400, 300);
        hello.show();
        return app.exec();
    }
    return sendwell::gui::RunApplication(app);
}

// --- The parent --------------------------------------------------------------------------------------

std::string& SelfPath() {
    static std::string path;
    return path;
}

// A user's folders: settings, data (with or without the million-address file) and a program folder.
fs::path World(bool million) {
    const fs::path world = Scratch() / (million ? "million" : "empty");
    if (!fs::exists(world)) {
        fs::create_directories(world / "config");
        fs::create_directories(world / "program");
        fs::create_directories(world / "runtime");
        fs::permissions(world / "runtime", fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(world / "data" / "Sendwell");
        if (million &&
            !sendwell::SaveDatabase(SampleDatabase(), world / "data" / "Sendwell" / "linkroll2.dat")) {
            std::abort();
        }
    }
    return world;
}

std::vector<std::string> WorldEnv(const fs::path& world) {
    return {"XDG_CONFIG_HOME=" + (world / "config").string(),
            "XDG_DATA_HOME=" + (world / "data").string(),
            "HOME=" + world.string(),
            "XDG_RUNTIME_DIR=" + (world / "runtime").string(),
            "QT_QPA_PLATFORM=offscreen",
            "SENDWELL_LOOPBACK_ONLY=1"};
}

// Process start to the first paint of its window.
double StartSeconds(const char* mode, bool million) {
    const fs::path world = World(million);
    const auto start = Clock::now();
    WaitFor(Spawn({SelfPath(), mode}, WorldEnv(world), world / "program"));
    return Seconds(Clock::now() - start);
}

// Escape pressed to the end of the process.
double QuitSeconds(bool million) {
    const fs::path world = World(million);
    int out[2];
    if (::pipe(out) != 0) {
        std::abort();
    }
    const pid_t pid = Spawn({SelfPath(), "--child-quit"}, WorldEnv(world), world / "program", out[1]);
    ::close(out[1]);
    char text[64] = {};
    std::size_t used = 0;
    for (ssize_t n; (n = ::read(out[0], text + used, sizeof text - 1 - used)) > 0;) {
        used += static_cast<std::size_t>(n);
    }
    WaitFor(pid);
    const std::int64_t ended = MonotonicNs();
    ::close(out[0]);
    return static_cast<double>(ended - std::atoll(text)) / 1e9;
}

void BM_StartToShownWindow(benchmark::State& state) {
    std::vector<double> hello, empty, million;
    for (auto _ : state) {
        hello.push_back(StartSeconds("--child-hello", false));
        empty.push_back(StartSeconds("--child-start", false));
        million.push_back(StartSeconds("--child-start", true));
        state.SetIterationTime(million.back());
    }
    state.counters["ratio_to_empty"] = Median(million) / Median(empty);
    Say("start to a shown window: 1M addresses %.1f ms, empty database %.1f ms (%.2f times), Qt Widgets "
        "hello %.1f ms",
        Median(million) * 1e3, Median(empty) * 1e3, Median(million) / Median(empty), Median(hello) * 1e3);
}
BENCHMARK(BM_StartToShownWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

void BM_QuitWithMillion(benchmark::State& state) {
    const fs::path file = World(true) / "data" / "Sendwell" / "linkroll2.dat";
    std::vector<double> quit, save, empty;
    for (auto _ : state) {
        empty.push_back(QuitSeconds(false));
        const fs::file_time_type before = fs::last_write_time(file);
        quit.push_back(QuitSeconds(true));
        if (fs::last_write_time(file) == before) {
            state.SkipWithError("the quit did not save the database");
            return;
        }
        const auto start = Clock::now();
        if (!sendwell::SaveDatabase(SampleDatabase(), Scratch() / "save.dat")) {
            std::abort();
        }
        save.push_back(Seconds(Clock::now() - start));
        state.SetIterationTime(quit.back());
    }
    Say("quit (Escape to the end of the process): 1M addresses %.1f ms, of which the save in this process "
        "takes %.1f ms (quit minus save %+.1f ms); empty database %.1f ms",
        Median(quit) * 1e3, Median(save) * 1e3, (Median(quit) - Median(save)) * 1e3, Median(empty) * 1e3);
}
BENCHMARK(BM_QuitWithMillion)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    const std::pair<const char*, ChildMode> modes[] = {{"--child-hello", ChildMode::Hello},
                                                       {"--child-start", ChildMode::Start},
                                                       {"--child-quit", ChildMode::Quit}};
    for (const auto& [flag, mode] : modes) {
        if (argc > 1 && std::strcmp(argv[1], flag) == 0) {
            return ChildMain(argc, argv, mode);
        }
    }
    SelfPath() = fs::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary("Medians:");
    return 0;
}
