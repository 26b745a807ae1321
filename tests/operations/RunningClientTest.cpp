#include <gtest/gtest.h>

#include "operations/NimblaDriveUtils.h"
#include "platform/Workspace.h"

namespace nimbla {
namespace {

bool runningWith(std::vector<platform::RunningApplication> applications) {
    auto workspace = platform::workspaceSeam().override([&] { return applications; });
    return isNimblaDriveRunning();
}

TEST(RunningClient, MatchesTheWholeIdentifierExactly) {
    EXPECT_FALSE(runningWith({}));
    EXPECT_FALSE(runningWith({{1, std::nullopt}, {2, "com.example.editor"}}));
    EXPECT_FALSE(runningWith({{1, "com.nimbla.desktop.nimblafileprovider"}}));
    EXPECT_FALSE(runningWith({{1, "com.Nimbla.Desktop"}}));
    EXPECT_FALSE(runningWith({{1, "com.nimbla.desktop "}}));
    EXPECT_FALSE(runningWith({{1, "xcom.nimbla.desktop"}}));
    EXPECT_FALSE(runningWith({{1, ""}}));

    EXPECT_TRUE(runningWith({{1, std::nullopt}, {2, "com.nimbla.desktop"}}));
    EXPECT_TRUE(runningWith({{1, "com.nimbla.desktop"}, {2, "com.nimbla.desktop"}}));
}

}  // namespace
}  // namespace nimbla
