#include "platform/PropertyList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <climits>

#include "PlatformTestSupport.h"
#include "platform/SystemVersion.h"

namespace nimbla::platform {
namespace {

using namespace testing_support;

TEST(PropertyList, ReadsAStringFromXmlAndBinaryForms) {
    TempDir dir;
    writePlist(dir / "xml.plist", "ProductVersion", "14.2.1", PlistFormat::Xml);
    writePlist(dir / "bin.plist", "ProductVersion", "13.6", PlistFormat::Binary);
    EXPECT_EQ(readPlistString(dir / "xml.plist", "ProductVersion"), "14.2.1");
    EXPECT_EQ(readPlistString(dir / "bin.plist", "ProductVersion"), "13.6");
    EXPECT_EQ(readPlistString(dir / "bin.plist", "CFBundleShortVersionString"), "1.2.3");
}

TEST(PropertyList, GivesNothingForMissingKeysOtherTypesAndFilesThatAreNoPlist) {
    TempDir dir;
    writePlist(dir / "ok.plist", "Key", "value", PlistFormat::Xml);
    EXPECT_EQ(readPlistString(dir / "ok.plist", "Missing"), std::nullopt);
    EXPECT_EQ(readPlistString(dir / "ok.plist", "key"), std::nullopt);

    writeFile(dir / "types.plist",
              R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>Number</key><integer>12</integer>
<key>Flag</key><true/>
<key>List</key><array><string>a</string></array>
</dict></plist>
)");
    EXPECT_EQ(readPlistString(dir / "types.plist", "Number"), std::nullopt);
    EXPECT_EQ(readPlistString(dir / "types.plist", "Flag"), std::nullopt);
    EXPECT_EQ(readPlistString(dir / "types.plist", "List"), std::nullopt);

    writeFile(dir / "array.plist",
              R"(<plist version="1.0"><array><string>Key</string></array></plist>)");
    EXPECT_EQ(readPlistString(dir / "array.plist", "Key"), std::nullopt);

    writeFile(dir / "empty.plist", "");
    writeFile(dir / "garbage.plist", std::string("bplist00\xff\xfe garbage \x00\x01", 22));
    writeFile(dir / "truncated.plist", "<?xml version=\"1.0\"?><plist><dict><key>Key</key><str");
    for (const char* name : {"empty.plist", "garbage.plist", "truncated.plist", "none.plist"}) {
        EXPECT_EQ(readPlistString(dir / name, "Key"), std::nullopt) << name;
    }
    EXPECT_EQ(readPlistString(dir.path(), "Key"), std::nullopt);  // a folder
}

TEST(PropertyList, AFifoUnderThePlistsNameDoesNotBlock) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "Info.plist").c_str(), 0600), 0);
    EXPECT_EQ(readPlistString(dir / "Info.plist", "Key"), std::nullopt);
}

TEST(SystemVersion, ParsesProductVersionsAndKernelReleases) {
    using V = OperatingSystemVersion;
    EXPECT_EQ(parseOperatingSystemVersion("14.2.1"), (V{14, 2, 1}));
    EXPECT_EQ(parseOperatingSystemVersion("11.7"), (V{11, 7, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("12"), (V{12, 0, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("6.1.0-18-amd64"), (V{6, 1, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("5.15.0-1051-azure"), (V{5, 15, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("6.8-rc1"), (V{6, 8, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("1..2"), (V{1, 0, 0}));
    EXPECT_EQ(parseOperatingSystemVersion(""), (V{0, 0, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("Darwin"), (V{0, 0, 0}));
    EXPECT_EQ(parseOperatingSystemVersion("99999999999999999999.1"), (V{INT_MAX, 1, 0}));
    EXPECT_LT(parseOperatingSystemVersion("11.7.10"), (V{12, 0, 0}));
    EXPECT_GT(parseOperatingSystemVersion("12.0.1"), (V{12, 0, 0}));
}

TEST(SystemVersion, ComesFromTheSystemVersionPlistWhenItExistsElseFromTheKernelRelease) {
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    const auto kernel = parseOperatingSystemVersion(names.release);
    EXPECT_GT(kernel.major, 0);

    TempDir dir;
    writePlist(dir / "xml.plist", "ProductVersion", "11.7.10", PlistFormat::Xml);
    writePlist(dir / "bin.plist", "ProductVersion", "14.2", PlistFormat::Binary);
    writePlist(dir / "nokey.plist", "ProductName", "macOS", PlistFormat::Xml);
    EXPECT_EQ(operatingSystemVersionFrom(dir / "xml.plist"), (OperatingSystemVersion{11, 7, 10}));
    EXPECT_EQ(operatingSystemVersionFrom(dir / "bin.plist"), (OperatingSystemVersion{14, 2, 0}));
    EXPECT_EQ(operatingSystemVersionFrom(dir / "nokey.plist"), kernel);
    EXPECT_EQ(operatingSystemVersionFrom(dir / "missing.plist"), kernel);
}

TEST(SystemVersion, TheRunningSystemHasAVersionAndTheSeamReplacesIt) {
    EXPECT_GT(operatingSystemVersion().major, 0);
    auto guard = operatingSystemVersionSeam().override([] {
        return OperatingSystemVersion{11, 7, 10};
    });
    EXPECT_EQ(operatingSystemVersion(), (OperatingSystemVersion{11, 7, 10}));
}

}  // namespace
}  // namespace nimbla::platform
