// The Windows platform layer on the real system calls (run under Wine):
// the settings store in the registry and the running-product marker. Share
// modes and the refusing rename are covered by the portable file tests.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/settings.h"
#include "platform/system.h"
#include "tests/support.h"

namespace {

// A key name of this run's own, so that parallel runs do not meet.
std::string UniqueProduct() { return "VornTest" + std::to_string(GetCurrentProcessId()); }

class RegistryTest : public ::testing::Test {
protected:
  void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, ("Software\\" + product_).c_str()); }
  void SetValue(const char *name, const std::string &text) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\" + product_).c_str(), 0, KEY_ALL_ACCESS, &key), 0);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              0);
    RegCloseKey(key);
  }
  std::string product_ = UniqueProduct();
};

TEST_F(RegistryTest, OpeningCreatesTheEmptyKey) {
  HKEY probe;
  ASSERT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\" + product_).c_str(), 0, KEY_READ, &probe), 0);
  PlatSettings *settings = PlatSettingsOpen(product_.c_str());
  ASSERT_NE(settings, nullptr);
  char out[260] = "untouched";
  EXPECT_FALSE(PlatSettingsQuery(settings, "Location", out, sizeof out));
  PlatSettingsClose(settings);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\" + product_).c_str(), 0, KEY_READ, &probe), 0);
  DWORD values = 99, subkeys = 99;
  ASSERT_EQ(RegQueryInfoKeyA(probe, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(values, 0u);
  EXPECT_EQ(subkeys, 0u);
  RegCloseKey(probe);
}

TEST_F(RegistryTest, ValuesAreReadInto260ByteBuffers) {
  PlatSettingsClose(PlatSettingsOpen(product_.c_str()));
  const std::string longest(259, 'a'), tooLong(260, 'b');
  SetValue("Location", longest);
  SetValue("Version", tooLong);
  PlatSettings *settings = PlatSettingsOpen(product_.c_str());
  ASSERT_NE(settings, nullptr);
  char out[260] = {};
  EXPECT_TRUE(PlatSettingsQuery(settings, "Location", out, sizeof out));
  EXPECT_EQ(std::string(out), longest);
  // 260 characters and the NUL do not fit: not found.
  EXPECT_FALSE(PlatSettingsQuery(settings, "Version", out, sizeof out));
  PlatSettingsClose(settings);
}

TEST(MarkerTest, TheNameStaysTakenAndASecondProcessSeesIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  static const std::string name = "VornTestMarker" + std::to_string(GetCurrentProcessId());
  EXPECT_FALSE(PlatProbeRunning(name.c_str()));
  EXPECT_TRUE(PlatProbeRunning(name.c_str())); // our own marker is still there
  // A second process (the death test's child) finds it too.
  EXPECT_EXIT(std::exit(PlatProbeRunning(name.c_str()) ? 1 : 0), ::testing::ExitedWithCode(1), "");
}

TEST(SystemTest, VersionAndDirectories) {
  const std::uint32_t version = PlatSystemVersion();
  EXPECT_GE(version & 0xff, 4u); // newer than 3.x
  char temp[260] = {};
  PlatTempDirectory(temp, sizeof temp);
  const std::string t = temp;
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back(), '\\');
  char demo[260] = {};
  PlatProgramDirectory("Vorn Demo", demo, sizeof demo);
  char windows[260] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_EQ(std::string(demo).substr(1), ":\\Program Files\\Vorn Demo");
  EXPECT_EQ(demo[0], windows[0]);
  EXPECT_TRUE(PlatDialogToolkitReady());
}

} // namespace
