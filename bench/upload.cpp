// Shared parts of the upload benchmarks.
#include "upload.h"

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "ftp/ftp.h"

bool Bench_WriteFile(const std::string& path, int64_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 20);
  uint32_t state = 1;
  for (char& b : block) b = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
  for (int64_t written = 0; written < size && out; written += static_cast<int64_t>(block.size())) {
    const int64_t left = size - written;
    out.write(block.data(), static_cast<std::streamsize>(left < static_cast<int64_t>(block.size())
                                                             ? left
                                                             : static_cast<int64_t>(block.size())));
  }
  out.close();
  return static_cast<bool>(out);
}

double Bench_UploadSeconds(ObjectNumber session, const std::u16string& path, const char16_t* remote) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  if (!Ftp_SendFile(session, path.c_str(), remote, 1)) return -1;
  const auto deadline = start + std::chrono::minutes(10);
  int64_t progress;
  while ((progress = Ftp_Progress(session)) != FTP_PROGRESS_FINISHED && progress != FTP_PROGRESS_FAILED) {
    if (Clock::now() >= deadline) {
      Ftp_Abort(session);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return progress == FTP_PROGRESS_FINISHED ? seconds : -1;
}

void Bench_KeepBest(double* best, double value) {
  if (*best == 0 || value < *best) *best = value;
}
