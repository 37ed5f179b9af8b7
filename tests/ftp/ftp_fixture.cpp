// Helpers of the FTP test programs.
#include "tests/ftp/ftp_fixture.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"

static ::testing::Environment* const ftpEnvironment = ::testing::AddGlobalTestEnvironment(new FtpEnvironment);

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string TempDirectory() { return Test_MakeTempDirectory("tilepost-ftp").string(); }

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string ReadWholeFile(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  if (exists) *exists = static_cast<bool>(in);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string Pattern(size_t count, unsigned seed) {
  std::string bytes(count, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < count; i++) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

int64_t WaitForOutcome(ObjectNumber session, int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int64_t progress = Ftp_Progress(session);
  while ((progress == FTP_PROGRESS_STARTING || progress >= 0) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    progress = Ftp_Progress(session);
  }
  return progress;
}

LocalFile::LocalFile(const std::string& bytes) : directory(TempDirectory()), path(directory + "/map.bxm") {
  WriteFile(path, bytes);
}

LocalFile::~LocalFile() {
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
}
