// One whole run of the real demo under valgrind's memcheck on the rig: a short module
// that reaches the quit cue, through every scene. No error and nothing definitely lost,
// apart from what tests/sanitize/valgrind.supp lists in the system's libraries.
#include "itwriter.h"
#include "rig.h"

#include <chrono>
#include <iostream>
#include <sstream>
#include <string>

namespace {

using namespace std::chrono_literals;

// valgrind's own status for an error it counted; the demo itself only exits 0 or 1.
constexpr int valgrindErrorStatus = 42;

TEST(ValgrindRun, ShortModuleToTheQuitCueHasNoErrorAndLosesNothing_a)
{
    RIG_REQUIRE_SERVER(server, "a");
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy data/ into " << dir.path();
    // 18 orders of one row at speed 1, tempo 255: order 17 comes after about 0.17 s.
    ASSERT_TRUE(dir.write("marigold.it", timelineModule(18, 1, 1, 255)));
    const std::string log = dir.base() + "/valgrind.log";
    rig::Process run(VALGRIND,
                     {"--error-exitcode=" + std::to_string(valgrindErrorStatus),
                      "--leak-check=full", "--show-leak-kinds=definite",
                      "--errors-for-leak-kinds=definite",
                      // Mesa unloads its driver at exit; keep its names for the leak report.
                      "--keep-debuginfo=yes", "--num-callers=40",
                      // A helper that a library forks and replaces is not ours to check.
                      "--child-silent-after-fork=yes",
                      "--suppressions=" VALGRIND_SUPPRESSIONS, "--log-file=" + log,
                      rig::orreryPath()},
                     dir, server);
    const rig::Outcome outcome = run.wait(300s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0)
        << outcome << "\n--- valgrind ---\n" << rig::readFile(log);
    const std::string report = rig::readFile(log);
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    EXPECT_GT(run.framesDrawn(), 0) << "the run drew no frame";
    // The summary in the test's output, for the record.
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (line.find("ERROR SUMMARY") != std::string::npos || line.find(" lost: ") != std::string::npos ||
            line.find("in use at exit") != std::string::npos)
            std::cout << line << "\n";
    std::cout << run.framesDrawn() << " frames drawn\n";
}

} // namespace
