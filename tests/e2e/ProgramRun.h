#pragma once
// The fixture of the end-to-end runs: a work folder, the demo services with a small release, an
// Xvfb display of its own, a stand-in desktop opener that records what it is handed, and the
// checks of what a run left behind. How the program itself is started (natively, under wine) is
// the derived fixture's StartProgram.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e
{

std::string ReadText(const std::filesystem::path& path);
std::vector<std::string> Lines(const std::filesystem::path& path);
// KEY='value' lines as the services write them (single quotes, ' written as '\'').
std::map<std::string, std::string> ReadReadyFile(const std::filesystem::path& path);
std::optional<std::string> FindOnPath(const std::string& name);

class ProgramRun : public ::testing::Test
{
  protected:
    // toolsMayBeMissing: without Xvfb the test is skipped (true) or fails (false).
    explicit ProgramRun(bool toolsMayBeMissing) : toolsMayBeMissing(toolsMayBeMissing) {}

    void SetUp() override;
    void TearDown() override;

    // Small release, fast storage: the run takes seconds, not minutes.
    void StartServices(const std::vector<std::string>& extra = {});
    void StartDisplay();
    // Copies the program into a fresh folder under the given file name and starts it there.
    virtual void StartProgram(const std::string& fileName) = 0;
    // Services (with `extra` options), a display, then the program under `fileName`; each only
    // when the one before came up.
    void StartRun(const std::string& fileName, const std::vector<std::string>& extra = {});

    // Places a copy of programSource as folder/fileName, folder being named for the release.
    void PlaceProgram(const std::string& fileName, const std::filesystem::path& programSource);
    // The environment every start of the program has: the display, the services' hosts and the
    // recording opener first on PATH.
    std::map<std::string, std::string> ProgramEnvironment();

    // Polls until done() holds, the program has ended or the time is up; returns done().
    bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds timeout);
    // Waits for the program to end on its own, with exit status 0.
    void ExpectCleanExit();
    std::string Diagnostics();
    // Every file of the release lies in the program's folder under its local name, intact.
    void ExpectVerifiedFiles();
    // A click on the title bar's exit glyph, near the top right corner of the 1200-pixel window.
    void PressExitGlyph(const std::string& xdotool);
    size_t CountRequests(const std::string& fragment);

    const bool toolsMayBeMissing;
    std::optional<std::string> xvfb;
    std::filesystem::path work, launches, folder, programFile;
    std::string displayName;
    // The Xvfb screen StartDisplay makes.
    std::string screen = "1280x800x24";
    std::map<std::string, std::string> ready;
    ChildProcess services, display, program;
};

} // namespace e2e
