#include "platform/Bundle.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "PlatformTestSupport.h"
#include "platform/BuildInfo.h"

namespace nimbla::platform {
namespace {

using namespace testing_support;
namespace fs = std::filesystem;

TEST(Bundle, FindsTheShippedScriptsBesideTheBuildAndGivesTheProjectVersion) {
    const BundleInfo bundle = mainBundle();
    ASSERT_FALSE(bundle.resourceDirectory.empty());
    EXPECT_TRUE(fs::path(bundle.resourceDirectory).is_absolute());
    EXPECT_EQ(fs::path(bundle.resourceDirectory).filename(), "nimbla-reset-tool");

    const auto script = pathForResource("uninstall_nimbla_drive", "");
    ASSERT_TRUE(script.has_value());
    EXPECT_EQ(*script, bundle.resourceDirectory + "/uninstall_nimbla_drive");
    EXPECT_TRUE(fs::is_regular_file(*script));
    EXPECT_TRUE(pathForResource("uninstall_nimbla_drive_r", "").has_value());

    EXPECT_EQ(pathForResource("no_such_resource", ""), std::nullopt);
    EXPECT_EQ(pathForResource("uninstall_nimbla_drive", "sh"), std::nullopt);
    EXPECT_EQ(shortVersion(), build::projectVersion);
}

TEST(Bundle, PathForResourceAddsTheTypeAndRefusesFoldersAndEscapes) {
    TempDir dir;
    writeFile(dir / "res/Logo.png", "png");
    writeFile(dir / "res/plain", "x");
    writeFile(dir / "secret", "outside");
    fs::create_directories(dir / "res/folder");
    auto guard = mainBundleSeam().override([&] { return BundleInfo{dir / "res", "9.9"}; });

    EXPECT_EQ(pathForResource("Logo", "png"), dir / "res/Logo.png");
    EXPECT_EQ(pathForResource("plain", ""), dir / "res/plain");
    EXPECT_EQ(pathForResource("Logo", ""), std::nullopt);
    EXPECT_EQ(pathForResource("folder", ""), std::nullopt);
    EXPECT_EQ(pathForResource("", ""), std::nullopt);
    EXPECT_EQ(pathForResource("../secret", ""), std::nullopt);
    EXPECT_EQ(pathForResource("..", ""), std::nullopt);
    EXPECT_EQ(pathForResource("Logo", "png/../../secret"), std::nullopt);
    EXPECT_EQ(pathForResource(std::string("plain\0x", 7), ""), std::nullopt);
    EXPECT_EQ(shortVersion(), "9.9");

    auto noBundle = mainBundleSeam().override([] { return BundleInfo{}; });
    EXPECT_EQ(pathForResource("plain", ""), std::nullopt);
    EXPECT_EQ(shortVersion(), std::nullopt);
}

}  // namespace
}  // namespace nimbla::platform
