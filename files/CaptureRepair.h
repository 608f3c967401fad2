#pragma once

// Repair of captures that never saw their end: a crash, a power cut or SIGKILL leaves the
// frames on disk behind a placeholder header (sizes 0 or left as written at the start, counts 0,
// no index in the last part). The repair rebuilds sizes, counts and indexes from the data on
// disk, in place, after a full copy of the file has been made and synced.
//
// Files handled are the ones the program writes: DV type-1 AVI (our writer), AVI from avimux
// (DV type 2, MPEG-4 with PCM or MP3), WAV with PCM or MP3 data. Anything else, or a file cut
// inside its header, is refused and left untouched.

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vidorel {

struct TRepairReport {
    int ExitStatus = 0; // 0 repaired or healthy, 1 refused, 2 I/O error
    bool Changed = false;
    std::string Message;    // the line for the user (without "vidorel-capture: " for errors)
    std::string BackupPath; // when a backup was written
};

// What a repair would do, decided from reading only; tests look at it directly.
struct TRepairPlan {
    enum class Verdict { Repair, Healthy, Refused, IoError };
    Verdict verdict = Verdict::Refused;
    std::string why; // refusal or I/O error, in words
    // The file is cut to keepBytes, then `tail` is appended, then each patch is written (all
    // patches lie before keepBytes).
    uint64_t keepBytes = 0;
    std::vector<uint8_t> tail;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> patches;
    uint64_t keptFrames = 0; // video frames (AVI)
    double keptSeconds = 0;
    bool isAvi = false;
};

TRepairPlan PlanAviRepair(int fd, uint64_t fileSize);
TRepairPlan PlanWavRepair(int fd, uint64_t fileSize);
// Chooses by the RIFF form type.
TRepairPlan PlanCaptureRepair(int fd, uint64_t fileSize);

// The first free backup name: FILE.bak, FILE.bak.1, FILE.bak.2, ...
std::string NextBackupPath(const std::string& path);

// Repairs `path` (see the header comment); never touches a healthy or refused file.
// Without `backup` no copy is made: for the file of a capture that has just failed (a full
// disk leaves no room for one, and nothing older is at stake).
TRepairReport RepairCapture(const std::string& path, bool backup = true);

// The command: one line on `out` on success, "vidorel-capture: ..." on `err` otherwise.
// Answers 0 when repaired or already healthy, 1 when refused, 2 on an I/O error.
int RunRepair(const std::string& path, std::FILE* out, std::FILE* err);

} // namespace vidorel
