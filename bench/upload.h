// Shared parts of the upload benchmarks (bench_ftp, bench_app): the large local
// file, one timed background upload, and the best of the repetitions.
#pragma once

#include <cstdint>
#include <string>

#include "core/types.h"

// Writes `size` bytes of a fixed pattern to `path` (created or truncated);
// false when it could not be written whole.
bool Bench_WriteFile(const std::string& path, int64_t size);
// A background upload of the local `path` as `remote` on FTP session
// `session`, its progress read every millisecond as the uploader reads it,
// to its outcome (bounded: after ten minutes it is aborted). Returns the
// seconds it took, or -1 when it did not start or did not finish.
double Bench_UploadSeconds(ObjectNumber session, const std::u16string& path, const char16_t* remote);
// Keeps the smaller of *best and `value` in *best; a *best of 0 is none yet.
void Bench_KeepBest(double* best, double value);
