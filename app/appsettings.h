#pragma once

#include <QString>
#include <cstdint>

class SettingsStore;

// The values the program keeps between runs, with their first-start defaults.
struct AppSettings {
    std::uint8_t port = 0;    // "Port": serial port number, 0 = none
    std::int32_t alg = 0;     // "Alg": trigger algorithm
    std::int32_t left = 203;  // "Left", "Top": written back, never applied (the system places us)
    std::int32_t top = 328;
    std::int32_t width = 800;  // "Width", "Height"
    std::int32_t height = 394;
    bool sound = true;           // "Sound"
    std::int32_t acc = 2;        // "Acc": resolution
    std::int32_t dist = 42195;   // "Dist": course distance in metres
    std::int32_t filterInd = 2;  // "FilterInd": save dialog filter index
    // The live results page: "Live" (1 on), "LivePort", "LiveLAN" (1: other machines may
    // connect, 0: only this computer).
    bool live = false;
    std::int32_t livePort = 8080;
    bool liveLan = false;
    // "Folder": where a file was last saved to or opened from; empty before any was. Not one of
    // the integers above, and read whatever became of them.
    QString folder;
};

// What the window and the configuration dialog can take: the window's minimum size, the largest
// extent a window system places, and the dialog's 100 km in metres.
constexpr std::int32_t kMinWindowWidth = 792;
constexpr std::int32_t kMinWindowHeight = 394;
constexpr std::int32_t kMaxWindowExtent = 32767;
constexpr std::int32_t kMaxDistance = 100000;

// Reads the values in their fixed order into s. Nothing is read when the key is absent; the
// first missing or non-integer value, or one outside what the program can use (a size outside
// kMinWindow..kMaxWindowExtent, "Acc" outside 0..2, "Dist" outside 0..kMaxDistance, "FilterInd"
// outside 1..4), ends the reading, so it and every later value keep what s held. The live page's
// values come after them, each on its own: one missing or unusable ("LivePort" outside
// 1..65535) keeps what s held, and settings written before the page existed leave it off.
// "Folder" is read when it is there. Returns the number of values applied.
int ReadAppSettings(const SettingsStore& store, AppSettings& s);

// Writes every value in the exit order. False when the key could not be opened or written.
bool WriteAppSettings(SettingsStore& store, const AppSettings& s);
