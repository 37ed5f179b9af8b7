// Shared set-up of the FTP test programs: the network layer and the FTP
// library started once per program, and small helpers for local files.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ftp/ftp.h"
#include "net/net.h"

class FtpEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Net_Init();
    Ftp_Init();
  }
  void TearDown() override {
    Ftp_End();
    Net_End();
  }
};

// A runtime string of 8-bit text (ASCII).
std::u16string Wide(const std::string& text);
// A fresh directory of its own under the system's temporary directory.
std::string TempDirectory();
// Writes `bytes` to `path`; false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);
// The whole content of `path`, or nullopt-like empty with *exists false.
std::string ReadWholeFile(const std::string& path, bool* exists = nullptr);
// `count` bytes of a pattern that shows misplaced or lost blocks.
std::string Pattern(size_t count, unsigned seed = 1);
// A local map file for an upload, removed with its directory at the end.
struct LocalFile {
  explicit LocalFile(const std::string& bytes);
  ~LocalFile();
  std::u16string wide() const { return Wide(path); }
  std::string directory, path;
};

// Polls the upload's progress (bounded by `ms`) until it is no running state.
int64_t WaitForOutcome(ObjectNumber session, int ms = 20000);
