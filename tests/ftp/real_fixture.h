// The shared fixture of the programs that run the FTP client against a real
// server: the server started before each case, a local directory of the case's
// own, and after it every session closed and the directory removed.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ftp/ftp.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/real_server.h"

template <typename Base = ::testing::Test>
class RealServerFixture : public Base {
 protected:
  // The server each case runs against; settings on `server` (rate limit, idle
  // time) are made before SetUp.
  virtual RealServerKind Kind() const = 0;

  // Starts the server; the case is skipped where the server program is not on
  // this machine and fails where it does not start.
  void SetUp() override {
    std::string why;
    bool missing = false;
    if (!server.Start(Kind(), &why, &missing)) {
      if (missing) GTEST_SKIP() << why;
      FAIL() << why;
    }
    local = TempDirectory();
  }
  void TearDown() override {
    Ftp_Close(OBJECT_ANY);
    std::error_code ignored;
    std::filesystem::remove_all(local, ignored);
  }

  // Session `number` on the server with the tests' account; null when the
  // login failed.
  FtpSession* Open(int32_t passive = 1, ObjectNumber number = 20) {
    return Ftp_Open(number, u"127.0.0.1", u"brixmaps", u"wol347", passive, server.port);
  }
  // A local file `name` holding `bytes`; its path.
  std::string LocalPath(const std::string& name, const std::string& bytes) {
    std::string path = local + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  // A local file `name` of `size` zero bytes, sparse where the file system
  // allows; its path.
  std::string SparseFile(const std::string& name, int64_t size) {
    std::string path = local + "/" + name;
    { std::ofstream out(path, std::ios::binary); }
    std::filesystem::resize_file(path, size);
    return path;
  }
  // Starts a background upload of `path` as `remote` on session 20 and waits
  // (bounded) until `sent` bytes are out; false when it did not get there.
  bool UploadUntil(const std::string& path, const char16_t* remote, int64_t sent) {
    if (Ftp_SendFile(20, Wide(path).c_str(), remote, 1) != 1) return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Ftp_Progress(20) < sent && Ftp_Progress(20) != FTP_PROGRESS_FAILED &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Ftp_Progress(20) >= sent;
  }
  // The content of the server's file `name` (below its root).
  std::string Remote(const std::string& name, bool* exists = nullptr) {
    return ReadWholeFile(server.root + "/" + name, exists);
  }
  bool RemoteExists(const std::string& name) { return std::filesystem::exists(server.root + "/" + name); }

  RealServer server;
  std::string local;
};
