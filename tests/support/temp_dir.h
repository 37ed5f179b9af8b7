// Scratch directories for tests. Test programs run side by side (several
// cases at once, and the builds' suites together), and under the thread
// sanitizer their addresses repeat from process to process, so a name made
// from an address or a test's name can be another process's directory.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

// A new, empty directory under the system's temporary folder, named `prefix`
// and a random part, made by this call and so no one else's.
inline std::filesystem::path Test_MakeTempDirectory(const std::string& prefix) {
  static std::random_device entropy;
  for (;;) {
    auto path = std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(entropy()) + "-" + std::to_string(entropy()));
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) return path;
  }
}
