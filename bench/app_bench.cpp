// The uploader during a 1 GiB upload to vsftpd on loopback: the GUI thread's
// CPU time and refresh passes a second, and the throughput against the FTP
// library's upload without a GUI, measured in the same run.
//
// build/default/bench/bench_app  (as root, like the FTP tests: the server's account)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "bench.h"

#ifdef APP_SIM

#include "ftp/ftp.h"
#include "net/net.h"
#include "tests/app/app_child.h"
#include "tests/app/trial_server.h"
#include "upload.h"

namespace {

constexpr int64_t kMapBytes = int64_t{1} << 30;

// The server and the local map, made once for all runs.
struct Setup {
  TrialServer trial;
  std::string map;
  std::string why;
  bool ready = false;

  Setup() {
    // Both ends in memory, as in the FTP benchmark, so that the client's own cost shows.
    setenv("TMPDIR", "/dev/shm", 1);
    bool missing = false;
    if (!trial.Start(0, &why, &missing)) return;
    map = std::filesystem::path(trial.server.root).parent_path().string() + "/big.bxm";
    ready = Bench_WriteFile(map, kMapBytes);
    if (!ready) why = "cannot write the 1 GiB map";
  }
  // Keeps the disk from filling over the repetitions.
  void RemoveUpload() const {
    std::error_code ignored;
    std::filesystem::remove(trial.server.root + "/big.bxm", ignored);
  }
};

Setup& setup() {
  static Setup* shared = new Setup;  // lives to the end; the server stops with the process group
  return *shared;
}

// The best of each side over the repetitions, for the closing line.
double bestPlainSeconds = 0, bestGuiSeconds = 0;

struct Summary {
  ~Summary() {
    if (bestPlainSeconds > 0 && bestGuiSeconds > 0)
      std::printf("upload with the GUI against the FTP library alone: %.2fx of its throughput\n",
                  bestPlainSeconds / bestGuiSeconds);
  }
} summary;

// The FTP library alone: the same background upload, its progress polled
// every millisecond as the FTP benchmark polls it.
void BM_UploadWithoutGui(benchmark::State& state) {
  Setup& s = setup();
  if (!s.ready) {
    state.SkipWithError(s.why.c_str());
    return;
  }
  Net_Init();
  Ftp_Init();
  const std::u16string path(s.map.begin(), s.map.end());
  for (auto _ : state) {
    s.RemoveUpload();
    if (!Ftp_Open(20, u"127.0.0.1", u"brixmaps", u"wol347", 1, s.trial.server.port)) {
      state.SkipWithError("cannot log in");
      break;
    }
    const double seconds = Bench_UploadSeconds(20, path, u"big.bxm");
    Ftp_Close(20);
    if (seconds < 0) {
      state.SkipWithError("the upload failed");
      break;
    }
    state.SetIterationTime(seconds);
    Bench_KeepBest(&bestPlainSeconds, seconds);
    state.counters["MB/s"] = kMapBytes / seconds / 1e6;
  }
  s.RemoveUpload();
  Ftp_End();
  Net_End();
}
BENCHMARK(BM_UploadWithoutGui)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// The program with its simulated user: from the press of "upload" to "Finished!".
void BM_UploadWithGui(benchmark::State& state) {
  Setup& s = setup();
  if (!s.ready) {
    state.SkipWithError(s.why.c_str());
    return;
  }
  static const std::regex measured(R"(wall (\S+) cpu (\S+) passes (\d+))");
  for (auto _ : state) {
    s.RemoveUpload();
    ChildRun run = RunUploader(
        {"scenario=bench", "host=127.0.0.1", "port=" + std::to_string(s.trial.server.port), "file=" + s.map},
        600);
    std::vector<std::string> lines = run.Step("measured");
    std::smatch m;
    if (run.exitCode != 0 || lines.size() != 1 || !std::regex_match(lines[0], m, measured)) {
      state.SkipWithError(("the program's run failed:\n" + run.Text()).c_str());
      break;
    }
    const double wall = std::stod(m[1]), cpu = std::stod(m[2]), passes = std::stod(m[3]);
    state.SetIterationTime(wall);
    Bench_KeepBest(&bestGuiSeconds, wall);
    state.counters["MB/s"] = kMapBytes / wall / 1e6;
    state.counters["gui_cpu_%"] = cpu / wall * 100;
    state.counters["refresh/s"] = passes / wall;
  }
  s.RemoveUpload();
}
BENCHMARK(BM_UploadWithGui)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

#else

namespace {

// Without the tests' build there is no simulated application to drive: say so
// in the results instead of running nothing without a word.
void BM_UploadWithGui(benchmark::State& state) {
  state.SkipWithError("skipped: needs the tests' build (configure with tests on)");
  for (auto _ : state) {
  }
}
BENCHMARK(BM_UploadWithGui);

}  // namespace

#endif
